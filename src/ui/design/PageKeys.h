#pragma once

class QAbstractScrollArea;
class QKeyEvent;
class QScrollArea;
class QWidget;

namespace brindlewick {

// The keys that scroll a page, and where they leave the keyboard.
//
// Page Up and Down, Home and End (with Ctrl too), Space and Shift+Space, and the Up and Down
// arrows scroll a followed scroll area whenever they reach it unused: from the area itself, or
// from a control of its page that has no use for them (a button takes Space and the arrows;
// a text field takes Home and End). When such a key scrolls the control the keyboard is on out
// of view, the keyboard goes to the page itself (the area): the next Space or arrow, meant for
// the page, would otherwise press a control the reader no longer sees, or move to the next. The page shows no
// ring, for no control holds the keyboard; those keys scroll on from there. Tab goes on from
// the first control in view (else the first below the view), Shift+Tab back from the last in
// view (else the last above it): where the reader looks, without the page jumping back.
//
// The wheel and the scroll bar move the page and leave the keyboard where it is, as they leave
// a picker's value (FocusedWheel): the pointer is not the keyboard, and a window the reader
// comes back to keeps its control.
namespace PageKeys {

// Whether `key` is one of the keys that scroll a page. A control that scrolls nothing itself
// (a text sized to its words) leaves them to the page.
bool scrollsPage(const QKeyEvent& key);
// Follows `area` for as long as it lives (once for an area).
void install(QScrollArea* area);
// Whether the reader sees `widget`, inside `area`'s page: half of it at least (half the
// viewport's height of one taller than that).
bool inView(const QAbstractScrollArea* area, const QWidget* widget);

} // namespace PageKeys

} // namespace brindlewick
