#pragma once

#include <QDateTime>
#include <QJsonValue>

#include <compare>
#include <functional>

namespace brindlewick {

// A point in time as the stored formats keep it: seconds since 2001-01-01 00:00:00 UTC,
// as a double. QDateTime only keeps milliseconds, so it is used for calendar arithmetic
// and display, never to carry a stored value.
class Date {
public:
  // Seconds between 1970-01-01 and 2001-01-01, both UTC.
  static constexpr double unixOffset = 978307200.0;

  constexpr Date() = default;
  constexpr explicit Date(double secondsSinceReference) : m_seconds(secondsSinceReference) {}

  static constexpr Date fromUnixSeconds(double seconds) { return Date(seconds - unixOffset); }
  static Date fromQDateTime(const QDateTime& dateTime);
  // The far-past and far-future markers of the stored formats (the years 1 and 4001).
  static constexpr Date distantPast() { return Date(-63114076800.0); }
  static constexpr Date distantFuture() { return Date(63113904000.0); }

  constexpr double secondsSinceReference() const { return m_seconds; }
  constexpr double unixSeconds() const { return m_seconds + unixOffset; }
  QDateTime toQDateTime() const; // UTC, rounded to the millisecond

  constexpr Date addingSeconds(double seconds) const { return Date(m_seconds + seconds); }
  constexpr double secondsSince(Date other) const { return m_seconds - other.m_seconds; }

  // JSON keeps a date as its number of seconds since the reference date.
  QJsonValue toJson() const { return QJsonValue(m_seconds); }

  // Exact comparison of the stored doubles: a value read back equals what was written.
  friend constexpr bool operator==(Date, Date) = default;
  friend constexpr auto operator<=>(Date a, Date b) { return a.m_seconds <=> b.m_seconds; }

private:
  double m_seconds = 0.0;
};

// Days since 1970-01-01 of a day of the proleptic Gregorian calendar, and back (Howard
// Hinnant's algorithms): the arithmetic under calendars and the date texts of stored formats.
struct CivilDay {
  qint64 year;
  qint64 month; // 1 to 12
  qint64 day;   // 1 to 31
};

constexpr qint64 daysFromCivil(qint64 year, qint64 month, qint64 day) {
  year -= month <= 2 ? 1 : 0;
  const qint64 era = (year >= 0 ? year : year - 399) / 400;
  const qint64 yearOfEra = year - era * 400;
  const qint64 dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr CivilDay civilFromDays(qint64 days) {
  days += 719468;
  const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
  const qint64 dayOfEra = days - era * 146097;
  const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const qint64 shiftedMonth = (5 * dayOfYear + 2) / 153;
  const qint64 month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, dayOfYear - (153 * shiftedMonth + 2) / 5 + 1};
}

static_assert(daysFromCivil(1970, 1, 1) == 0);
static_assert(daysFromCivil(2001, 1, 1) == 11323);
static_assert(civilFromDays(11323).year == 2001);
static_assert(civilFromDays(daysFromCivil(-4, 2, 29)).day == 29);

// Where "now" comes from. Production code takes one of these so tests can fix the time.
using NowSource = std::function<Date()>;
Date systemNow();

} // namespace brindlewick
