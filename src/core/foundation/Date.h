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

// Where "now" comes from. Production code takes one of these so tests can fix the time.
using NowSource = std::function<Date()>;
Date systemNow();

} // namespace brindlewick
