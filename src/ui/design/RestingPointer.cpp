#include "ui/design/RestingPointer.h"

#include <QAbstractItemView>
#include <QCursor>
#include <QMouseEvent>

#include <optional>

namespace brindlewick {

namespace {

// Where on the screen a pointer event says the pointer is; none for other events (an Enter
// that Qt sends without a position among them).
std::optional<QPoint> pointerAt(const QEvent* event) {
  switch (event->type()) {
  case QEvent::Enter:
  case QEvent::HoverEnter:
  case QEvent::HoverMove:
  case QEvent::MouseMove:
    if (const auto* pointer = dynamic_cast<const QSinglePointEvent*>(event))
      return pointer->globalPosition().toPoint();
    return std::nullopt;
  default: return std::nullopt;
  }
}

} // namespace

void RestingPointer::ignoreUntilMoved(QAbstractItemView* list, QWidget* popup) {
  new RestingPointer(list, popup);
}

RestingPointer::RestingPointer(QAbstractItemView* list, QWidget* popup)
    : QObject(list), m_popup(popup), m_viewport(list->viewport()) {
  m_popup->installEventFilter(this);
  m_viewport->installEventFilter(this);
  if (m_popup->isVisible()) {
    m_restingAt = QCursor::pos();
    m_moved = false;
  }
}

bool RestingPointer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_popup && event->type() == QEvent::Show) {
    m_restingAt = QCursor::pos();
    m_moved = false;
    return false;
  }
  if (watched != m_viewport || m_moved)
    return false;
  const std::optional<QPoint> at = pointerAt(event);
  if (!at)
    return false;
  // A button held down is a drag across the list, never a pointer at rest.
  if (event->type() == QEvent::MouseMove && static_cast<const QMouseEvent*>(event)->buttons() != Qt::NoButton)
    m_moved = true;
  else
    m_moved = *at != m_restingAt;
  return !m_moved;
}

} // namespace brindlewick
