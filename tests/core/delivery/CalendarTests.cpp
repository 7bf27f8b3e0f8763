#include "CalendarFixtures.h"
#include "delivery/Calendar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

TEST(Calendar, NextDateIsTheFirstOccurrenceStrictlyLaterAndSkipsDaysWithoutTheClockTime) {
  struct Case {
    const char* zone;
    const char* afterUtc;
    int hour;
    int minute;
    const char* expectedUtc;
  };
  const Case cases[] = {
      {"Asia/Tokyo", "2026-06-15 02:00", 11, 0, "2026-06-16 02:00"}, // strictly later
      // 02:00 to 03:00 does not exist on 29 March in Berlin.
      {"Europe/Berlin", "2026-03-28 23:00", 2, 30, "2026-03-30 00:30"},
      // 02:00 to 03:00 happens twice on 25 October: only the first one counts.
      {"Europe/Berlin", "2026-10-24 22:00", 2, 30, "2026-10-25 00:30"},
      {"Europe/Berlin", "2026-10-25 00:30", 2, 30, "2026-10-26 01:30"},
      {"America/New_York", "2026-11-01 05:45", 1, 30, "2026-11-02 06:30"},
      // Santiago moves its clock from midnight straight to 01:00 on 6 September.
      {"America/Santiago", "2026-09-05 12:00", 0, 0, "2026-09-07 03:00"},
  };
  for (const Case& c : cases) {
    const Calendar calendar = calendarIn(c.zone);
    const auto found = calendar.nextDate(utcDate(c.afterUtc), c.hour, c.minute, 0);
    ASSERT_TRUE(found.has_value()) << c.zone << " " << c.afterUtc;
    EXPECT_EQ(*found, utcDate(c.expectedUtc)) << c.zone << " " << describe(calendar, *found).toStdString();
  }
}

TEST(Calendar, StartOfDayIsTheFirstInstantOfTheLocalDay) {
  struct Case {
    const char* zone;
    const char* dateUtc;
    const char* startUtc;
  };
  const Case cases[] = {
      {"Asia/Tokyo", "2026-06-15 16:00", "2026-06-15 15:00"},
      {"Europe/Berlin", "2026-03-29 12:00", "2026-03-28 23:00"},    // a 23-hour day
      {"Europe/Berlin", "2026-10-25 22:59", "2026-10-24 22:00"},    // a 25-hour day
      {"America/Santiago", "2026-09-06 12:00", "2026-09-06 04:00"}, // midnight falls into the gap
      // 23:30 on 4 April happens twice (00:00 falls back to 23:00): both are on 4 April.
      {"America/Santiago", "2026-04-05 03:30", "2026-04-04 03:00"},
  };
  for (const Case& c : cases) {
    const Calendar calendar = calendarIn(c.zone);
    const auto start = calendar.startOfDay(utcDate(c.dateUtc));
    ASSERT_TRUE(start.has_value()) << c.zone << " " << c.dateUtc;
    EXPECT_EQ(*start, utcDate(c.startUtc)) << c.zone << " " << describe(calendar, *start).toStdString();
    EXPECT_TRUE(calendar.isSameDay(*start, utcDate(c.dateUtc)));
    EXPECT_FALSE(calendar.isSameDay(start->addingSeconds(-1), *start));
  }
}

TEST(Calendar, AddsCalendarDaysKeepingTheClockAndStepsOverGaps) {
  const Calendar newYork = calendarIn("America/New_York");
  // 12:00 EST + 1 day = 12:00 EDT, only 23 hours later.
  EXPECT_EQ(newYork.addingDays(utcDate("2026-03-07 17:00"), 1), utcDate("2026-03-08 16:00"));
  EXPECT_EQ(newYork.addingDays(utcDate("2026-03-08 16:00").addingSeconds(0.5), -1),
            utcDate("2026-03-07 17:00").addingSeconds(0.5));
  const Calendar berlin = calendarIn("Europe/Berlin");
  // 02:30 does not exist the next day: the clock reads 03:30 instead.
  EXPECT_EQ(berlin.addingDays(utcDate("2026-03-28 01:30"), 1), utcDate("2026-03-29 01:30"));
}

TEST(Calendar, ReadsClockTimeAndDayComponentsInItsZone) {
  const Calendar berlin = calendarIn("Europe/Berlin");
  // The repeated hour reads the same clock time twice.
  EXPECT_EQ(berlin.timeOfDay(utcDate("2026-10-25 00:30")), (Calendar::TimeOfDay{2, 30, 0}));
  EXPECT_EQ(berlin.timeOfDay(utcDate("2026-10-25 01:30:59").addingSeconds(0.9)),
            (Calendar::TimeOfDay{2, 30, 59}));
  const Calendar tokyo = calendarIn("Asia/Tokyo");
  EXPECT_EQ(tokyo.dayComponents(utcDate("2026-12-31 20:00")),
            (Calendar::DayComponents{1, 2027, 1, 1, false}));
  const Calendar utc = calendarIn("UTC");
  EXPECT_EQ(utc.dayComponents(Date(0)), (Calendar::DayComponents{1, 2001, 1, 1, false}));
  // Proleptic Gregorian throughout; the year before 1 is year 1 of the earlier era.
  const Date yearOne = Date::fromUnixSeconds(-62135596800.0);
  EXPECT_EQ(utc.dayComponents(yearOne), (Calendar::DayComponents{1, 1, 1, 1, false}));
  EXPECT_EQ(utc.dayComponents(yearOne.addingSeconds(-1)), (Calendar::DayComponents{0, 1, 12, 31, false}));
  EXPECT_EQ(Calendar(QTimeZone("No/Such_Zone")).timeOfDay(utcDate("2026-01-01 07:08")),
            (Calendar::TimeOfDay{7, 8, 0}));
}

TEST(Calendar, AnswersNothingForDatesWithoutCalendarValues) {
  const Calendar calendar = calendarIn("Europe/Berlin");
  const double inf = std::numeric_limits<double>::infinity();
  for (const Date date : {Date(std::nan("")), Date(inf), Date(-inf), Date(1e15), Date(-1e15)}) {
    EXPECT_FALSE(calendar.timeOfDay(date));
    EXPECT_FALSE(calendar.dayComponents(date));
    EXPECT_FALSE(calendar.startOfDay(date));
    EXPECT_FALSE(calendar.nextDate(date, 9, 0, 0));
    EXPECT_FALSE(calendar.addingDays(date, 1));
    EXPECT_FALSE(calendar.isSameDay(date, date));
  }
  EXPECT_FALSE(calendar.nextDate(Date(0), 24, 0, 0));
  EXPECT_FALSE(calendar.addingDays(utcDate("9999-12-31 12:00"), 1));
}

} // namespace
