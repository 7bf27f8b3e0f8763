#include "desktop/ManualFrameClock.h"

namespace brindlewick {

void ManualFrameClock::advance(double seconds) {
  m_now += seconds;
  if (isRunning()) {
    ++m_framesDelivered;
    Q_EMIT frame(m_now);
  }
}

} // namespace brindlewick
