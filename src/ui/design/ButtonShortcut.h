#pragma once

#include <QKeySequence>

#include <functional>

class QAbstractButton;
class QWidget;

namespace brindlewick {

namespace ButtonShortcut {

// A key of `owner`'s window that clicks the button `button` names when the key is pressed, so
// a disabled (or absent) button ignores its key. The key belongs to `owner` and goes with it,
// rather than piling up on a long-lived window. Each key has one owner in a window: where the
// window's own actions (its menu bar) already answer the same key, the page's key stands
// aside, since two owners would make the key do nothing, and the action presses the button
// through shownButton().
void install(QWidget* owner, const QKeySequence& keys, std::function<QAbstractButton*()> button);

// The button that a key installed above names for `keys` on a page shown in `window`; none
// when no shown page has that key.
QAbstractButton* shownButton(QWidget* window, const QKeySequence& keys);

} // namespace ButtonShortcut

} // namespace brindlewick
