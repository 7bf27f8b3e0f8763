#include "CalendarFixtures.h"
#include "Json.h"
#include "Scheduling.h"

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

using Interval = ScheduleSettings::Interval;

const std::string invalidIntervalText = ("Choose distinct start and end times. Start must be 0\xE2\x80\x93"
                                         "1439 and end 0\xE2\x80\x93"
                                         "1440 minutes after midnight.");
const std::string noEligibleTimeText =
    "Quiet hours cover all working hours. Leave some working time outside quiet hours.";

template <typename Make> std::string validationMessage(Make make) {
  try {
    make();
  } catch (const ScheduleValidationError& error) {
    EXPECT_EQ(std::string(error.what()), error.errorDescription().toStdString());
    return error.what();
  }
  return "(no error)";
}

template <typename Make> std::string decodingProblem(Make make) {
  try {
    make();
  } catch (const JsonDecodingError& error) {
    return (error.path() + QStringLiteral(" | ") + error.problem()).toStdString();
  }
  return "(no error)";
}

TEST(ScheduleInterval, AcceptsOnlyDistinctMinutesInRange) {
  for (const auto& [start, end] : {std::pair{0, 1440}, {1320, 120}, {1439, 1440}, {0, 1}}) {
    EXPECT_NO_THROW(ScheduleInterval(start, end)) << start << " " << end;
  }
  for (const auto& [start, end] : {std::pair{1440, 0}, {600, 600}, {-1, 60}, {0, 1441}}) {
    EXPECT_EQ(validationMessage([&] { ScheduleInterval(start, end); }), invalidIntervalText)
        << start << " " << end;
  }
}

TEST(ScheduleInterval, ContainsWrapsPastMidnightAndRefusesMinutesOutsideTheDay) {
  const ScheduleInterval night(1320, 120);
  for (qint64 minute : {1320, 1439, 0, 119})
    EXPECT_TRUE(night.contains(minute)) << minute;
  for (qint64 minute : {120, 1319, 1440, -1})
    EXPECT_FALSE(night.contains(minute)) << minute;
  const ScheduleInterval wholeDay(0, 1440);
  EXPECT_TRUE(wholeDay.contains(0));
  EXPECT_TRUE(wholeDay.contains(1439));
  EXPECT_FALSE(wholeDay.contains(1440));
}

struct SlotCase {
  const char* name;
  Interval interval;
  ScheduleInterval working;
  std::optional<ScheduleInterval> quiet;
  QList<qint64> slots;
};

class DeliverySlots : public ::testing::TestWithParam<SlotCase> {};

TEST_P(DeliverySlots, SpaceEligibleMinutesFromTheWorkingStart) {
  const SlotCase& c = GetParam();
  const ScheduleSettings settings(c.interval, c.working, c.quiet, false);
  EXPECT_EQ(settings.opportunityMinutes(), c.slots);
  EXPECT_EQ(settings.dailyMaximum(), c.slots.size());
}

const ScheduleInterval standard = ScheduleInterval::standardWorkingHours();

