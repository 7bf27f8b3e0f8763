#pragma once

#ifdef BRINDLEWICK_HAVE_XCB

#include <QByteArray>
#include <QList>
#include <QRect>

#include <xcb/xcb.h>

namespace brindlewick {

// The atom of `name` on `connection` (one round trip); XCB_ATOM_NONE when the server refuses.
xcb_atom_t internAtom(xcb_connection_t* connection, const char* name);

// The X server as a window manager sees it, read afresh at each question: a program's
// top-level windows, the input focus, a close request, and a window of the caller's own.
class X11Windows {
public:
  X11Windows();
  ~X11Windows();
  X11Windows(const X11Windows&) = delete;
  X11Windows& operator=(const X11Windows&) = delete;

  bool ok() const { return !xcb_connection_has_error(m_connection); }
  xcb_atom_t atom(const char* name);

  // Mapped top-level windows that carry `pid` as their _NET_WM_PID, override-redirect ones
  // included; with `closableOnly`, the managed ones that speak WM_DELETE_WINDOW.
  QList<xcb_window_t> mappedWindowsOf(qint64 pid, bool closableOnly = false);
  QRect geometry(xcb_window_t window);
  // Every top-level window, from the bottom of the stack to its top.
  QList<xcb_window_t> stackingOrder();
  xcb_window_t inputFocus();

  // Asks the window to close as a window manager's close button does.
  void requestClose(xcb_window_t window);
  // Maps a plain window of the caller's own at `frame`, gives it the input focus and
  // publishes it as the active window, as a window manager would.
  xcb_window_t openFocusedWindow(const QRect& frame);
  void destroyWindow(xcb_window_t window);
  // Gives the window the input focus and publishes it as the active window.
  void focus(xcb_window_t window);

  // Keeps the startup-notification messages sent to the root window from now on.
  void watchStartupMessages();
  // Those kept so far (such as "remove: ID=…"), in the order they came. Each is read whole only
  // when it fits one client message (19 bytes): another program's chunks could come between
  // those of a longer one.
  QList<QByteArray> startupMessages();

private:
  void sync();
  qint64 cardinal(xcb_window_t window, xcb_atom_t property);
  bool speaksDelete(xcb_window_t window);

  xcb_connection_t* m_connection;
  xcb_window_t m_root;
  QList<QByteArray> m_startupMessages;
};

} // namespace brindlewick

#endif
