#pragma once

#include <QPointer>

class QWindow;

namespace brindlewick {

class DesktopSystemEvents;
class X11DesktopWatch;

// What delivery asks the desktop at the moment it decides whether a drop was seen and whether
// one may come: questions answered now rather than followed.
class DesktopState {
public:
  DesktopState() = default;
  DesktopState(const DesktopState&) = delete;
  DesktopState& operator=(const DesktopState&) = delete;
  virtual ~DesktopState() = default;

  // Whether `window` is on the workspace the reader is looking at.
  virtual bool isOnActiveSpace(const QWindow& window) = 0;
  // Whether `window` is hidden from view, so that nothing of it can be seen.
  virtual bool isCovered(const QWindow& window) = 0;
  virtual bool screenReaderRuns() = 0;
  // Whether some application is in front to show a drop beside.
  virtual bool frontApplicationExists() = 0;
};

// The answers of this Linux desktop:
// - on the active space: the window's workspace (_NET_WM_DESKTOP) is the current one or "all
//   workspaces"; true whenever that cannot be known (Wayland, no window manager, no hint), so
//   that a desktop that cannot tell never stops delivery;
// - covered: the window system does not expose the window (hidden, minimised, on another
//   workspace, or fully obscured where the compositor says so);
// - a screen reader runs: AT-SPI's ScreenReaderEnabled, as the system events follow it;
// - a front application always exists: with no active window the desktop itself is in front.
class LinuxDesktopState final : public DesktopState {
public:
  // Either may be null or go away; the answers are then those of a desktop that cannot tell.
  LinuxDesktopState(X11DesktopWatch* x11, DesktopSystemEvents* events);

  bool isOnActiveSpace(const QWindow& window) override;
  bool isCovered(const QWindow& window) override;
  bool screenReaderRuns() override;
  bool frontApplicationExists() override;

private:
  QPointer<X11DesktopWatch> m_x11;
  QPointer<DesktopSystemEvents> m_events;
};

} // namespace brindlewick
