#include "CalendarFixtures.h"
#include "delivery/DayGreeting.h"

#include <gtest/gtest.h>

#include <limits>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

using Case = DayGreeting::Case;

TEST(DayGreeting, TheHourOnTheCalendarsClockChoosesTheGreeting) {
  const Calendar tokyo = calendarIn("Asia/Tokyo");
  const struct {
    const char* local;
    Case expected;
  } cases[] = {
      {"2026-06-15 04:59", Case::evening},   {"2026-06-15 05:00", Case::morning},
      {"2026-06-15 11:59", Case::morning},   {"2026-06-15 12:00", Case::afternoon},
      {"2026-06-15 17:59", Case::afternoon}, {"2026-06-15 18:00", Case::evening},
      {"2026-06-15 00:00", Case::evening},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DayGreeting(localDate(tokyo, c.local), tokyo).greetingCase(), c.expected) << c.local;

  // One instant, two clocks: 03:00 UTC is noon in Tokyo and the previous evening in New York.
  const Date instant = utcDate("2026-06-15 03:00");
  EXPECT_EQ(DayGreeting(instant, tokyo).greetingCase(), Case::afternoon);
  EXPECT_EQ(DayGreeting(instant, calendarIn("America/New_York")).greetingCase(), Case::evening);
  EXPECT_EQ(DayGreeting(Date(std::numeric_limits<double>::quiet_NaN()), tokyo).greetingCase(), Case::evening);
}

TEST(DayGreeting, TextsKeepTheirSelectorsAndOnlyTheExactTextNamesACase) {
  const struct {
    Case greetingCase;
    qsizetype utf8Length;
  } cases[] = {{Case::morning, 19}, {Case::afternoon, 22}, {Case::evening, 17}};
  for (const auto& c : cases) {
    const QString raw = DayGreeting(c.greetingCase).rawValue();
    EXPECT_EQ(raw.toUtf8().size(), c.utf8Length) << raw.toStdString();
    EXPECT_EQ(DayGreeting::fromRaw(raw), DayGreeting(c.greetingCase));
  }
  const QChar selector(0xFE0F);
  const QString morning = DayGreeting(Case::morning).rawValue();
  EXPECT_EQ(DayGreeting::fromRaw(DayGreeting(Case::evening).rawValue() + selector), std::nullopt);
  EXPECT_EQ(DayGreeting::fromRaw(morning.chopped(1)), std::nullopt);
}

} // namespace
