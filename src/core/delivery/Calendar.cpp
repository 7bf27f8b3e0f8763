#include "delivery/Calendar.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

constexpr qint64 secondsPerDay = 86400;
// 9999-12-31 23:59:59 UTC and -9999-01-01 00:00:00 UTC, in seconds since 1970.
constexpr qint64 latestSupported = 253402300799;
constexpr qint64 earliestSupported = -377705116800;
// Offsets are read this far either side of a local time to see the offsets before and after
// any transition near it; no zone changes its offset twice within four days.
constexpr qint64 transitionReach = 2 * secondsPerDay;

constexpr qint64 floorDiv(qint64 a, qint64 b) {
  const qint64 q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

Calendar::Calendar(const QTimeZone& timeZone) : m_zone(timeZone.isValid() ? timeZone : QTimeZone(0)) {}

Calendar Calendar::system() {
  return Calendar(QTimeZone::systemTimeZone());
}

int Calendar::offsetAt(qint64 unixSeconds) const {
  return m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(unixSeconds, QTimeZone::utc()));
}

std::optional<qint64> Calendar::wholeSeconds(Date date) const {
  const double unix = date.unixSeconds();
  if (!std::isfinite(unix))
    return std::nullopt;
  const double whole = std::floor(unix);
  if (whole < double(earliestSupported) || whole > double(latestSupported))
    return std::nullopt;
  return qint64(whole);
}

std::optional<Calendar::Local> Calendar::local(Date date) const {
  const auto seconds = wholeSeconds(date);
  if (!seconds)
    return std::nullopt;
  const qint64 wall = *seconds + offsetAt(*seconds);
  const qint64 day = floorDiv(wall, secondsPerDay);
  return Local{day, wall - day * secondsPerDay};
}

std::optional<qint64> Calendar::firstInstantAt(qint64 wall) const {
  const int offsets[] = {offsetAt(wall - transitionReach), offsetAt(wall), offsetAt(wall + transitionReach)};
  std::optional<qint64> first;
  for (int offset : offsets) {
    const qint64 instant = wall - offset;
    if (offsetAt(instant) == offset && (!first || instant < *first))
      first = instant;
  }
  return first;
}

qint64 Calendar::firstInstantFrom(qint64 wall) const {
  if (const auto exact = firstInstantAt(wall))
    return *exact;
  // A gap: before it the clock runs at the smaller offset, after it at the larger one, so
  // the jump lies between these two instants. Transitions fall on whole seconds.
  const int before = std::min(offsetAt(wall - transitionReach), offsetAt(wall));
  const int after = std::max(offsetAt(wall + transitionReach), offsetAt(wall));
  qint64 low = wall - after;
  qint64 high = wall - before;
  while (low < high) {
    const qint64 middle = low + (high - low) / 2;
    if (middle + offsetAt(middle) >= wall)
      high = middle;
    else
      low = middle + 1;
  }
  return high;
}

std::optional<Calendar::TimeOfDay> Calendar::timeOfDay(Date date) const {
  const auto l = local(date);
  if (!l)
    return std::nullopt;
  const int second = int(l->secondOfDay);
  return TimeOfDay{second / 3600, second / 60 % 60, second % 60};
}

std::optional<Calendar::DayComponents> Calendar::dayComponents(Date date) const {
  const auto l = local(date);
  if (!l)
    return std::nullopt;
  const CivilDay civil = civilFromDays(l->day);
  // The year before 1 is 1 before Christ: era 0 counts its years backwards from 1.
  const bool common = civil.year >= 1;
  return DayComponents{common ? 1 : 0, common ? civil.year : 1 - civil.year, civil.month, civil.day, false};
}

std::optional<Date> Calendar::startOfDay(Date date) const {
  const auto l = local(date);
  if (!l)
    return std::nullopt;
  const qint64 start = firstInstantFrom(l->day * secondsPerDay);
  if (start < earliestSupported || start > latestSupported)
    return std::nullopt;
  return Date::fromUnixSeconds(double(start));
}

std::optional<Date> Calendar::nextDate(Date after, int hour, int minute, int second) const {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return std::nullopt;
  const auto l = local(after);
  if (!l)
    return std::nullopt;
  const qint64 clock = hour * 3600 + minute * 60 + second;
  // The clock time exists on all but the rarest days; a week covers any run of gaps.
  for (qint64 day = l->day - 1; day <= l->day + 7; ++day) {
    const auto instant = firstInstantAt(day * secondsPerDay + clock);
    if (!instant || *instant > latestSupported)
      continue;
    const Date candidate = Date::fromUnixSeconds(double(*instant));
    if (candidate > after)
      return candidate;
  }
  return std::nullopt;
}

bool Calendar::isSameDay(Date a, Date b) const {
  const auto la = local(a);
  const auto lb = local(b);
  return la && lb && la->day == lb->day;
}

std::optional<Date> Calendar::addingDays(Date date, int days) const {
  const auto seconds = wholeSeconds(date);
  if (!seconds)
    return std::nullopt;
  const double fraction = date.unixSeconds() - double(*seconds);
  const qint64 wall = *seconds + offsetAt(*seconds) + qint64(days) * secondsPerDay;
  qint64 instant;
  if (const auto exact = firstInstantAt(wall)) {
    instant = *exact;
  } else {
    // In a gap: keep the offset in force before it, which lands as far past the jump as
    // the wanted time lies past the gap's start.
    instant = wall - std::min(offsetAt(wall - transitionReach), offsetAt(wall));
  }
  if (instant < earliestSupported || instant > latestSupported)
    return std::nullopt;
  return Date::fromUnixSeconds(double(instant) + fraction);
}

} // namespace brindlewick
