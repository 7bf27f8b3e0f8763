#pragma once

#include "delivery/Calendar.h"
#include "delivery/Scheduling.h"
#include "foundation/Date.h"

#include <optional>
#include <utility>

namespace brindlewick {

// Turns the reader's schedule and the presentation ledger into instants in the reader's
// calendar: when the next automatic drop is due, whether one fell due and was not taken,
// and whether one may be shown now. Every answer depends only on the arguments; the
// current time is read only by the instance form of nextOpportunity, through `now`.
class SchedulePlanner {
public:
  explicit SchedulePlanner(NowSource now) : m_now(std::move(now)) {}

  // The earliest slot instant strictly after `after` and strictly after the latest automatic
  // presentation, on a day that has not yet had its daily maximum. None when paused, when
  // `after` is not finite, or when nothing is found within 2 × (recorded automatic
  // presentations) + 8 days.
  static std::optional<Date> nextOpportunity(Date after, const ScheduleSettings& settings,
                                             const ScheduleLedger& ledger, const Calendar& calendar);
  std::optional<Date> nextOpportunity(const ScheduleSettings& settings, const ScheduleLedger& ledger,
                                      const Calendar& calendar) const {
    return nextOpportunity(m_now(), settings, ledger, calendar);
  }

  // The opportunity due within the last interval before `at` (the next one after
  // `at` − spacing, when it is not later than `at`). Only the latest missed slot is ever
  // offered, so drops missed during sleep are not delivered one after another.
  static std::optional<Date> missedOpportunity(Date at, const ScheduleSettings& settings,
                                               const ScheduleLedger& ledger, const Calendar& calendar);

  // Inside eligible time, not paused, the day has room, and a slot fell due within the last
  // interval after the last automatic presentation.
  static bool canPresent(Date at, const ScheduleSettings& settings, const ScheduleLedger& ledger,
                         const Calendar& calendar);

private:
  NowSource m_now;
};

} // namespace brindlewick
