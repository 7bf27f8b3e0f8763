#include "ui/design/DropScreenHeader.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropSectionLabel.h"

#include <QEvent>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

constexpr int kTitleSpacing = 4;     // caption to title
constexpr int kTrailingGap = 8 + 12; // the default spacing and the spacer's least length
constexpr int kLeastColumn = 160;

} // namespace

DropScreenHeader::DropScreenHeader(const QString& eyebrow, const QString& title,
                                   const std::optional<QString>& trailing, QWidget* parent)
    : QWidget(parent), m_eyebrow(new DropSectionLabel(eyebrow, this)),
      m_title(new DropTextBlock(title, this)), m_trailing(new DropTextBlock(QString(), this)) {
  m_title->setTextStyle(DropTextBlock::Style{DropFonts::display(28, QFont::DemiBold), -0.4});
  m_title->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  m_title->setAccessibleName(title);
  AccessibleRole::set(m_title, QAccessible::Heading);
  // The callout face. Qt 6.4 has no way to ask a font for tabular figures, so the digits of
  // a time stay proportional.
  m_trailing->setTextStyle(DropTextBlock::Style{DropFonts::rounded(12), 0});
  m_trailing->setColor([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); });
  m_trailing->setWrapping(false);
  setTrailing(trailing);
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void DropScreenHeader::setTitle(const QString& title) {
  m_title->setText(title);
  m_title->setAccessibleName(title);
  updateGeometry();
  place();
}

void DropScreenHeader::setTrailing(const std::optional<QString>& trailing) {
  m_trailing->setText(trailing.value_or(QString()));
  m_trailing->setVisible(trailing.has_value());
  updateGeometry();
  place();
}

DropScreenHeader::Placement DropScreenHeader::placement(int width) const {
  Placement result;
  const bool trailing = !m_trailing->isHidden();
  const int trailingWidth = trailing ? std::min(m_trailing->sizeHint().width(), width / 2) : 0;
  const int column = std::max(0, width - (trailing ? trailingWidth + kTrailingGap : 0));
  // The caption's and the note's first baselines meet on one line.
  const qreal baseline = std::max(m_eyebrow->firstBaseline(), trailing ? m_trailing->firstBaseline() : 0.0);
  const int eyebrowTop = int(std::lround(baseline - m_eyebrow->firstBaseline()));
  result.eyebrow = QRect(0, eyebrowTop, column, m_eyebrow->heightForWidth(column));
  result.title =
      QRect(0, result.eyebrow.bottom() + 1 + kTitleSpacing, column, m_title->heightForWidth(column));
  result.height = result.title.bottom() + 1;
  if (trailing) {
    const int top = int(std::lround(baseline - m_trailing->firstBaseline()));
    result.trailing =
        QRect(width - trailingWidth, top, trailingWidth, m_trailing->heightForWidth(trailingWidth));
    result.height = std::max(result.height, result.trailing.bottom() + 1);
  }
  return result;
}

void DropScreenHeader::place() {
  const Placement where = placement(width());
  m_eyebrow->setGeometry(where.eyebrow);
  m_title->setGeometry(where.title);
  m_trailing->setGeometry(where.trailing);
}

QSize DropScreenHeader::sizeHint() const {
  const int trailing = m_trailing->isHidden() ? 0 : m_trailing->sizeHint().width() + kTrailingGap;
  const int width = std::max(m_title->sizeHint().width(), m_eyebrow->sizeHint().width()) + trailing;
  return QSize(width, heightForWidth(width));
}

QSize DropScreenHeader::minimumSizeHint() const {
  const int trailing = m_trailing->isHidden() ? 0 : m_trailing->minimumSizeHint().width() + kTrailingGap;
  const int width = kLeastColumn + trailing;
  return QSize(width, heightForWidth(width));
}

int DropScreenHeader::heightForWidth(int width) const {
  return placement(width).height;
}

void DropScreenHeader::resizeEvent(QResizeEvent*) {
  place();
}

bool DropScreenHeader::event(QEvent* event) {
  // A child's size changed (Bold Text, a new scheme's font): lay out again.
  if (event->type() == QEvent::LayoutRequest) {
    updateGeometry();
    place();
  }
  return QWidget::event(event);
}

} // namespace brindlewick
