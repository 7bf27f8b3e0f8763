#include "ui/design/DropOverlayScrollBar.h"

#include "ui/design/DropStandardWidgets.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QStyle>

namespace brindlewick {

DropOverlayScrollBar::DropOverlayScrollBar(QAbstractScrollArea* area, QWidget* host, int gap)
    : QScrollBar(Qt::Vertical, host != nullptr ? host : area), m_area(area), m_watched(area), m_gap(gap) {
  setProperty(overlayProperty, true);
  DropStandardWidgets::adopt(this);
  area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QScrollBar* model = area->verticalScrollBar();
  connect(model, &QScrollBar::rangeChanged, this, &DropOverlayScrollBar::follow);
  connect(model, &QScrollBar::valueChanged, this, &QScrollBar::setValue);
  connect(this, &QScrollBar::valueChanged, model, &QScrollBar::setValue);
  area->installEventFilter(this);
  follow();
  place();
}

bool DropOverlayScrollBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_watched && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
    place();
  return QScrollBar::eventFilter(watched, event);
}

void DropOverlayScrollBar::follow() {
  const QScrollBar* model = m_area->verticalScrollBar();
  setRange(model->minimum(), model->maximum());
  setPageStep(model->pageStep());
  setSingleStep(model->singleStep());
  setValue(model->value());
  setVisible(model->maximum() > model->minimum());
  raise();
}

void DropOverlayScrollBar::place() {
  const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  if (parentWidget() == m_area) {
    setGeometry(m_area->width() - width, 0, width, m_area->height());
    return;
  }
  const QRect area(m_area->mapTo(parentWidget(), QPoint()), m_area->size());
  setGeometry(area.right() + 1 + m_gap, area.top(), width, area.height());
}

} // namespace brindlewick
