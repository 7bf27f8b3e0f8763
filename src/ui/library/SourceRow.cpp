#include "ui/library/SourceRow.h"

#include "content/ContractRules.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr qreal kTitleSize = 13;

// The title and its arrow as one control that paints nothing of its own.
class LinkButton : public QAbstractButton {
public:
  explicit LinkButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
  }

protected:
  void paintEvent(QPaintEvent*) override {}
};

} // namespace

SourceRow::SourceRow(const Source& source, Opener opener, QWidget* parent)
    : QWidget(parent), m_title(new DropTextBlock(source.title)),
      m_locator(new DropTextBlock(source.locator, this)) {
  if (source.url)
    m_link = ContractRules::openableLink(*source.url);
  m_title->setTextStyle(DropTextBlock::Style{DropFonts::rounded(kTitleSize, QFont::Medium)});
  m_locator->setTextStyle(DropTextBlock::Style{DropFonts::rounded(kTitleSize)});
  m_locator->setColor([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); });
  m_title->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(5);
  if (m_link) {
    m_button = new LinkButton(this);
    auto* line = new QHBoxLayout(m_button);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(4);
    auto* arrow = new DropSymbolView(QStringLiteral("arrow.up.right"), kTitleSize - 2, QFont::Medium);
    arrow->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
    m_title->setParent(m_button);
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    line->addWidget(m_title);
    line->addWidget(arrow, 0, Qt::AlignTop);
    line->addStretch(1);
    DropAccessibility::describe(m_button, {}, source.title, m_link->toDisplayString());
    if (!opener)
      opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(m_button, &QAbstractButton::clicked, this,
            [opener = std::move(opener), url = *m_link] { opener(url); });
    layout->addWidget(m_button);
  } else {
    m_title->setParent(this);
    layout->addWidget(m_title);
  }
  layout->addWidget(m_locator);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

} // namespace brindlewick
