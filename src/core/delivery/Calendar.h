#pragma once

#include "foundation/Date.h"

#include <QString>
#include <QTimeZone>

#include <optional>

namespace brindlewick {

// The Gregorian calendar in one time zone: the few questions the delivery schedule asks of
// dates (clock time, day boundaries, the next instant showing a given clock time).
//
// Qt cannot be told how to resolve a local time that falls into a daylight-saving gap or
// occurs twice, so every local time is turned into instants through the zone's UTC offsets
// and each candidate is kept only when converting it back gives the same local time. A
// local time then has zero instants (a gap), one, or two (a repeated hour, earlier first).
//
// Dates outside the years -9999 to 9999, and dates that are not finite, have no calendar
// values: the queries answer "none" (or false) for them rather than guessing.
class Calendar {
public:
  struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
  };

  struct DayComponents {
    qint64 era = 0; // 1 for years after the birth of Christ, 0 before
    qint64 year = 0;
    qint64 month = 0;
    qint64 day = 0;
    bool isLeapMonth = false; // the Gregorian calendar has none
    friend bool operator==(const DayComponents&, const DayComponents&) = default;
  };

  // An invalid zone is taken as UTC, so a calendar always answers.
  explicit Calendar(const QTimeZone& timeZone);
  // The zone this computer is set to (UTC when it cannot be determined).
  static Calendar system();

  const QTimeZone& timeZone() const { return m_zone; }
  // How the day stamps of the schedule name this calendar.
  static QString identifier() { return QStringLiteral("gregorian"); }

  std::optional<TimeOfDay> timeOfDay(Date date) const;
  std::optional<DayComponents> dayComponents(Date date) const;

  // The first instant of the calendar day holding `date`: local midnight, or the moment the
  // clock jumps past midnight on a day whose midnight falls into a gap.
  std::optional<Date> startOfDay(Date date) const;

  // The first instant strictly after `after` whose local clock reads hour:minute:second.
  // A clock time that falls into a gap does not exist on that day (the search goes on to the
  // next day); a clock time that occurs twice counts only at its first occurrence.
  std::optional<Date> nextDate(Date after, int hour, int minute, int second) const;

  // Both dates have calendar values and fall on the same local calendar day.
  bool isSameDay(Date a, Date b) const;

  // The same clock time `days` calendar days later (earlier when negative). A clock time
  // that does not exist on the target day moves forward by the length of the gap; a
  // repeated one takes its first occurrence. None outside the supported years.
  std::optional<Date> addingDays(Date date, int days) const;

private:
  struct Local {
    qint64 day;         // days since 1970-01-01 on the local calendar
    qint64 secondOfDay; // 0 to 86399
  };

  int offsetAt(qint64 unixSeconds) const;
  std::optional<qint64> wholeSeconds(Date date) const;
  std::optional<Local> local(Date date) const;
  // The earliest instant at which the local clock shows `wall` (seconds since 1970-01-01
  // counted on the local clock); none when `wall` falls into a gap.
  std::optional<qint64> firstInstantAt(qint64 wall) const;
  // The first instant whose local clock shows `wall` or, inside a gap, a later time.
  qint64 firstInstantFrom(qint64 wall) const;

  QTimeZone m_zone;
};

} // namespace brindlewick
