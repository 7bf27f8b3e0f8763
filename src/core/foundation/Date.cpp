#include "foundation/Date.h"

#include <QTimeZone>

#include <chrono>
#include <cmath>

namespace brindlewick {

Date Date::fromQDateTime(const QDateTime& dateTime) {
  return fromUnixSeconds(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

QDateTime Date::toQDateTime() const {
  const auto msecs = static_cast<qint64>(std::llround(unixSeconds() * 1000.0));
  return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
}

Date systemNow() {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<duration<double>>(system_clock::now().time_since_epoch());
  return Date::fromUnixSeconds(sinceEpoch.count());
}

} // namespace brindlewick
