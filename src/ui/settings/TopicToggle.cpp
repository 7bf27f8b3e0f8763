#include "ui/settings/TopicToggle.h"

#include "ui/design/DropStandardWidgets.h"
#include "ui/library/TopicLabel.h"

#include <QStyleOptionButton>

#include <algorithm>

namespace brindlewick {

TopicToggle::TopicToggle(Category category, QWidget* parent)
    : QCheckBox(parent), m_category(category), m_label(new TopicLabel(category, this)) {
  setObjectName(QStringLiteral("settings.topic.") + rawValue(category));
  // The chip is drawn over the cell; the pointer goes to the toggle beneath it.
  m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
  setAccessibleName(TopicLabel::name(category));
  DropStandardWidgets::adopt(this);
}

QRect TopicToggle::labelArea() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
  return QRect(indicator.right() + 1 + spacing, 0, std::max(0, width() - indicator.right() - 1 - spacing),
               height());
}

QSize TopicToggle::sizeHint() const {
  QStyleOptionButton option;
  initStyleOption(&option);
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
  const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
  const QSize box = QCheckBox::sizeHint();
  const QSize chip = m_label->sizeHint();
  return QSize(indicator + spacing + chip.width(), std::max(box.height(), chip.height()));
}

QSize TopicToggle::minimumSizeHint() const {
  return sizeHint();
}

bool TopicToggle::hitButton(const QPoint& position) const {
  return rect().contains(position);
}

void TopicToggle::resizeEvent(QResizeEvent* event) {
  QCheckBox::resizeEvent(event);
  const QRect area = labelArea();
  const QSize chip = m_label->sizeHint();
  m_label->setGeometry(area.left(), area.top() + (area.height() - chip.height()) / 2,
                       std::min(area.width(), chip.width()), chip.height());
}

} // namespace brindlewick
