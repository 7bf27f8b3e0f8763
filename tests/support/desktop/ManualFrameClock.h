#pragma once

#include "desktop/FrameClock.h"

namespace brindlewick {

// A frame clock that moves only when a test says so.
class ManualFrameClock final : public FrameClock {
  Q_OBJECT

public:
  using FrameClock::FrameClock;

  double now() const override { return m_now; }
  // Moves the time on and, while frames are requested, delivers one frame.
  void advance(double seconds);

protected:
  void setRunning(bool) override {}

private:
  double m_now = 1000;
};

} // namespace brindlewick
