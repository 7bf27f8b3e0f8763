#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace brindlewick::testing {

// A key as the reader presses it: to the window, whose shortcuts and menu bar see it first,
// then its focused control.
inline void pressIn(const QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(window.windowHandle(), key, modifiers);
}

// Presses Tab in `window` until `reached` holds for the focused control, at most `limit` times
// (once round a long window); whether it got there.
inline bool tabUntil(const QWidget& window, const std::function<bool(const QWidget* focus)>& reached,
                     int limit = 80) {
  for (int step = 0; step < limit && !reached(QApplication::focusWidget()); ++step)
    pressIn(window, Qt::Key_Tab);
  return reached(QApplication::focusWidget());
}

// Tabs until the control named `name` has the focus.
inline bool tabToNamed(const QWidget& window, const QString& name) {
  return tabUntil(window,
                  [&name](const QWidget* focus) { return focus != nullptr && focus->objectName() == name; });
}

} // namespace brindlewick::testing
