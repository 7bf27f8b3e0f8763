#pragma once

#include "foundation/DelayScheduler.h"

namespace brindlewick {

// A scheduler on virtual time: nothing fires until the test advances the clock. Coroutines
// woken by a timer are resumed before the next timer is considered, so a loop of delays
// advances step by step within one advance() call.
class VirtualDelayScheduler : public DelayScheduler {
public:
  explicit VirtualDelayScheduler(double start = 1000.0) : m_now(start) {}

  double now() const override { return m_now; }
  TimerId schedule(double seconds, std::function<void()> callback) override;
  void cancel(TimerId id) override;

  // Moves the clock forward by `seconds`, firing every timer that falls due on the way.
  void advance(double seconds);
  std::size_t pendingCount() const { return m_timers.size(); }

private:
  double m_now;
  TimerQueue m_timers;
};

// Delivers queued events (coroutine resumptions among them) until none is left.
void flushEvents();

} // namespace brindlewick
