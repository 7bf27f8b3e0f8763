#include "ui/design/FocusedWheel.h"

#include <QEvent>
#include <QWidget>

namespace brindlewick::FocusedWheel {

namespace {

class Filter final : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
      return false;
    // Kept from the picker and left unaccepted: the application hands an unaccepted wheel
    // event on to the parent, and so to the scroll area.
    event->ignore();
    return true;
  }
};

} // namespace

void install(QWidget* picker) {
  if (picker->focusPolicy() == Qt::WheelFocus)
    picker->setFocusPolicy(Qt::StrongFocus);
  picker->installEventFilter(new Filter(picker));
}

} // namespace brindlewick::FocusedWheel
