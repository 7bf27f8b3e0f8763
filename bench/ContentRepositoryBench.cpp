// The content repository against its baselines, on generated releases of 10000 drops (the
// most a release may hold), padded to the largest accepted body:
// - install (validation and one batch commit) against validateRelease plus one plain store
//   commit of the same bytes; InstallOverBaseline times both in the same iterations;
// - construction from a filled store against decodeRelease of the stored bytes alone;
// - select among 1000 to 10000 drops with a history of 1000 entries, against one pass that
//   only looks each drop up in a hash (the floor of any selection that reads the maps).
#include "BenchmarkRunner.h"
#include "ReleaseGenerator.h"
#include "content/ContentRepository.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

using namespace brindlewick;

namespace {

const QString appVersion = QStringLiteral("1.0.0");

// Two different releases of the maximum size, so that every install really replaces one.
const GeneratedRelease& release(int which) {
  static const GeneratedRelease releases[2] = {[] {
                                                 ReleaseShape shape;
                                                 shape.targetBytes = ContractValidation::maximumReleaseBytes;
                                                 return generateRelease(10000, shape);
                                               }(),
                                               [] {
                                                 ReleaseShape shape;
                                                 shape.targetBytes = ContractValidation::maximumReleaseBytes;
                                                 shape.seed = 2;
                                                 shape.releaseId =
                                                     QStringLiteral("0a3f6a2e-5c1d-4e8f-9a0b-1c2d3e4f5a6c");
                                                 return generateRelease(10000, shape);
                                               }()};
  return releases[which];
}

void label(benchmark::State& state) {
  state.SetLabel(QStringLiteral("%1 bytes, %2 drops")
                     .arg(release(0).body.size())
                     .arg(release(0).release.lore.size())
                     .toStdString());
}

struct FileStore {
  QTemporaryDir folder;
  LocalStore store{false, folder.filePath(QStringLiteral("Brindlewick.store"))};
};

void Install(benchmark::State& state) {
  FileStore files;
  ContentRepository repository(files.store, appVersion, false);
  int next = 0;
  for (auto _ : state) {
    const GeneratedRelease& generated = release(next);
    repository.install(generated.body, generated.manifest, QStringLiteral("\"etag\""), Date(next));
    next = 1 - next;
  }
  label(state);
}

void ValidateAndCommit(benchmark::State& state) {
  FileStore files;
  int next = 0;
  for (auto _ : state) {
    const GeneratedRelease& generated = release(next);
    benchmark::DoNotOptimize(
        ContractValidation::validateRelease(generated.body, generated.manifest, appVersion));
    files.store.commit({{QStringLiteral("release"), generated.body}}, {});
    next = 1 - next;
  }
  label(state);
}

void InstallOverBaseline(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  FileStore installed;
  FileStore plain;
  ContentRepository repository(installed.store, appVersion, false);
  Clock::duration install{};
  Clock::duration baseline{};
  int next = 0;
  for (auto _ : state) {
    const GeneratedRelease& generated = release(next);
    const auto start = Clock::now();
    benchmark::DoNotOptimize(
        ContractValidation::validateRelease(generated.body, generated.manifest, appVersion));
    plain.store.commit({{QStringLiteral("release"), generated.body}}, {});
    const auto middle = Clock::now();
    repository.install(generated.body, generated.manifest, QStringLiteral("\"etag\""), Date(next));
    install += Clock::now() - middle;
    baseline += middle - start;
    next = 1 - next;
  }
  state.counters["install/baseline"] = double(install.count()) / double(baseline.count());
  label(state);
}

// A store as a reader's would look after a while: the release with its manifest, arrivals
// and withdrawals, a history of 1000 shows with their last-shown dates, and the ledger.
void fill(LocalStore& store, const GeneratedRelease& generated, int shows) {
  ContentRepository repository(store, appVersion, false);
  repository.install(generated.body, generated.manifest, QStringLiteral("\"etag\""), Date(0));
  QMap<QString, QByteArray> records;
  QMap<QString, Date> seen;
  ScheduleLedger ledger;
  const Calendar calendar(QTimeZone::utc());
  for (int i = 0; i < shows; ++i) {
    const Drop& drop = generated.release.lore[i * 7 % generated.release.lore.size()];
    const DropSnapshot snapshot(drop, generated.release);
    const QString id = QStringLiteral("impression-%1").arg(i);
    const Date at(1000.0 + 3600.0 * i);
    records.insert(QStringLiteral("history/") + id,
                   Json::serialize(HistoryEntry{id, snapshot, at, true}.toJson()));
    seen.insert(drop.id, at);
    ledger.recordSuccessfulPresentation(at, true, calendar);
  }
  records.insert(QStringLiteral("seen"), Json::serialize(JsonCoding<QMap<QString, Date>>::encode(seen)));
  records.insert(QStringLiteral("ledger"), Json::serialize(ledger.toJson()));
  store.commit(records, {});
}

void Construct(benchmark::State& state) {
  FileStore files;
  fill(files.store, release(0), 1000);
  for (auto _ : state)
    benchmark::DoNotOptimize(std::make_unique<ContentRepository>(files.store, appVersion, false));
  label(state);
}

void DecodeStoredRelease(benchmark::State& state) {
  FileStore files;
  fill(files.store, release(0), 1000);
  const QByteArray stored = *files.store.data(QStringLiteral("release"));
  for (auto _ : state)
    benchmark::DoNotOptimize(ContractValidation::decodeRelease(stored, false, appVersion));
  label(state);
}

// Selection needs no padding: its cost depends on the number of drops, not their text.
const GeneratedRelease& selectionRelease(int drops) {
  static std::map<int, GeneratedRelease> releases;
  auto it = releases.find(drops);
  if (it == releases.end())
    it = releases.emplace(drops, generateRelease(drops)).first;
  return it->second;
}

struct SelectionSetup {
  LocalStore store{true};
  std::unique_ptr<ContentRepository> repository;

