#include "CalendarFixtures.h"
#include "delivery/DeliveryEligibility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

using Interval = ScheduleSettings::Interval;

// The worked week, in Tokyo (no daylight saving): "Mon 10:15" is 2026-06-15 10:15.
const Calendar& tokyo() {
  static const Calendar calendar = calendarIn("Asia/Tokyo");
  return calendar;
}
const QStringList weekdays{"Mon", "Tue", "Wed"};

Date on(const char* dayAndClock) {
  const QString text = QString::fromLatin1(dayAndClock);
  return localDate(tokyo(),
                   QStringLiteral("2026-06-%1 %2").arg(15 + weekdays.indexOf(text.left(3))).arg(text.mid(4)));
}

std::string named(std::optional<Date> date) {
  if (!date)
    return "none";
  const auto day = tokyo().dayComponents(*date);
  const QString clock = date->toQDateTime().toTimeZone(tokyo().timeZone()).toString(QStringLiteral("HH:mm"));
  return (weekdays.value(int(day->day) - 15, describe(tokyo(), *date)) + u' ' + clock).toStdString();
}

const ScheduleSettings workday(Interval::everyTwoHours, ScheduleInterval::standardWorkingHours(),
                               std::nullopt, false);
const ScheduleSettings pausedDay(Interval::everyTwoHours, ScheduleInterval::standardWorkingHours(),
                                 std::nullopt, true);
const ScheduleSettings lunchQuiet(Interval::everyTwoHours, ScheduleInterval::standardWorkingHours(),
                                  ScheduleInterval(720, 780), false);
const ScheduleSettings nightShift(Interval::hourly, ScheduleInterval(1320, 120), std::nullopt, false);

TEST(SchedulePlanner, FollowsTheWorkedWeek) {
  enum class Ask { next, missed, canPresent };
  struct Case {
    Ask ask;
    const ScheduleSettings& settings;
    std::vector<const char*> automaticPresentations;
    const char* moment;
    const char* expected; // a day and clock, "none", or for canPresent "yes" / "no"
  };
  const std::vector<const char*> fullMonday{"Mon 09:00", "Mon 09:10", "Mon 09:20", "Mon 09:30", "Mon 09:40"};
  const Case cases[] = {
      {Ask::next, workday, {}, "Mon 10:15", "Mon 11:00"},
      {Ask::next, workday, {}, "Mon 11:00", "Mon 13:00"}, // strictly later
      {Ask::next, workday, {}, "Mon 17:30", "Tue 09:00"},
      {Ask::next, workday, {}, "Mon 05:00", "Mon 09:00"},
      {Ask::next, pausedDay, {}, "Mon 10:00", "none"},
      {Ask::next, workday, {"Mon 11:05"}, "Mon 10:00", "Mon 13:00"}, // not before the floor
      {Ask::next, workday, {"Wed 09:00"}, "Mon 10:00", "Wed 11:00"}, // the walk starts at the floor
      {Ask::next, workday, fullMonday, "Mon 10:00", "Tue 09:00"},
      {Ask::next, lunchQuiet, {}, "Mon 11:30", "Mon 14:00"},
      {Ask::next, nightShift, {}, "Mon 23:30", "Tue 00:00"},
      {Ask::next, nightShift, {}, "Mon 01:30", "Mon 22:00"},
      {Ask::missed, workday, {"Mon 09:00"}, "Mon 11:00", "Mon 11:00"}, // the timer fires on the slot
      {Ask::missed, workday, {"Mon 09:00"}, "Mon 12:30", "Mon 11:00"},
      {Ask::missed, workday, {"Mon 09:00"}, "Mon 14:00", "Mon 13:00"}, // 11:00 is too far back
      {Ask::missed, workday, {"Mon 09:00"}, "Mon 18:30", "Mon 17:00"}, // the clock of `at` is not tested
      {Ask::missed, workday, {"Mon 11:05"}, "Mon 12:00", "none"},
      {Ask::canPresent, workday, {"Mon 09:00"}, "Mon 11:00", "yes"},
      {Ask::canPresent, workday, {"Mon 09:00"}, "Mon 11:30", "yes"},
      {Ask::canPresent, workday, {"Mon 11:05"}, "Mon 12:00", "no"},
      {Ask::canPresent, workday, {}, "Mon 10:30", "yes"},
      {Ask::canPresent, workday, {}, "Mon 08:30", "no"},
      {Ask::canPresent, workday, {"Mon 09:00"}, "Mon 18:30", "no"},
      {Ask::canPresent, lunchQuiet, {}, "Mon 12:30", "no"},
      {Ask::canPresent, pausedDay, {}, "Mon 10:30", "no"},
      {Ask::canPresent, workday, fullMonday, "Mon 11:30", "no"},
  };
  for (const Case& c : cases) {
    ScheduleLedger ledger;
    for (const char* date : c.automaticPresentations)
      ledger.recordSuccessfulPresentation(on(date), true, tokyo());
    const Date moment = on(c.moment);
    std::string answer;
    switch (c.ask) {
    case Ask::next:
      answer = named(SchedulePlanner::nextOpportunity(moment, c.settings, ledger, tokyo()));
      break;
    case Ask::missed:
      answer = named(SchedulePlanner::missedOpportunity(moment, c.settings, ledger, tokyo()));
      break;
    case Ask::canPresent:
      answer = SchedulePlanner::canPresent(moment, c.settings, ledger, tokyo()) ? "yes" : "no";
      break;
    }
    EXPECT_EQ(answer, c.expected) << "asked at " << c.moment << " (case " << (&c - cases) << ")";
  }
  for (const double endless : {std::numeric_limits<double>::infinity(), std::nan("")})
    EXPECT_FALSE(SchedulePlanner::nextOpportunity(Date(endless), workday, ScheduleLedger(), tokyo()));
  const SchedulePlanner planner([] { return on("Mon 10:15"); });
  EXPECT_EQ(named(planner.nextOpportunity(workday, ScheduleLedger(), tokyo())), "Mon 11:00");
}

