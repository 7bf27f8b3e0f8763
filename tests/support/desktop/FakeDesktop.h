#pragma once

#include "desktop/DesktopProbes.h"
#include "desktop/ManualFrameClock.h"

namespace brindlewick {

class FakeFullScreenProbe final : public FullScreenProbe {
public:
  bool frontApplicationIsFullScreen() override { return fullScreen; }
  bool fullScreen = false;
};

// Answers whatever the test sets; by default a desktop where everything can be seen.
class FakeDesktopState final : public DesktopState {
public:
  bool isOnActiveSpace(const QWindow&) override { return onActiveSpace; }
  bool isCovered(const QWindow&) override { return covered; }
  bool screenReaderRuns() override { return screenReader; }
  bool frontApplicationExists() override { return frontApplication; }

  bool onActiveSpace = true;
  bool covered = false;
  bool screenReader = false;
  bool frontApplication = true;
};

class FakeAccessibilitySettings final : public AccessibilitySettings {
  Q_OBJECT

public:
  using AccessibilitySettings::AccessibilitySettings;
  using AccessibilitySettings::setDarkAppearance;
  using AccessibilitySettings::setIncreaseContrast;
  using AccessibilitySettings::setReduceMotion;
};

// One set of fakes for the desktop of the panels and the model. The events and presses are the
// plain base classes, whose signals the test emits itself; the clock moves only when the test
// advances it.
struct FakeDesktop {
  DesktopProbes probes() {
    return DesktopProbes{&clock, &events, &fullScreen, &accessibility, &presses, &state};
  }

  ManualFrameClock clock;
  SystemEvents events;
  FakeFullScreenProbe fullScreen;
  FakeAccessibilitySettings accessibility;
  OutsidePressMonitor presses;
  FakeDesktopState state;
};

} // namespace brindlewick
