#pragma once

class QWindow;

namespace brindlewick {

// Hints for the window manager about one of our windows, on Qt's own X11 connection. Each asks
// in the way the window's moment allows: a window the manager does not manage yet (never shown,
// or hidden) gets the properties it reads when the window is mapped, and forgets when it is
// withdrawn, so ask before each showing; a window it manages gets a request to the manager,
// which alone changes the state of such a window. Each creates the native window if needed and
// does nothing off X11.
namespace X11WindowHints {

// Whether the window manager has mapped the window. Before a showing its WM_STATE tells, but
// of a window hidden a moment ago that may still say "managed": the manager has not seen it
// hidden yet, will drop what is asked of it now, and erases its properties as it lets it go.
// So ask again once the window is mapped (exposed), as of a window the manager manages; what
// already holds does not change.
enum class Moment { beforeShowing, mapped };

// Asks to show `window` on every workspace: its workspace number becomes "all desktops"
// (0xFFFFFFFF) and its state gains sticky, whatever else it holds.
void showOnAllWorkspaces(QWindow& window, Moment moment = Moment::beforeShowing);

// Asks to leave `window` out of taskbars and pagers, and so out of the window manager's own
// window switcher: its state gains skip-taskbar and skip-pager, whatever else it holds. For a
// window that is no task of its own, such as one that never takes the keyboard.
void leaveOutOfTaskbars(QWindow& window, Moment moment = Moment::beforeShowing);

// Makes `window` transient for `parent`, as a dialog is for the window it belongs to: the window
// manager keeps it above `parent` and on its workspace. None makes it a window of its own again.
// Qt removes the link from a window of ordinary type each time it shows it, so ask after each
// showing; the window manager follows a change while the window is shown.
void setTransientFor(QWindow& window, const QWindow* parent);

} // namespace X11WindowHints

} // namespace brindlewick
