#include "delivery/DeliveryEligibility.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

std::optional<Date> SchedulePlanner::nextOpportunity(Date after, const ScheduleSettings& settings,
                                                     const ScheduleLedger& ledger, const Calendar& calendar) {
  if (settings.paused() || !std::isfinite(after.secondsSinceReference()))
    return std::nullopt;
  const Date floor = ledger.lastAutomaticPresentation().value_or(Date::distantPast());
  auto day = calendar.startOfDay(std::max(after, floor));
  if (!day)
    return std::nullopt;

  const QList<qint64> slots = settings.opportunityMinutes();
  const qint64 dailyMaximum = slots.size();
  const qint64 bound = 2 * qint64(ledger.automaticPresentations().size()) + 8;
  for (qint64 examined = 0; examined < bound; ++examined) {
    if (ledger.automaticCount(*day, calendar) < dailyMaximum) {
      const Date searchFrom = day->addingSeconds(-1);
      for (qint64 slot : slots) {
        const auto instant = calendar.nextDate(searchFrom, int(slot / 60), int(slot % 60), 0);
        if (instant && calendar.isSameDay(*instant, *day) && *instant > after && *instant > floor)
          return instant;
      }
    }
    const auto following = calendar.addingDays(*day, 1);
    if (!following || *following <= *day)
      return std::nullopt;
    day = calendar.startOfDay(*following);
    if (!day)
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<Date> SchedulePlanner::missedOpportunity(Date at, const ScheduleSettings& settings,
                                                       const ScheduleLedger& ledger,
                                                       const Calendar& calendar) {
  const double spacing = double(ScheduleSettings::spacingSeconds(settings.interval()));
  const auto next = nextOpportunity(at.addingSeconds(-spacing), settings, ledger, calendar);
  if (next && *next <= at)
    return next;
  return std::nullopt;
}

bool SchedulePlanner::canPresent(Date at, const ScheduleSettings& settings, const ScheduleLedger& ledger,
                                 const Calendar& calendar) {
  const auto clock = calendar.timeOfDay(at);
  if (!clock || settings.paused())
    return false;
  const qint64 minute = 60 * clock->hour + clock->minute;
  if (minute >= 1440 || !settings.isEligible(minute))
    return false;
  if (ledger.automaticCount(at, calendar) >= settings.dailyMaximum())
    return false;
  return missedOpportunity(at, settings, ledger, calendar).has_value();
}

} // namespace brindlewick
