#include "ui/reading/SourceRow.h"

#include "content/ContractRules.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/LinkOpener.h"

#include <QVBoxLayout>

namespace brindlewick {

SourceRow::SourceRow(const Source& source, qreal size, QWidget* parent)
    : QWidget(parent), m_title(new ReadingText), m_locator(new ReadingText(source.locator)) {
  const std::optional<QUrl> link = source.url ? ContractRules::openableLink(*source.url) : std::nullopt;
  m_title->setRuns(
      {ReadingText::Run{source.title, link, link ? QStringLiteral("arrow.up.right") : QString()}});
  m_title->setTextStyle([size](const UiTraits& traits) {
    return ReadingText::Style{DropFonts::rounded(size, traits.boldText ? QFont::DemiBold : QFont::Medium)};
  });
  m_locator->setTextStyle([size](const UiTraits& traits) {
    return ReadingText::Style{DropFonts::rounded(size, traits.boldText ? QFont::DemiBold : QFont::Normal), 0,
                              true};
  });
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(5);
  column->addWidget(m_title);
  column->addWidget(m_locator);
  // One element for assistive technology, read as the title and then the locator; a link
  // when the title is one, whose press opens it as a click on the title does.
  AccessibleRole::combine(this, source.title + QStringLiteral(", ") + source.locator);
  if (link) {
    AccessibleRole::set(this, QAccessible::Link);
    AccessibleRole::setPress(this, [this, url = *link] { LinkOpener::open(m_title, url); });
  }
}

} // namespace brindlewick