  explicit SelectionSetup(int drops) {
    fill(store, selectionRelease(drops), 1000);
    repository = std::make_unique<ContentRepository>(store, appVersion, false);
  }
};

void Select(benchmark::State& state) {
  SelectionSetup setup(int(state.range(0)));
  ReaderPreferences preferences; // surprise-me: every drop is a candidate
  const RandomSource random = [] { return 0.5; };
  for (auto _ : state)
    benchmark::DoNotOptimize(setup.repository->select(preferences, std::nullopt, std::nullopt, random));
  state.SetComplexityN(state.range(0));
}

// One hash lookup per drop: what any choice that reads the repository's maps must pay.
void LookupPerDrop(benchmark::State& state) {
  SelectionSetup setup(int(state.range(0)));
  const QList<Drop>& lore = setup.repository->release()->lore;
  const QHash<QString, Date>& seen = setup.repository->seen();
  for (auto _ : state) {
    qsizetype found = 0;
    for (const Drop& drop : lore)
      found += seen.contains(drop.id) ? 1 : 0;
    benchmark::DoNotOptimize(found);
  }
  state.SetComplexityN(state.range(0));
}

BENCHMARK(Install)->Unit(benchmark::kMillisecond);
BENCHMARK(ValidateAndCommit)->Unit(benchmark::kMillisecond);
BENCHMARK(InstallOverBaseline)->MinTime(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Construct)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeStoredRelease)->Unit(benchmark::kMillisecond);
BENCHMARK(Select)
    ->RangeMultiplier(10)
    ->Range(1000, 10000)
    ->Arg(5000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(LookupPerDrop)
    ->RangeMultiplier(10)
    ->Range(1000, 10000)
    ->Arg(5000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  return brindlewick::runBenchmarks(argc, argv, [] { release(0); }); // generated outside the timed loops
}
