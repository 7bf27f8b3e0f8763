#include "FrameTicker.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

ElapsedMediaClock::ElapsedMediaClock() {
  elapsed_.start();
}

double ElapsedMediaClock::now() const {
  return static_cast<double>(elapsed_.nsecsElapsed()) / 1e9;
}

double FrameTicker::usableRate(double refreshRate) {
  // Above 1 kHz a millisecond timer cannot follow anyway; a report like that is a driver's
  // placeholder rather than a real panel.
  if (!std::isfinite(refreshRate) || refreshRate <= 0 || refreshRate > 1000) {
    return 60;
  }
  return refreshRate;
}

PreciseFrameTicker::PreciseFrameTicker(QObject* parent) : FrameTicker(parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &FrameTicker::ticked);
}

void PreciseFrameTicker::start(double refreshRate) {
  const double interval = 1000.0 / usableRate(refreshRate);
  timer_.start(std::max(1, static_cast<int>(std::lround(interval))));
}

void PreciseFrameTicker::stop() {
  timer_.stop();
}

bool PreciseFrameTicker::isRunning() const {
  return timer_.isActive();
}

int PreciseFrameTicker::intervalMilliseconds() const {
  return timer_.interval();
}

} // namespace brindlewick
