#pragma once

class QMenu;
class QPoint;
class QWidget;

namespace brindlewick {

// A context menu that never waits for its answer. A menu run with exec() spins an event loop of
// its own, inside which the page it belongs to may be replaced and deleted (a later start turns
// the page, a sign-in completes and the first-run screens go), and with the page the widget
// whose handler is still waiting on exec(). These menus instead open and return at once, belong
// to their widget, and go with it: closed, they delete themselves.
namespace DropContextMenu {

// A new, empty menu of `owner`'s, drawn as the design's pop-ups.
QMenu* create(QWidget* owner);
// Opens `menu` at `globalPos` and returns while it shows; it is deleted once it closes, or with
// its owner should that go first.
void popUp(QMenu* menu, const QPoint& globalPos);

} // namespace DropContextMenu

} // namespace brindlewick