INSTANTIATE_TEST_SUITE_P(
    Settings, DeliverySlots,
    ::testing::Values(
        SlotCase{"Hourly", Interval::hourly, standard, {}, {540, 600, 660, 720, 780, 840, 900, 960, 1020}},
        SlotCase{"EveryTwoHours", Interval::everyTwoHours, standard, {}, {540, 660, 780, 900, 1020}},
        SlotCase{"EveryFourHours", Interval::everyFourHours, standard, {}, {540, 780, 1020}},
        SlotCase{"EverySixHours", Interval::everySixHours, standard, {}, {540, 900}},
        SlotCase{"EveryTwelveHours", Interval::everyTwelveHours, standard, {}, {540}},
        // The quiet hour pushes every later slot back by an hour: 14:00, not 13:00.
        SlotCase{"QuietLunch",
                 Interval::everyTwoHours,
                 standard,
                 ScheduleInterval(720, 780),
                 {540, 660, 840, 960}},
        SlotCase{"QuietMorning",
                 Interval::everyTwoHours,
                 standard,
                 ScheduleInterval(480, 600),
                 {600, 720, 840, 960}},
        SlotCase{"WrapsPastMidnight", Interval::hourly, ScheduleInterval(1320, 120), {}, {0, 60, 1320, 1380}},
        SlotCase{"SpacingLongerThanWindow", Interval::everyTwoHours, ScheduleInterval(540, 600), {}, {540}},
        SlotCase{"QuietWrapsInsideWholeDay",
                 Interval::everySixHours,
                 ScheduleInterval(0, 1440),
                 ScheduleInterval(1320, 360),
                 {360, 720, 1080}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScheduleSettings, RefusesQuietHoursCoveringAllWorkingTime) {
  for (const ScheduleInterval& quiet : {ScheduleInterval(480, 1140), ScheduleInterval(0, 1440)}) {
    EXPECT_EQ(validationMessage([&] { ScheduleSettings(Interval::hourly, standard, quiet, false); }),
              noEligibleTimeText);
  }
  // One free minute is enough.
  EXPECT_EQ(
      ScheduleSettings(Interval::hourly, standard, ScheduleInterval(541, 540), false).opportunityMinutes(),
      QList<qint64>{540});
}

TEST(ScheduleSettings, NamesItsIntervals) {
  QStringList labels;
  for (Interval interval : ScheduleSettings::allIntervals)
    labels << ScheduleSettings::label(interval);
  EXPECT_EQ(labels,
            (QStringList{"Every hour", "Every 2 hours", "Every 4 hours", "Every 6 hours", "Every 12 hours"}));
  EXPECT_EQ(ScheduleSettings::intervalFromJson(ScheduleSettings::intervalToJson(Interval::everyTwelveHours)),
            Interval::everyTwelveHours);
  EXPECT_EQ(decodingProblem([] { ScheduleSettings::intervalFromJson(QJsonValue(3), QStringLiteral("x")); }),
            "x | Unsupported interval.");
}

struct SettingsDecodingCase {
  const char* name;
  const char* keys; // spliced before the working hours
  std::optional<Interval> interval;
  const char* problem; // when interval is absent
};

class SettingsDecoding : public ::testing::TestWithParam<SettingsDecodingCase> {};

TEST_P(SettingsDecoding, ReadsIntervalHoursAndFallsBackToThePreset) {
  const SettingsDecodingCase& c = GetParam();
  const QByteArray text =
      QByteArray("{") + c.keys + R"("workingHours":{"startMinute":540,"endMinute":1080},"paused":false})";
  const QJsonValue json = Json::parse(text);
  if (c.interval) {
    EXPECT_EQ(ScheduleSettings::fromJson(json).interval(), *c.interval);
  } else {
    EXPECT_EQ(decodingProblem([&] { ScheduleSettings::fromJson(json, QStringLiteral("schedule")); }),
              c.problem);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsDecoding,
    ::testing::Values(
        SettingsDecodingCase{"Hours", R"("intervalHours":4,)", Interval::everyFourHours, nullptr},
        SettingsDecodingCase{"PresetEight", R"("preset":8,)", Interval::hourly, nullptr},
        SettingsDecodingCase{"PresetFour", R"("preset":4,)", Interval::everyTwoHours, nullptr},
        SettingsDecodingCase{"PresetTwo", R"("preset":2,)", Interval::everyFourHours, nullptr},
        SettingsDecodingCase{"NullHoursUsesPreset", R"("intervalHours":null,"preset":8,)", Interval::hourly,
                             nullptr},
        SettingsDecodingCase{"HoursWinOverBadPreset", R"("intervalHours":12,"preset":3,)",
                             Interval::everyTwelveHours, nullptr},
        SettingsDecodingCase{"PresetThree", R"("preset":3,)", {}, "schedule.preset | Unsupported preset."},
        SettingsDecodingCase{"HoursThreeDespitePreset",
                             R"("intervalHours":3,"preset":8,)",
                             {},
                             "schedule.intervalHours | Unsupported interval."},
        SettingsDecodingCase{"NeitherKey", "", {}, "schedule.preset | the key is missing"},
        SettingsDecodingCase{"HoursAsText",
                             R"("intervalHours":"2",)",
                             {},
                             "schedule.intervalHours | expected an integer but found a string"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScheduleSettings, EncodesWithoutPresetOrAbsentQuietHoursAndDecodesEqual) {
  ScheduleSettings settings(Interval::everySixHours, ScheduleInterval(1320, 120), std::nullopt, true);
  QJsonObject json = settings.toJson();
  EXPECT_EQ(json.keys(), (QStringList{"intervalHours", "paused", "workingHours"}));
  EXPECT_EQ(json.value("intervalHours").toInteger(), 6);
  EXPECT_EQ(ScheduleSettings::fromJson(Json::parse(Json::serialize(json))), settings);

  const ScheduleSettings quiet(Interval::hourly, standard, ScheduleInterval(720, 780), false);
  EXPECT_EQ(ScheduleSettings::fromJson(Json::parse(Json::serialize(quiet.toJson()))), quiet);
  EXPECT_NE(quiet, settings);
}

TEST(ScheduleSettings, DecodingValidatesAsTheConstructorsDo) {
  const QByteArray badWindow =
      R"({"intervalHours":1,"workingHours":{"startMinute":600,"endMinute":600},"paused":false})";
  EXPECT_EQ(validationMessage([&] { ScheduleSettings::fromJson(Json::parse(badWindow)); }),
            invalidIntervalText);
  const QByteArray allQuiet = R"({"intervalHours":1,"workingHours":{"startMinute":540,"endMinute":1080},)"
                              R"("quietHours":{"startMinute":0,"endMinute":1440},"paused":false})";
  EXPECT_EQ(validationMessage([&] { ScheduleSettings::fromJson(Json::parse(allQuiet)); }),
            noEligibleTimeText);
  const QByteArray noPaused = R"({"intervalHours":1,"workingHours":{"startMinute":540,"endMinute":1080}})";
  EXPECT_THROW(ScheduleSettings::fromJson(Json::parse(noPaused)), JsonDecodingError);
}

TEST(ScheduleLedger, RecordsEachAutomaticPresentationOnceAndOnlyMovesLastPresentationForward) {
  const Calendar calendar = calendarIn("Europe/Berlin");
  const Date monday = localDate(calendar, "2026-06-15 11:00");
  ScheduleLedger ledger;
  EXPECT_FALSE(ledger.lastAutomaticPresentation());

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
  EXPECT_EQ(ledger.automaticPresentations().size(), 2u);
  EXPECT_EQ(ledger.automaticPresentations()[1].date, earlier);
  EXPECT_EQ(ledger.lastPresentation(), monday);
  EXPECT_EQ(ledger.lastAutomaticPresentation(), monday); // by date, not by position
  EXPECT_EQ(ledger.automaticCount(monday, calendar), 2);
}

TEST(ScheduleLedger, CountsADayByItsStampOrByWhereItsInstantFallsNow) {
  // Recorded in Tokyo at 01:00 on Tuesday, which is still Monday evening in Berlin.
  const Calendar tokyo = calendarIn("Asia/Tokyo");
  const Calendar berlin = calendarIn("Europe/Berlin");
  const Date travelled = localDate(tokyo, "2026-06-16 01:00");
  ScheduleLedger ledger;
  ledger.recordSuccessfulPresentation(travelled, true, tokyo);
  ledger.recordSuccessfulPresentation(localDate(berlin, "2026-06-15 09:00"), true, berlin);

  EXPECT_EQ(ledger.automaticCount(localDate(berlin, "2026-06-15 12:00"), berlin), 2); // by instant
  EXPECT_EQ(ledger.automaticCount(localDate(berlin, "2026-06-16 12:00"), berlin), 1); // by stamp
  EXPECT_EQ(ledger.automaticCount(localDate(berlin, "2026-06-17 12:00"), berlin), 0);
  EXPECT_EQ(ledger.automaticCount(localDate(tokyo, "2026-06-16 20:00"), tokyo), 1); // both match: once
}

TEST(ScheduleLedger, RoundTripsThroughJsonKeepingStoredDuplicates) {
  const Calendar calendar = calendarIn("America/New_York");
  ScheduleLedger empty;
  EXPECT_EQ(Json::serialize(empty.toJson()), QByteArray(R"({"automaticPresentations":[]})"));

  ScheduleLedger ledger;
  ledger.recordSuccessfulPresentation(localDate(calendar, "2026-06-15 09:00:00").addingSeconds(0.25), true,
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
  EXPECT_EQ(decodingProblem([&] { ScheduleLedger::fromJson(json, QStringLiteral("ledger")); }),
            "ledger.automaticPresentations[0].localDay | the key is missing");
  EXPECT_THROW(ScheduleLedger::fromJson(QJsonObject{}), JsonDecodingError);
}

} // namespace
