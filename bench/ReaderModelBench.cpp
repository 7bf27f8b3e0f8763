#include "BenchmarkRunner.h"
#include "model/ReaderModelFixture.h"

#include "AccountFixtures.h"
#include "account/AccountContracts.h"
#include "delivery/DeliveryEligibility.h"

#include <QApplication>
#include <QSet>

#include <algorithm>
#include <memory>
#include <vector>

using namespace brindlewick;

namespace {

// A signed-in reader with a year of automatic drops, one a day, in the ledger, at 09:00 on the
// day after: with no teaser up (before the catch-up check) or with the 09:00 drop up.
std::unique_ptr<ReaderModelFixture> readerWithAYear(benchmark::State& state) {
  auto fixture = std::make_unique<ReaderModelFixture>();
  ScheduleLedger ledger;
  const Calendar calendar = fixture->calendar();
  for (int day = 365; day >= 1; --day)
    ledger.recordSuccessfulPresentation(*calendar.addingDays(fixture->now(), -day), true, calendar);
  LocalStore(false, fixture->storeFile()).save(ledger, QStringLiteral("ledger"));
  fixture->signIn();
  ReaderModel& model = fixture->open();
  const bool teaser = state.range(0) == 1;
  if (teaser)
    fixture->advance(3.2);
  if (model.teaserPanel().panel().isVisible() != teaser)
    state.SkipWithError("the teaser is not as asked");
  state.SetLabel(teaser ? "teaser up" : "no teaser");
  return fixture;
}

// What the model re-plans against at each application switch, alone.
void BM_NextOpportunityAlone(benchmark::State& state) {
  const auto fixture = readerWithAYear(state);
  ReaderModel& model = fixture->model();
  const Calendar calendar = fixture->calendar();
  for (auto _ : state)
    benchmark::DoNotOptimize(SchedulePlanner::nextOpportunity(
        fixture->now(), model.preferences().value().schedule, model.repository().ledger(), calendar));
}

// The whole re-plan: the teaser brought in line, the gates, the plan, the delivery wait, and
// whatever the event loop is handed.
void BM_Reschedule(benchmark::State& state) {
  const auto fixture = readerWithAYear(state);
  ReaderModel& model = fixture->model();
  for (auto _ : state) {
    model.reschedule();
    QCoreApplication::sendPostedEvents();
  }
}

// A thousand drops, about half of them among the account's `items` saved ones.
QList<DropSnapshot> isSavedProbes(qint64 items) {
  QList<DropSnapshot> probes;
  for (int i = 0; i < 1000; ++i)
    probes.append(AccountFixtures::snapshot(i * 7919 % (2 * items)));
  return probes;
}

// isSaved on an account of `items` saved drops, against a bare set of their ids.
void BM_IsSaved(benchmark::State& state) {
  ReaderModelFixture fixture(1);
  fixture.signIn(ReaderModelFixture::readerPreferences(), int(state.range(0)));
  ReaderModel& model = fixture.open();
  const QList<DropSnapshot> probes = isSavedProbes(state.range(0));
  for (auto _ : state)
    for (const DropSnapshot& probe : probes)
      benchmark::DoNotOptimize(model.isSaved(probe));
  state.counters["items"] = double(state.range(0));
}

void BM_IsSavedBareSet(benchmark::State& state) {
  QSet<QString> ids;
  for (int i = 0; i < state.range(0); ++i)
    ids.insert(AccountFixtures::snapshot(i).id());
  const QList<DropSnapshot> probes = isSavedProbes(state.range(0));
  for (auto _ : state)
    for (const DropSnapshot& probe : probes)
      benchmark::DoNotOptimize(ids.contains(probe.id()));
  state.counters["items"] = double(state.range(0));
}

// Other work on the machine only ever adds time: the fastest of several runs is the one to compare
// (--benchmark_repetitions=10).
double fastest(const std::vector<double>& runs) {
  return *std::min_element(runs.begin(), runs.end());
}

BENCHMARK(BM_NextOpportunityAlone)
    ->Arg(0)
    ->Arg(1)
    ->ComputeStatistics("min", fastest)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reschedule)->Arg(0)->Arg(1)->ComputeStatistics("min", fastest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsSaved)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsSavedBareSet)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return runBenchmarks<QApplication>(argc, argv);
}
