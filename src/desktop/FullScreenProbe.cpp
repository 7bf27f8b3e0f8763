#include "desktop/FullScreenProbe.h"

#include "desktop/X11DesktopWatch.h"

namespace brindlewick {

X11FullScreenProbe::X11FullScreenProbe(X11DesktopWatch* watch) : watch_(watch) {}

bool X11FullScreenProbe::frontApplicationIsFullScreen() {
  return watch_ != nullptr && watch_->activeWindowIsFullScreen();
}

} // namespace brindlewick