// Delivers every opportunity from `from` to `until` as the application would, returning
// the deliveries per local day.
std::map<qint64, int> deliverEverything(const ScheduleSettings& settings, const Calendar& calendar, Date from,
                                        Date until, ScheduleLedger& ledger) {
  std::map<qint64, int> perDay;
  std::optional<Date> next = SchedulePlanner::nextOpportunity(from, settings, ledger, calendar);
  for (; next && *next < until; next = SchedulePlanner::nextOpportunity(*next, settings, ledger, calendar)) {
    EXPECT_TRUE(SchedulePlanner::canPresent(*next, settings, ledger, calendar))
        << describe(calendar, *next).toStdString();
    ledger.recordSuccessfulPresentation(*next, true, calendar);
    const auto day = calendar.dayComponents(*next);
    ++perDay[day->year * 10000 + day->month * 100 + day->day];
  }
  return perDay;
}

TEST(SchedulePlannerDaylightSaving, SpringGapSwallowsTheSlotAndTheDayGoesOn) {
  const Calendar berlin = calendarIn("Europe/Berlin");
  const ScheduleSettings early(Interval::hourly, ScheduleInterval(150, 300), std::nullopt,
                               false); // 02:30 03:30 04:30
  ScheduleLedger ledger;
  // No 02:30 on 29 March: the day starts with its 03:30 slot.
  EXPECT_EQ(SchedulePlanner::nextOpportunity(utcDate("2026-03-28 23:00"), early, ledger, berlin),
            utcDate("2026-03-29 01:30"));
  const ScheduleSettings allDay(Interval::hourly, ScheduleInterval(0, 1440), std::nullopt, false);
  const Calendar newYork = calendarIn("America/New_York");
  const auto perDay =
      deliverEverything(allDay, newYork, utcDate("2026-03-07 04:59:59"), utcDate("2026-03-09 04:00"), ledger);
  EXPECT_EQ(perDay, (std::map<qint64, int>{{20260307, 24}, {20260308, 23}}));
}

