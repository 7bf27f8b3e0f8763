#include "delivery/DayGreeting.h"

#include <array>

namespace brindlewick {

namespace {

constexpr std::array<DayGreeting::Case, 3> greetingCases{
    DayGreeting::Case::morning, DayGreeting::Case::afternoon, DayGreeting::Case::evening};

} // namespace

DayGreeting::DayGreeting(Date date, const Calendar& calendar) : m_case(Case::evening) {
  const std::optional<Calendar::TimeOfDay> time = calendar.timeOfDay(date);
  if (!time)
    return;
  if (time->hour >= 5 && time->hour <= 11)
    m_case = Case::morning;
  else if (time->hour >= 12 && time->hour <= 17)
    m_case = Case::afternoon;
}

std::optional<DayGreeting> DayGreeting::fromRaw(const QString& raw) {
  for (Case greetingCase : greetingCases) {
    const DayGreeting greeting(greetingCase);
    if (greeting.rawValue() == raw)
      return greeting;
  }
  return std::nullopt;
}

QString DayGreeting::rawValue() const {
  // Written with escapes: editors and tools tend to drop the invisible presentation selector
  // (U+FE0F) that asks for the colour emoji.
  switch (m_case) {
  case Case::morning: return QString::fromUtf16(u"Good morning \u2600\uFE0F");
  case Case::afternoon: return QString::fromUtf16(u"Good afternoon \U0001F324\uFE0F");
  case Case::evening: return QString::fromUtf16(u"Good evening \U0001F319");
  }
  return {};
}

} // namespace brindlewick
