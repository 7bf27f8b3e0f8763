#include "ui/design/DropArticleSection.h"

#include "ui/design/DeferredDelete.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/ShapeLayoutItem.h"

#include <QVBoxLayout>

namespace brindlewick {

DropArticleSection::DropArticleSection(const QString& title, const std::optional<QColor>& accent,
                                       QWidget* parent)
    : QWidget(parent), m_caption(new DropTextBlock(title, this)) {
  m_caption->setTextStyle(DropTextBlock::Style{DropFonts::rounded(12, QFont::DemiBold), 1.3});
  m_caption->setColor([accent](const UiTraits& traits) {
    return accent.value_or(DropDesign::secondaryLabel(traits.scheme));
  });
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(m_caption);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  setAccessibleName(title);
  DropAccessibility::recordLayout(this, QStringLiteral("layout.detail.section"));
  DropStandardWidgets::keepForeground(
      this, [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
}

void DropArticleSection::setContent(QWidget* content, const QMargins& room) {
  if (content == m_content)
    return;
  // The old content may be what asked for the new one, from inside one of its signals.
  DeferredDelete::retire(m_content);
  m_content = content;
  if (content == nullptr)
    return;
  if (room.isNull()) {
    static_cast<QVBoxLayout*>(layout())->addWidget(content);
    return;
  }
  const bool hidden = content->isHidden() && content->testAttribute(Qt::WA_WState_ExplicitShowHide);
  content->setParent(this);
  layout()->addItem(new ShapeLayoutItem(content, room));
  if (!hidden)
    content->show();
}

} // namespace brindlewick
