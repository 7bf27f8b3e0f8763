#pragma once

#include "desktop/DesktopProbes.h"
#include "desktop/ManualFrameClock.h"

namespace brindlewick {

class FakeFullScreenProbe final : public FullScreenProbe {
public:
  bool frontApplicationIsFullScreen() override { return fullScreen; }
  bool fullScreen = false;
};

class FakeAccessibilitySettings final : public AccessibilitySettings {
  Q_OBJECT

public:
  using AccessibilitySettings::AccessibilitySettings;
  using AccessibilitySettings::setDarkAppearance;
  using AccessibilitySettings::setIncreaseContrast;
  using AccessibilitySettings::setReduceMotion;
};

// One set of fakes for a panel's desktop. The events and presses are the plain base classes,
// whose signals the test emits itself; the clock moves only when the test advances it.
struct FakeDesktop {
  DesktopProbes probes() { return DesktopProbes{&clock, &events, &fullScreen, &accessibility, &presses}; }

  ManualFrameClock clock;
  SystemEvents events;
  FakeFullScreenProbe fullScreen;
  FakeAccessibilitySettings accessibility;
  OutsidePressMonitor presses;
};

} // namespace brindlewick
