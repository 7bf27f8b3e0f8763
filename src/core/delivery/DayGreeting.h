#pragma once

#include "delivery/Calendar.h"
#include "foundation/Date.h"

#include <QString>

#include <optional>

namespace brindlewick {

// The greeting that heads the welcome page, chosen by the hour of the day: morning from
// 05:00, afternoon from 12:00, evening from 18:00 until 04:59.
class DayGreeting {
public:
  enum class Case { morning, afternoon, evening };

  // The greeting for `date` on `calendar`'s clock. A date without calendar values (not
  // finite, or outside the calendar's years) gives the evening.
  DayGreeting(Date date, const Calendar& calendar);
  explicit DayGreeting(Case greetingCase) : m_case(greetingCase) {}

  // The case whose text is exactly `raw`, code unit for code unit: an added or missing
  // emoji presentation selector makes a different text.
  static std::optional<DayGreeting> fromRaw(const QString& raw);

  Case greetingCase() const { return m_case; }
  // The text shown, its emoji included.
  QString rawValue() const;

  friend bool operator==(const DayGreeting&, const DayGreeting&) = default;

private:
  Case m_case;
};

} // namespace brindlewick
