#pragma once

#include <QKeySequence>

#include <functional>

class QAbstractButton;
class QWidget;

namespace brindlewick {

namespace ButtonShortcut {

// A key of `owner`'s window that clicks the button `button` names when the key is pressed, so
// a disabled (or absent) button ignores its key. The key belongs to `owner` and goes with it,
// rather than piling up on a long-lived window.
void install(QWidget* owner, const QKeySequence& keys, std::function<QAbstractButton*()> button);

} // namespace ButtonShortcut

} // namespace brindlewick
