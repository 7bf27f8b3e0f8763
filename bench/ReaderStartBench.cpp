// A start of a reader with a large library: 10,000 drops installed and a cached account of
// 10,000 saved items whose credential is at hand, so that the cache is read. Timed from the
// launch function main() calls to the tray icon and the shown window, against the content
// repository alone loading from the same store, and the model alone in between.
#include "BenchmarkRunner.h"
#include "model/ReaderModelFixture.h"

#include "AsyncProbe.h"
#include "app/ReaderLaunch.h"

#include <QApplication>
#include <QSystemTrayIcon>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace brindlewick;

namespace {

constexpr int drops = 10000;
constexpr int items = 10000;

// Made once and never destroyed, so that its teardown stays out of every figure. The service
// refuses every sync: the start's own sync then ends at once instead of fetching the account
// again into the next run.
ReaderModelFixture& largeReader() {
  static ReaderModelFixture* fixture = [] {
    auto* made = new ReaderModelFixture(drops);
    made->signIn(ReaderModelFixture::readerPreferences(), items);
    made->harness().service().addFault("GET", QStringLiteral("/api/reader/me"),
                                       {.times = StandInFault::always, .status = 503});
    return made;
  }();
  return *fixture;
}

// Lets the start's sync come back, then ends the start, all off the clock.
void finish(benchmark::State& state, std::unique_ptr<ReaderModel> model,
            std::unique_ptr<ReaderAppDelegate> shell) {
  state.PauseTiming();
  if (model)
    waitUntil([&] { return !model->refreshing(); });
  flushEvents();
  shell.reset();
  model.reset();
  flushEvents();
  state.ResumeTiming();
}

void BM_RepositoryAlone(benchmark::State& state) {
  ReaderModelFixture& fixture = largeReader();
  for (auto _ : state) {
    std::optional<LocalStore> store(std::in_place, false, fixture.storeFile());
    std::optional<ContentRepository> repository(std::in_place, *store, QStringLiteral("1.0.0"), false);
    benchmark::DoNotOptimize(repository->release());
    state.PauseTiming();
    repository.reset();
    store.reset();
    state.ResumeTiming();
  }
}

void BM_ModelAlone(benchmark::State& state) {
  ReaderModelFixture& fixture = largeReader();
  for (auto _ : state) {
    const auto opened = startTask(ReaderModel::open(fixture.services()));
    waitUntilFinished(opened);
    if (!opened->value || !*opened->value || (*opened->value)->savedSnapshots().size() != items) {
      state.SkipWithError("the model did not open on the cached account");
      return;
    }
    finish(state, std::move(*opened->value), nullptr);
  }
}

void BM_LaunchToStatusItem(benchmark::State& state) {
  ReaderModelFixture& fixture = largeReader();
  ReaderAppDelegate::Options options;
  options.alert = [](const QString&, const QString&) {};
  for (auto _ : state) {
    ReaderLaunch launch = launchReader(fixture.services(), options);
    if (!launch.model || !launch.delegate->statusItem() || !launch.delegate->window()->isVisible()) {
      state.SkipWithError("the start did not reach its status item and window");
      return;
    }
    finish(state, std::move(launch.model), std::move(launch.delegate));
  }
  state.SetLabel(QSystemTrayIcon::isSystemTrayAvailable() ? "tray" : "no tray: to the shown window");
}

// Other work on the machine only ever adds time: the fastest of several runs is the one to
// compare (--benchmark_repetitions=10).
double fastest(const std::vector<double>& runs) {
  return *std::min_element(runs.begin(), runs.end());
}

BENCHMARK(BM_RepositoryAlone)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelAlone)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaunchToStatusItem)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return runBenchmarks<QApplication>(argc, argv);
}
