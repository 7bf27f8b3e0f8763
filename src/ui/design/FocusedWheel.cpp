#include "ui/design/FocusedWheel.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QWheelEvent>
#include <QWidget>

namespace brindlewick::FocusedWheel {

namespace {

class Filter final : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* picker = static_cast<QWidget*>(watched);
    if (event->type() != QEvent::Wheel || picker->hasFocus())
      return false;
    // Kept from the picker and handed to the scroll area around it. (Qt passes on an unaccepted
    // wheel event only when the window system sent it, so the page is reached directly.)
    QAbstractScrollArea* area = nullptr;
    for (QWidget* ancestor = picker->parentWidget(); ancestor && !area; ancestor = ancestor->parentWidget())
      area = qobject_cast<QAbstractScrollArea*>(ancestor);
    if (!area) {
      event->ignore();
      return true;
    }
    const auto* wheel = static_cast<QWheelEvent*>(event);
    QWidget* viewport = area->viewport();
    QWheelEvent forwarded(picker->mapTo(viewport, wheel->position()), wheel->globalPosition(),
                          wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(), wheel->modifiers(),
                          wheel->phase(), wheel->inverted(), wheel->source());
    QCoreApplication::sendEvent(viewport, &forwarded);
    event->setAccepted(forwarded.isAccepted());
    return true;
  }
};

} // namespace

void install(QWidget* picker) {
  // Without this the wheel would give the picker focus on its way in.
  if (picker->focusPolicy() == Qt::WheelFocus)
    picker->setFocusPolicy(Qt::StrongFocus);
  picker->installEventFilter(new Filter(picker));
}

} // namespace brindlewick::FocusedWheel
