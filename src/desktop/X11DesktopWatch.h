#pragma once

#include <QByteArray>
#include <QObject>
#include <QRect>

#include <cstdint>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace brindlewick {

// Follows the X11 desktop through the window manager's root-window properties (the extended
// window manager hints): which window is active, whether it is full screen, and which
// workspace is current. It talks over a connection of its own, so it works whatever Qt
// platform the application uses and never disturbs the event masks Qt keeps on the root
// window. Without an X server, in a Wayland session (where the X server sees only some
// windows) or without the xcb library at build time, it stays inert: it answers "not full
// screen" and emits nothing.
class X11DesktopWatch final : public QObject {
  Q_OBJECT

public:
  // Connects to the display named by DISPLAY, unless the session is a Wayland one.
  explicit X11DesktopWatch(QObject* parent = nullptr);
  // Connects to the named display whatever the session type (tests use their own server).
  X11DesktopWatch(const QByteArray& displayName, QObject* parent);
  ~X11DesktopWatch() override;

  bool isConnected() const;

  // Whether the window the window manager names active carries the full-screen state. False
  // when there is no active window, no window manager, or no connection.
  bool activeWindowIsFullScreen();

  // Whether the X window `window` is on the current workspace: its _NET_WM_DESKTOP is the
  // current desktop or 0xFFFFFFFF ("all desktops"). Empty when that cannot be known: no
  // connection, or no window manager hint on the root window or on the window.
  std::optional<bool> isOnCurrentDesktop(std::uint32_t window);

  // The process that owns the active window (its _NET_WM_PID); none without an active
  // window, a hint, or a connection.
  std::optional<qint32> activeWindowPid();
  // The window that holds the X server's input focus; 0 when none or without a connection.
  std::uint32_t inputFocus();
  // The active window's frame (the window with the window manager's decoration around it) in
  // the X server's root coordinates, in device pixels; none without an active window, or when
  // it went away, or without a connection.
  std::optional<QRect> activeWindowFrame();

  // Whether the current session is a Wayland one, by the usual session variables.
  static bool isWaylandSession();

Q_SIGNALS:
  void activeWindowChanged();
  void activeFullScreenChanged(bool fullScreen);
  void currentDesktopChanged();

private:
  struct Connection;

  void open(const QByteArray& displayName);
  void drainEvents();
  void scheduleDrain();
  void followActiveWindow();
  std::uint32_t queryActiveWindow();
  bool windowIsFullScreen(std::uint32_t window);
  // The first 32-bit value of a window's property of that type; none without it.
  std::optional<std::uint32_t> property32(std::uint32_t window, int atom, std::uint32_t type);
  void close();

  std::unique_ptr<Connection> connection_;
  QSocketNotifier* notifier_ = nullptr;
  std::uint32_t activeWindow_ = 0;
  bool activeFullScreen_ = false;
  bool drainScheduled_ = false;
};

} // namespace brindlewick
