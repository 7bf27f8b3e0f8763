#include "FakeDesktop.h"

namespace brindlewick {

void FakeFrameTicker::start(double refreshRate) {
  running_ = true;
  refreshRate_ = refreshRate;
  ++startCount_;
}

void FakeFrameTicker::stop() {
  running_ = false;
}

bool FakeFrameTicker::tick() {
  if (!running_) {
    return false;
  }
  Q_EMIT ticked();
  return true;
}

FakeDesktop::FakeDesktop() = default;

DesktopProbes FakeDesktop::probes() {
  DesktopProbes probes;
  probes.clock = &clock;
  probes.events = &events;
  probes.fullScreen = &fullScreen;
  probes.accessibility = &accessibility;
  probes.outsidePresses = &presses;
  probes.makeTicker = [this] {
    auto ticker = std::make_unique<FakeFrameTicker>();
    tickers_.emplace_back(ticker.get());
    return ticker;
  };
  return probes;
}

FakeFrameTicker* FakeDesktop::ticker() const {
  return tickers_.empty() ? nullptr : tickers_.back().data();
}

bool FakeDesktop::step(double seconds) {
  clock.advance(seconds);
  FakeFrameTicker* last = ticker();
  return last != nullptr && last->tick();
}

} // namespace brindlewick
