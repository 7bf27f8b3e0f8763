#include "ui/design/PressKeys.h"

#include <QKeyEvent>

namespace brindlewick::PressKeys {

namespace {

bool unmodified(const QKeyEvent& event) {
  return (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

bool isActivation(const QKeyEvent& event) {
  return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) && unmodified(event);
}

bool presses(const QKeyEvent& event) {
  return (event.key() == Qt::Key_Space && unmodified(event)) || isActivation(event);
}

} // namespace brindlewick::PressKeys
