#include "CalendarFixtures.h"
#include "delivery/DeliveryEligibility.h"

#include <benchmark/benchmark.h>

using namespace brindlewick;

namespace {

// nextOpportunity against a ledger holding `years` of one automatic drop a day (the ledger
// is never pruned), asked the morning after the last one. Years 0 is the baseline.
void BM_NextOpportunity(benchmark::State& state) {
  const Calendar calendar(QTimeZone("Europe/Berlin"));
  const ScheduleSettings settings(ScheduleSettings::Interval::everyTwoHours,
                                  ScheduleInterval::standardWorkingHours(), std::nullopt, false);
  const Date after = testing::localDate(calendar, QStringLiteral("2026-06-15 10:15"));
  ScheduleLedger ledger;
  for (qint64 day = state.range(0) * 365; day >= 1; --day)
    ledger.recordSuccessfulPresentation(*calendar.addingDays(after, -int(day)), true, calendar);
  for (auto _ : state)
    benchmark::DoNotOptimize(SchedulePlanner::nextOpportunity(after, settings, ledger, calendar));
  state.counters["entries"] = double(ledger.automaticPresentations().size());
}

BENCHMARK(BM_NextOpportunity)->Arg(0)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_CanPresent(benchmark::State& state) {
  const Calendar calendar(QTimeZone("Europe/Berlin"));
  const ScheduleSettings settings(ScheduleSettings::Interval::hourly,
                                  ScheduleInterval::standardWorkingHours(), std::nullopt, false);
  const Date at = testing::localDate(calendar, QStringLiteral("2026-06-15 10:15"));
  ScheduleLedger ledger;
  for (qint64 day = state.range(0) * 365; day >= 1; --day)
    ledger.recordSuccessfulPresentation(*calendar.addingDays(at, -int(day)), true, calendar);
  for (auto _ : state)
    benchmark::DoNotOptimize(SchedulePlanner::canPresent(at, settings, ledger, calendar));
}

BENCHMARK(BM_CanPresent)->Arg(0)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
