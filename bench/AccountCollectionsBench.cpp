// One saved flag toggled on an account of 10,000 items (a cache record of about 15 MiB)
// through the stand-in service over loopback TLS: the controller's change (the request through
// its gate, the reply checked, the whole cache validated, encoded and written to the store
// file, then published) against, in the same run, a bare QJsonDocument::toJson of the same
// cache plus one raw SQLite write of a blob of that size. The toggled item stays loved, so the
// cache keeps its 10,000 items.
#include "AccountFixtures.h"
#include "BenchmarkRunner.h"
#include "InMemorySecureStorage.h"
#include "StandInAccount.h"
#include "StandInLargeAccount.h"
#include "foundation/Json.h"

#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace brindlewick;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int itemCount = StandInLargeAccount::itemCount;
constexpr qint64 cacheBytes = 15 * 1024 * 1024;

// The account, fetched once so that every toggle works on a full cache.
struct LargeAccount : StandInLargeAccount {
  LargeAccount() : StandInLargeAccount(cacheBytes, true) { QCoro::waitFor(controller->refresh()); }
};

LargeAccount& large() {
  static LargeAccount* instance = new LargeAccount;
  return *instance;
}

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

// A store file of the local store's shape and settings, written with SQLite's C API.
struct RawStore {
  QTemporaryDir folder;
  sqlite3* db = nullptr;
  sqlite3_stmt* upsert = nullptr;

  RawStore() {
    check(sqlite3_open(folder.filePath(QStringLiteral("raw.store")).toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), db);
    check(sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr), db);
    check(sqlite3_exec(db, "CREATE TABLE records (key TEXT PRIMARY KEY, payload BLOB NOT NULL)", nullptr,
                       nullptr, nullptr),
          db);
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO records (key, payload) VALUES ('account', ?1) "
                             "ON CONFLICT (key) DO UPDATE SET payload = excluded.payload",
                             -1, &upsert, nullptr),
          db);
  }
  ~RawStore() {
    sqlite3_finalize(upsert);
    sqlite3_close(db);
  }
  void write(const QByteArray& blob) {
    check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
    sqlite3_bind_blob(upsert, 1, blob.constData(), int(blob.size()), SQLITE_STATIC);
    check(sqlite3_step(upsert), db);
    sqlite3_reset(upsert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
  }
};

void ToggleOverBareEncodeAndWrite(benchmark::State& state) {
  LargeAccount& account = large();
  AccountController& controller = *account.controller;
  const DropSnapshot toggled = controller.items().first().snapshot;
  const QJsonDocument document = QJsonDocument::fromJson(controller.cache()->toJson());
  RawStore raw;
  Clock::duration bare{};
  Clock::duration toggle{};
  qint64 bytes = 0;
  bool saved = controller.isSaved(toggled.lore.id);
  for (auto _ : state) {
    const auto start = Clock::now();
    const QByteArray encoded = document.toJson(QJsonDocument::Compact);
    raw.write(encoded);
    const auto written = Clock::now();
    saved = !saved;
    QCoro::waitFor(controller.setSaved(saved, toggled));
    toggle += Clock::now() - written;
    bare += written - start;
    bytes = encoded.size();
    if (controller.items().size() != itemCount || controller.isSaved(toggled.lore.id) != saved) {
      state.SkipWithError("the change was not applied");
      break;
    }
  }
  state.counters["bare_ms"] =
      std::chrono::duration<double, std::milli>(bare).count() / double(state.iterations());
  state.counters["toggle_ms"] =
      std::chrono::duration<double, std::milli>(toggle).count() / double(state.iterations());
  state.counters["toggle/bare"] = double(toggle.count()) / double(bare.count());
  state.SetLabel(QStringLiteral("%1 bytes, %2 items").arg(bytes).arg(itemCount).toStdString());
}

BENCHMARK(ToggleOverBareEncodeAndWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

} // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [] { large(); });
}
