#include "desktop/ManualFrameClock.h"

namespace brindlewick {

void ManualFrameClock::advance(double seconds) {
  m_now += seconds;
  if (isRunning())
    Q_EMIT frame(m_now);
}

} // namespace brindlewick
