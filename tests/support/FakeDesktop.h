#pragma once

#include "DesktopProbes.h"

#include <memory>
#include <vector>

namespace brindlewick {

// A clock that moves only when the test says so.
class FakeMediaClock final : public MediaClock {
public:
  double now() const override { return now_; }
  void set(double seconds) { now_ = seconds; }
  void advance(double seconds) { now_ += seconds; }

private:
  double now_ = 1000;
};

// A ticker that ticks only when the test calls tick().
class FakeFrameTicker final : public FrameTicker {
  Q_OBJECT

public:
  void start(double refreshRate) override;
  void stop() override;
  bool isRunning() const override { return running_; }
  double refreshRate() const { return refreshRate_; }
  int startCount() const { return startCount_; }
  // Emits one tick when running; answers whether it did.
  bool tick();

private:
  bool running_ = false;
  double refreshRate_ = 0;
  int startCount_ = 0;
};

class FakeFullScreenProbe final : public FullScreenProbe {
public:
  bool frontApplicationIsFullScreen() override { return fullScreen; }
  bool fullScreen = false;
};

class FakeAccessibilitySettings final : public AccessibilitySettings {
  Q_OBJECT

public:
  using AccessibilitySettings::AccessibilitySettings;
  using AccessibilitySettings::setIncreaseContrast;
  using AccessibilitySettings::setReduceMotion;
};

// One set of fakes: the events and presses are the plain base classes, whose signals the
// test emits itself. The tickers the probes make are kept so the test can step them.
class FakeDesktop {
public:
  FakeDesktop();
  DesktopProbes probes();
  // The ticker made last (the panel under test's); null before any was made.
  FakeFrameTicker* ticker() const;
  // Steps the clock by `seconds` and ticks the last ticker once.
  bool step(double seconds);

  FakeMediaClock clock;
  SystemEvents events;
  FakeFullScreenProbe fullScreen;
  FakeAccessibilitySettings accessibility;
  OutsidePressMonitor presses;

private:
  std::vector<QPointer<FakeFrameTicker>> tickers_;
};

} // namespace brindlewick
