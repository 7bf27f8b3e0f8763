#include "CalendarFixtures.h"
#include "DeliveryEligibility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

using Interval = ScheduleSettings::Interval;

// The worked days: Tokyo keeps no daylight saving; 2026-06-15 is a Monday.
const Calendar& tokyo() {
  static const Calendar calendar = calendarIn("Asia/Tokyo");
  return calendar;
}

Date monday(const char* clock, int plusDays = 0) {
  return localDate(tokyo(), QStringLiteral("2026-06-%1 %2").arg(15 + plusDays).arg(QLatin1String(clock)));
}

enum class Ask { next, missed, canPresent };

struct PlannerCase {
  const char* name;
  Ask ask;
  ScheduleSettings settings;
  QList<Date> automaticPresentations;
  Date moment;
  std::optional<Date> expected; // for canPresent: present means true
};

const ScheduleSettings workday(Interval::everyTwoHours, ScheduleInterval::standardWorkingHours(),
                               std::nullopt, false);
const ScheduleSettings pausedDay(Interval::everyTwoHours, ScheduleInterval::standardWorkingHours(),
                                 std::nullopt, true);
const ScheduleSettings lunchQuiet(Interval::everyTwoHours, ScheduleInterval::standardWorkingHours(),
                                  ScheduleInterval(720, 780), false);
const ScheduleSettings nightShift(Interval::hourly, ScheduleInterval(1320, 120), std::nullopt, false);

class PlannerDays : public ::testing::TestWithParam<PlannerCase> {};

TEST_P(PlannerDays, FollowTheWorkedExamples) {
  const PlannerCase& c = GetParam();
  ScheduleLedger ledger;
  for (Date date : c.automaticPresentations)
    ledger.recordSuccessfulPresentation(date, true, tokyo());
  std::optional<Date> answer;
  switch (c.ask) {
  case Ask::next: answer = SchedulePlanner::nextOpportunity(c.moment, c.settings, ledger, tokyo()); break;
  case Ask::missed: answer = SchedulePlanner::missedOpportunity(c.moment, c.settings, ledger, tokyo()); break;
  case Ask::canPresent:
    EXPECT_EQ(SchedulePlanner::canPresent(c.moment, c.settings, ledger, tokyo()), c.expected.has_value());
    return;
  }
  EXPECT_EQ(answer, c.expected) << (answer ? describe(tokyo(), *answer).toStdString() : "none");
}

const std::optional<Date> none;
const std::optional<Date> yes = Date(0);

INSTANTIATE_TEST_SUITE_P(
    Monday, PlannerDays,
    ::testing::Values(
        PlannerCase{"NextAfterMidMorning", Ask::next, workday, {}, monday("10:15"), monday("11:00")},
        PlannerCase{"NextIsStrictlyLater", Ask::next, workday, {}, monday("11:00"), monday("13:00")},
        PlannerCase{"NextAfterWorkIsTomorrow", Ask::next, workday, {}, monday("17:30"), monday("09:00", 1)},
        PlannerCase{"NextBeforeWork", Ask::next, workday, {}, monday("05:00"), monday("09:00")},
        PlannerCase{"NextWhilePaused", Ask::next, pausedDay, {}, monday("10:00"), none},
        PlannerCase{
            "NextAfterTheFloor", Ask::next, workday, {monday("11:05")}, monday("10:00"), monday("13:00")},
        PlannerCase{"NextFromALaterFloor",
                    Ask::next,
                    workday,
                    {monday("09:00", 2)},
                    monday("10:00"),
                    monday("11:00", 2)},
        PlannerCase{"NextSkipsAFullDay",
                    Ask::next,
                    workday,
                    {monday("09:00"), monday("09:10"), monday("09:20"), monday("09:30"), monday("09:40")},
                    monday("10:00"),
                    monday("09:00", 1)},
        PlannerCase{"NextSkipsQuietHours", Ask::next, lunchQuiet, {}, monday("11:30"), monday("14:00")},
        PlannerCase{"NextPastMidnight", Ask::next, nightShift, {}, monday("23:30"), monday("00:00", 1)},
        PlannerCase{"NextBeforeTheNight", Ask::next, nightShift, {}, monday("01:30"), monday("22:00")},
        PlannerCase{"NextWithInfiniteAfter",
                    Ask::next,
                    workday,
                    {},
                    Date(std::numeric_limits<double>::infinity()),
                    none},
        PlannerCase{"NextWithNanAfter", Ask::next, workday, {}, Date(std::nan("")), none},
        PlannerCase{"MissedWithinTheInterval",
                    Ask::missed,
                    workday,
                    {monday("09:00")},
                    monday("12:30"),
                    monday("11:00")},
        PlannerCase{
            "MissedOnlyTheLatest", Ask::missed, workday, {monday("09:00")}, monday("14:00"), monday("13:00")},
        PlannerCase{
            "MissedAfterWork", Ask::missed, workday, {monday("09:00")}, monday("18:30"), monday("17:00")},
        PlannerCase{"MissedNothingDue", Ask::missed, workday, {monday("11:05")}, monday("12:00"), none},
        PlannerCase{
            "PresentAfterEarlierDrop", Ask::canPresent, workday, {monday("09:00")}, monday("11:30"), yes},
        PlannerCase{
            "PresentNotBeforeNextSlot", Ask::canPresent, workday, {monday("11:05")}, monday("12:00"), none},
        PlannerCase{"PresentFirstSlotDue", Ask::canPresent, workday, {}, monday("10:30"), yes},
        PlannerCase{"PresentBeforeWork", Ask::canPresent, workday, {}, monday("08:30"), none},
        PlannerCase{"PresentAfterWork", Ask::canPresent, workday, {monday("09:00")}, monday("18:30"), none},
        PlannerCase{"PresentInQuietHours", Ask::canPresent, lunchQuiet, {}, monday("12:30"), none},
        PlannerCase{"PresentWhilePaused", Ask::canPresent, pausedDay, {}, monday("10:30"), none},
        PlannerCase{"PresentOnAFullDay",
                    Ask::canPresent,
                    workday,
                    {monday("09:00"), monday("09:10"), monday("09:20"), monday("09:30"), monday("09:40")},
                    monday("11:30"),
                    none}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST(SchedulePlanner, InstanceFormAsksItsClock) {
  const SchedulePlanner planner([] { return monday("10:15"); });
  EXPECT_EQ(planner.nextOpportunity(workday, ScheduleLedger(), tokyo()), monday("11:00"));
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
