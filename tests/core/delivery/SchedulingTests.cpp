#include "CalendarFixtures.h"
#include "delivery/Scheduling.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

using Interval = ScheduleSettings::Interval;

const std::string invalidIntervalText = "Choose distinct start and end times. Start must be 0\xE2\x80\x93"
                                        "1439 and end 0\xE2\x80\x93"
                                        "1440 minutes after midnight.";
const std::string noEligibleTimeText =
    "Quiet hours cover all working hours. Leave some working time outside quiet hours.";
const ScheduleInterval standard = ScheduleInterval::standardWorkingHours();

// The message of what `make` throws; decoding errors read "path: problem".
template <typename Make> std::string failureOf(Make make) {
  try {
    make();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ScheduleInterval, AcceptsOnlyDistinctMinutesInRangeAndWrapsPastMidnight) {
  for (const auto& [start, end] : {std::pair{0, 1440}, {1320, 120}, {1439, 1440}, {0, 1}})
    EXPECT_NO_THROW(ScheduleInterval(start, end)) << start << " " << end;
  for (const auto& [start, end] : {std::pair{1440, 0}, {600, 600}, {-1, 60}, {0, 1441}})
    EXPECT_EQ(failureOf([&] { ScheduleInterval(start, end); }), invalidIntervalText) << start << " " << end;

  const ScheduleInterval night(1320, 120);
  for (qint64 minute : {1320, 1439, 0, 119})
    EXPECT_TRUE(night.contains(minute)) << minute;
  for (qint64 minute : {120, 1319, 1440, -1})
    EXPECT_FALSE(night.contains(minute)) << minute;
  EXPECT_TRUE(ScheduleInterval(0, 1440).contains(1439));
  EXPECT_FALSE(ScheduleInterval(0, 1440).contains(1440));
}

TEST(ScheduleSettings, SpacesSlotsOverEligibleMinutesFromTheWorkingStart) {
  struct Case {
    Interval interval;
    ScheduleInterval working;
    std::optional<ScheduleInterval> quiet;
    QList<qint64> slots;
  };
  const Case cases[] = {
      {Interval::hourly, standard, {}, {540, 600, 660, 720, 780, 840, 900, 960, 1020}},
      {Interval::everyTwoHours, standard, {}, {540, 660, 780, 900, 1020}},
      {Interval::everyFourHours, standard, {}, {540, 780, 1020}},
      {Interval::everySixHours, standard, {}, {540, 900}},
      {Interval::everyTwelveHours, standard, {}, {540}},
      // The quiet hour pushes every later slot back by an hour: 14:00, not 13:00.
      {Interval::everyTwoHours, standard, ScheduleInterval(720, 780), {540, 660, 840, 960}},
      {Interval::everyTwoHours, standard, ScheduleInterval(480, 600), {600, 720, 840, 960}},
      {Interval::hourly, ScheduleInterval(1320, 120), {}, {0, 60, 1320, 1380}},
      {Interval::everyTwoHours, ScheduleInterval(540, 600), {}, {540}},
      {Interval::everySixHours, ScheduleInterval(0, 1440), ScheduleInterval(1320, 360), {360, 720, 1080}},
      // One free minute is enough.
      {Interval::hourly, standard, ScheduleInterval(541, 540), {540}},
  };
  for (const Case& c : cases) {
    const ScheduleSettings settings(c.interval, c.working, c.quiet, false);
    EXPECT_EQ(settings.opportunityMinutes(), c.slots) << ScheduleSettings::label(c.interval).toStdString();
    EXPECT_EQ(settings.dailyMaximum(), c.slots.size());
  }
  for (const ScheduleInterval& quiet : {ScheduleInterval(480, 1140), ScheduleInterval(0, 1440)}) {
    EXPECT_EQ(failureOf([&] { ScheduleSettings(Interval::hourly, standard, quiet, false); }),
              noEligibleTimeText);
  }
}

TEST(ScheduleSettings, ReadsIntervalHoursFallingBackToThePresetAndValidates) {
  struct Case {
    const char* keys; // spliced before the working hours
    const char* outcome;
  };
  const Case cases[] = {
      {R"("intervalHours":4,)", "Every 4 hours"},
      {R"("intervalHours":6,)", "Every 6 hours"},
      {R"("preset":8,)", "Every hour"},
      {R"("preset":4,)", "Every 2 hours"},
      {R"("preset":2,)", "Every 4 hours"},
      {R"("intervalHours":null,"preset":8,)", "Every hour"},
      {R"("intervalHours":12,"preset":3,)", "Every 12 hours"},
      {R"("preset":3,)", "s.preset: Unsupported preset."},
      {R"("intervalHours":3,"preset":8,)", "s.intervalHours: Unsupported interval."},
      {"", "s.preset: the key is missing"},
      {R"("intervalHours":"2",)", "s.intervalHours: expected an integer but found a string"},
      {R"("intervalHours":1,"quietHours":{"startMinute":0,"endMinute":1440},)", noEligibleTimeText.c_str()},
      {R"("intervalHours":1,"quietHours":{"startMinute":600,"endMinute":600},)", invalidIntervalText.c_str()},
  };
  for (const Case& c : cases) {
    const QJsonValue json = Json::parse(
        QByteArray("{") + c.keys + R"("workingHours":{"startMinute":540,"endMinute":1080},"paused":false})");
    std::string outcome;
    try {
      outcome = ScheduleSettings::label(ScheduleSettings::fromJson(json, "s").interval()).toStdString();
    } catch (const std::exception& error) {
      outcome = error.what();
    }
    EXPECT_EQ(outcome, c.outcome) << c.keys;
  }
  EXPECT_THROW(ScheduleSettings::fromJson(
                   Json::parse(R"({"intervalHours":1,"workingHours":{"startMinute":540,"endMinute":1080}})")),
               JsonDecodingError);
}

TEST(ScheduleSettings, EncodesWithoutPresetOrAbsentQuietHoursAndDecodesEqual) {
  const ScheduleSettings night(Interval::everySixHours, ScheduleInterval(1320, 120), std::nullopt, true);
  const QJsonObject json = night.toJson();
  EXPECT_EQ(json.keys(), (QStringList{"intervalHours", "paused", "workingHours"}));
  EXPECT_EQ(json.value("intervalHours").toInteger(), 6);
  EXPECT_EQ(ScheduleSettings::fromJson(Json::parse(Json::serialize(json))), night);

  const ScheduleSettings quiet(Interval::hourly, standard, ScheduleInterval(720, 780), false);
  EXPECT_EQ(ScheduleSettings::fromJson(Json::parse(Json::serialize(quiet.toJson()))), quiet);
}

TEST(ScheduleLedger, RecordsEachAutomaticPresentationOnceAndOnlyMovesLastPresentationForward) {
  const Calendar calendar = calendarIn("Europe/Berlin");
  const Date monday = localDate(calendar, "2026-06-15 11:00");
  ScheduleLedger ledger;
  ledger.recordSuccessfulPresentation(monday, false, calendar);
  EXPECT_EQ(ledger.lastPresentation(), monday);
  EXPECT_TRUE(ledger.automaticPresentations().empty());
  EXPECT_FALSE(ledger.lastAutomaticPresentation());

  ledger.recordSuccessfulPresentation(monday, true, calendar);
  ledger.recordSuccessfulPresentation(monday, true, calendar);
  ASSERT_EQ(ledger.automaticPresentations().size(), 1u);
  EXPECT_EQ(ledger.automaticPresentations()[0].localDay.day, 15);

  const Date earlier = monday.addingSeconds(-3600);
  ledger.recordSuccessfulPresentation(earlier, true, calendar);
  ASSERT_EQ(ledger.automaticPresentations().size(), 2u);
  EXPECT_EQ(ledger.automaticPresentations()[1].date, earlier);
  EXPECT_EQ(ledger.lastPresentation(), monday);
  EXPECT_EQ(ledger.lastAutomaticPresentation(), monday); // by date, not by position
  EXPECT_EQ(ledger.automaticCount(monday, calendar), 2);
}

TEST(ScheduleLedger, CountsADayByItsStampOrByWhereItsInstantFallsNow) {
  // Recorded in Tokyo at 01:00 on Tuesday, which is still Monday evening in Berlin.
  const Calendar tokyo = calendarIn("Asia/Tokyo");
  const Calendar berlin = calendarIn("Europe/Berlin");
  ScheduleLedger ledger;
  ledger.recordSuccessfulPresentation(localDate(tokyo, "2026-06-16 01:00"), true, tokyo);
  ledger.recordSuccessfulPresentation(localDate(berlin, "2026-06-15 09:00"), true, berlin);

  EXPECT_EQ(ledger.automaticCount(localDate(berlin, "2026-06-15 12:00"), berlin), 2); // by instant
  EXPECT_EQ(ledger.automaticCount(localDate(berlin, "2026-06-16 12:00"), berlin), 1); // by stamp
  EXPECT_EQ(ledger.automaticCount(localDate(berlin, "2026-06-17 12:00"), berlin), 0);
  EXPECT_EQ(ledger.automaticCount(localDate(tokyo, "2026-06-16 20:00"), tokyo), 1); // both match: once
}

TEST(ScheduleLedger, RoundTripsThroughJsonKeepingStoredDuplicates) {
  const Calendar calendar = calendarIn("America/New_York");
  EXPECT_EQ(Json::serialize(ScheduleLedger().toJson()), QByteArray(R"({"automaticPresentations":[]})"));

  ScheduleLedger ledger;
  ledger.recordSuccessfulPresentation(localDate(calendar, "2026-06-15 09:00").addingSeconds(0.25), true,
                                      calendar);
  ledger.recordSuccessfulPresentation(localDate(calendar, "2026-06-15 13:00"), false, calendar);
  const ScheduleLedger decoded = ScheduleLedger::fromJson(Json::parse(Json::serialize(ledger.toJson())));
  EXPECT_EQ(decoded, ledger);
  EXPECT_EQ(decoded.automaticPresentations()[0].localDay.calendarIdentifier, QStringLiteral("gregorian"));

  QJsonObject json = ledger.toJson();
  QJsonArray entries = json.value("automaticPresentations").toArray();
  entries.append(entries.at(0));
  json.insert("automaticPresentations", entries);
  const ScheduleLedger duplicated = ScheduleLedger::fromJson(json);
  EXPECT_EQ(duplicated.automaticPresentations().size(), 2u);
  EXPECT_EQ(duplicated.automaticCount(localDate(calendar, "2026-06-15 18:00"), calendar), 2);

  entries[0] = QJsonObject{{"date", 1.0}};
  json.insert("automaticPresentations", entries);
  EXPECT_EQ(failureOf([&] { ScheduleLedger::fromJson(json, QStringLiteral("ledger")); }),
            "ledger.automaticPresentations[0].localDay: the key is missing");
}

} // namespace
