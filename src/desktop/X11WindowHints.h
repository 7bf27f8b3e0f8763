#pragma once

class QWindow;

namespace brindlewick {

// Hints for the window manager about one of our windows, on Qt's own X11 connection.
namespace X11WindowHints {

// Asks to show `window` on every workspace: its workspace number becomes "all desktops"
// (0xFFFFFFFF) and its state gains sticky, whatever else it holds. A window manager reads both
// when the window is mapped and forgets the state when it is withdrawn, so call this before
// each time the window is shown. Creates the native window if needed; does nothing off X11.
void showOnAllWorkspaces(QWindow& window);

} // namespace X11WindowHints

} // namespace brindlewick
