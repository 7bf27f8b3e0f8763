#pragma once

#include <QPointer>

namespace brindlewick {

class X11DesktopWatch;

// Whether the application in front is in full screen, asked at the moment a decision needs it.
class FullScreenProbe {
public:
  FullScreenProbe() = default;
  FullScreenProbe(const FullScreenProbe&) = delete;
  FullScreenProbe& operator=(const FullScreenProbe&) = delete;
  virtual ~FullScreenProbe() = default;

  virtual bool frontApplicationIsFullScreen() = 0;
};

// Asks the X11 window manager (the active window's state). Where that cannot be known, on
// Wayland or without a window manager, the answer is "not full screen", so that automatic
// delivery is never silently switched off by a desktop that cannot tell.
class X11FullScreenProbe final : public FullScreenProbe {
public:
  // `watch` may be null or go away; the answer is then "not full screen".
  explicit X11FullScreenProbe(X11DesktopWatch* watch);

  bool frontApplicationIsFullScreen() override;

private:
  QPointer<X11DesktopWatch> watch_;
};

} // namespace brindlewick