TEST(SchedulePlannerDaylightSaving, RepeatedHourNeverDeliversTwice) {
  const Calendar newYork = calendarIn("America/New_York");
  const ScheduleSettings night(Interval::hourly, ScheduleInterval(60, 180), std::nullopt,
                               false); // 01:00 02:00
  ScheduleLedger ledger;
  const auto first = SchedulePlanner::nextOpportunity(utcDate("2026-11-01 03:00"), night, ledger, newYork);
  ASSERT_EQ(first, utcDate("2026-11-01 05:00")); // 01:00 EDT
  ledger.recordSuccessfulPresentation(*first, true, newYork);
  // 01:00 comes round again an hour later (EST); it is not a new slot.
  EXPECT_FALSE(SchedulePlanner::canPresent(utcDate("2026-11-01 06:30"), night, ledger, newYork));
  EXPECT_FALSE(SchedulePlanner::missedOpportunity(utcDate("2026-11-01 06:30"), night, ledger, newYork));
  EXPECT_EQ(SchedulePlanner::nextOpportunity(*first, night, ledger, newYork), utcDate("2026-11-01 07:00"));

  const Calendar berlin = calendarIn("Europe/Berlin");
  const ScheduleSettings allDay(Interval::hourly, ScheduleInterval(0, 1440), std::nullopt, false);
  ScheduleLedger autumn;
  const auto perDay =
      deliverEverything(allDay, berlin, utcDate("2026-10-24 21:59:59"), utcDate("2026-10-25 23:00"), autumn);
  EXPECT_EQ(perDay, (std::map<qint64, int>{{20261025, 24}}));
}

// Random schedules in zones with and without daylight saving: whatever the moment, an
// opportunity lies strictly later, on a slot in eligible time, and taking every opportunity
// never exceeds a day's slots.
TEST(SchedulePlannerProperty, OpportunitiesAreLaterEligibleAndWithinTheDailyMaximum) {
  std::mt19937 random(20260615);
  const char* zones[] = {"Europe/Berlin",       "America/New_York", "America/Santiago",
                         "Australia/Lord_Howe", "Asia/Tokyo",       "Pacific/Chatham"};
  const Date start = utcDate("2025-01-01 00:00");
  int checked = 0;
  for (int round = 0; round < 150; ++round) {
    const Calendar calendar = calendarIn(zones[random() % std::size(zones)]);
    const auto minute = [&](int upTo) { return qint64(std::uniform_int_distribution<int>(0, upTo)(random)); };
    const qint64 workStart = minute(1439);
    qint64 workEnd = minute(1440);
    if (workEnd == workStart)
      workEnd = (workStart + 1) % 1440;
    std::optional<ScheduleInterval> quiet;
    if (random() % 2) {
      const qint64 quietStart = minute(1439);
      const qint64 quietEnd = minute(1440);
      if (quietStart != quietEnd)
        quiet = ScheduleInterval(quietStart, quietEnd);
    }
    const Interval interval = ScheduleSettings::allIntervals[random() % 5];
    std::optional<ScheduleSettings> settings;
    try {
      settings.emplace(interval, ScheduleInterval(workStart, workEnd), quiet, false);
    } catch (const ScheduleValidationError&) {
      continue;
    }
    const QList<qint64> slots = settings->opportunityMinutes();
    const Date from =
        start.addingSeconds(std::uniform_real_distribution<double>(0, 2 * 365 * 86400.0)(random));

    ScheduleLedger ledger;
    std::map<qint64, int> perDay;
    std::optional<Date> after = from;
    for (int delivery = 0; delivery < 12; ++delivery) {
      const auto next = SchedulePlanner::nextOpportunity(*after, *settings, ledger, calendar);
      ASSERT_TRUE(next.has_value()) << describe(calendar, *after).toStdString();
      ASSERT_GT(*next, *after);
      const auto clock = calendar.timeOfDay(*next);
      const qint64 minuteOfDay = clock->hour * 60 + clock->minute;
      ASSERT_TRUE(settings->isEligible(minuteOfDay)) << describe(calendar, *next).toStdString();
      ASSERT_TRUE(slots.contains(minuteOfDay)) << describe(calendar, *next).toStdString();
      ASSERT_EQ(clock->second, 0);
      ledger.recordSuccessfulPresentation(*next, true, calendar);
      const auto day = calendar.dayComponents(*next);
      ASSERT_LE(++perDay[day->year * 10000 + day->month * 100 + day->day], settings->dailyMaximum());
      after = next;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000);
}

} // namespace
