#include "ui/design/FocusInView.h"

#include "ui/design/DropFocusRing.h"
#include "ui/design/FocusPark.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace brindlewick {

namespace {

bool scrollsFor(Qt::FocusReason reason) {
  switch (reason) {
  case Qt::MouseFocusReason:
  case Qt::ActiveWindowFocusReason:
  case Qt::PopupFocusReason:
  case Qt::NoFocusReason: return false;
  default: return true;
  }
}

} // namespace

FocusInView::FocusInView(QScrollArea* area) : QObject(area), m_area(area) {
  // The reason a focus arrives for is known to the watch before the change is told here.
  DropFocusRing::watchFocus();
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget* old, QWidget* now) { focusChanged(old, now); });
}

void FocusInView::follow(QScrollArea* area) {
  if (area->findChild<FocusInView*>(QString(), Qt::FindDirectChildrenOnly) == nullptr)
    new FocusInView(area);
}

bool FocusInView::staysInPlace(const QWidget* old, const QWidget* now) {
  // A park takes the focus from its control while the control's work runs, and gives it back
  // when it is done: the keyboard has not moved, and the reader may have scrolled on meanwhile.
  // (A park given the focus from elsewhere is where the keyboard now is, and is shown.)
  const auto* taking = qobject_cast<const FocusPark*>(now);
  const auto* givingBack = qobject_cast<const FocusPark*>(old);
  return (taking != nullptr && taking->control() == old) ||
         (givingBack != nullptr && givingBack->control() == now);
}

void FocusInView::focusChanged(QWidget* old, QWidget* now) {
  QWidget* content = m_area->widget();
  if (now == nullptr || content == nullptr || !content->isAncestorOf(now) || !now->isVisible() ||
      !scrollsFor(DropFocusRing::latestReason()) || staysInPlace(old, now))
    return;
  bringIntoView(m_area, now);
  // Once more when the event loop comes round: a page just shown, or a control just revealed,
  // may not have its final place yet.
  const QPointer<QWidget> focus(now);
  QMetaObject::invokeMethod(
      this,
      [this, focus] {
        if (focus && QApplication::focusWidget() == focus && focus->isVisible())
          bringIntoView(m_area, focus);
      },
      Qt::QueuedConnection);
}

void FocusInView::bringIntoView(QScrollArea* area, const QWidget* control) {
  const QWidget* content = area->widget();
  if (content == nullptr || !content->isAncestorOf(control))
    return;
  QScrollBar* bar = area->verticalScrollBar();
  const int page = area->viewport()->height();
  // In the content's coordinates, which are the scroll bar's.
  const int top = control->mapTo(content, QPoint(0, 0)).y() - room;
  const int bottom = top + control->height() + 2 * room;
  const int shownTop = bar->value();
  const int shownBottom = shownTop + page;
  int value = shownTop;
  if (bottom - top > page) {
    // Taller than the view: part of it in view is enough, else its top comes in.
    if (bottom <= shownTop || top >= shownBottom)
      value = top;
  } else if (top < shownTop) {
    value = top;
  } else if (bottom > shownBottom) {
    value = bottom - page;
  }
  bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
}

} // namespace brindlewick
