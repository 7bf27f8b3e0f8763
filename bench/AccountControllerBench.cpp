// The account controller's two hot paths against their baselines, measured in the same runs:
// start-up with the largest account cache (10,000 items, just under 20 MiB) against plain
// QJsonDocument parsing of the same bytes, and a list view's pattern of reading `saved` and
// asking isSaved() per row against QHash::contains. Also the first `saved` read after the
// items changed, when the sorted lists are rebuilt.
#include "AccountFixtures.h"
#include "BenchmarkRunner.h"
#include "InMemorySecureStorage.h"
#include "VirtualDelayScheduler.h"
#include "account/AccountController.h"
#include "service/NativeAPIClient.h"

#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace brindlewick {

struct AccountControllerTestAccess {
  static void apply(AccountController& controller, AccountCache cache) { controller.apply(std::move(cache)); }
};

} // namespace brindlewick

using namespace brindlewick;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int itemCount = 10000;
const Date confirmedAt = *AccountCoding::parseDate(QStringLiteral("2026-03-01T10:00:00Z"));

// A stored account of 10,000 items whose record is as close under 20 MiB as whole letters of
// padding per item allow.
struct LargeAccount {
  QTemporaryDir folder;
  std::unique_ptr<LocalStore> store;
  InMemorySecureStorage storage;
  VirtualDelayScheduler scheduler;
  NativeAPIClient transport{std::nullopt};
  std::optional<QUrl> baseURL = QUrl(QStringLiteral("https://reading.example/"));
  AccountCache cache;
  QByteArray record;

  LargeAccount()
      : store(std::make_unique<LocalStore>(false, folder.filePath(QStringLiteral("Brindlewick.store")))) {
    const qsizetype natural = AccountFixtures::cache(confirmedAt, itemCount).toJson().size();
    const qsizetype padding = (AccountCoding::maximumCacheBytes - natural) / itemCount;
    cache = AccountFixtures::cache(confirmedAt, itemCount, AccountFixtures::token, padding);
    record = cache.toJson();
    if (record.size() > AccountCoding::maximumCacheBytes)
      throw std::logic_error("the record is over the limit");
    store->commit({{AccountKeys::cacheKey(baseURL, cache.me.user.id, cache.sessionID), record}}, {});
  }

  std::unique_ptr<AccountController> open() {
    AccountController::Services services{
        transport, storage, *store, baseURL, [] { return confirmedAt; }, QStringLiteral("1.0.0"), scheduler};
    auto controller = std::make_unique<AccountController>(services, AccountFixtures::credential());
    if (!controller->cache())
      throw std::logic_error("the stored account was not accepted");
    return controller;
  }
};

LargeAccount& account() {
  static LargeAccount large;
  return large;
}

void StartUpOverParse(benchmark::State& state) {
  LargeAccount& large = account();
  Clock::duration parse{};
  Clock::duration startUp{};
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(QJsonDocument::fromJson(large.record));
    const auto parsed = Clock::now();
    benchmark::DoNotOptimize(large.open());
    startUp += Clock::now() - parsed;
    parse += parsed - start;
  }
  state.counters["parse_ms"] =
      std::chrono::duration<double, std::milli>(parse).count() / double(state.iterations());
  state.counters["startup_ms"] =
      std::chrono::duration<double, std::milli>(startUp).count() / double(state.iterations());
  state.counters["startup/parse"] = double(startUp.count()) / double(parse.count());
  state.SetLabel(QStringLiteral("%1 bytes, %2 items").arg(large.record.size()).arg(itemCount).toStdString());
}

// 1,000 rows: the view reads `saved` (as a list model does on each change notification) and
// asks whether the row's drop is saved, against the same lookups in a QHash.
void IsSavedOverHashLookup(benchmark::State& state) {
  const auto controller = account().open();
  QHash<QString, quint8> hash;
  QStringList ids;
  for (const AccountItem& item : controller->items()) {
    hash.insert(item.loreId, 1);
    if (ids.size() < 1000)
      ids.append(item.loreId);
  }
  controller->saved(); // built once, as the first read after a change does
  Clock::duration lookups{};
  Clock::duration controllerReads{};
  qsizetype found = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    for (const QString& id : ids)
      found += hash.contains(id);
    const auto looked = Clock::now();
    for (const QString& id : ids) {
      found += controller->saved().size() > 0;
      found += controller->isSaved(id);
    }
    controllerReads += Clock::now() - looked;
    lookups += looked - start;
  }
  benchmark::DoNotOptimize(found);
  state.counters["isSaved/contains"] = double(controllerReads.count()) / double(lookups.count());
}

// The first `saved` read after `items` changed: the filter, stable sort and snapshot copies.
void FirstSavedReadAfterChange(benchmark::State& state) {
  LargeAccount& large = account();
  const auto controller = large.open();
  AccountCache other = large.cache;
  other.items.removeLast();
  bool flip = false;
  for (auto _ : state) {
    state.PauseTiming();
    AccountControllerTestAccess::apply(*controller, flip ? large.cache : other);
    flip = !flip;
    state.ResumeTiming();
    benchmark::DoNotOptimize(controller->saved().size());
  }
}

BENCHMARK(StartUpOverParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(IsSavedOverHashLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(FirstSavedReadAfterChange)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [] { account(); });
}
