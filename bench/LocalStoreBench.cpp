// The local store against SQLite used directly, doing the same work in the same run:
//  - one batch of 10000 small records committed to a fresh store file;
//  - entries() over a prefix of 10000 keys among 100000, decoded into records.
// Baselines: the SQLite C API, and plain QSqlQuery (bound by position, as it is usually
// written) without the store around it. All use the same file settings (WAL,
// synchronous=FULL), the same table and the same statements; the target is 1.3x the C API.

#include "BenchmarkRunner.h"
#include "content/LocalStore.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <memory>
#include <vector>

using namespace brindlewick;

namespace {

constexpr int batchSize = 10000;
constexpr int prefixCount = 10;
constexpr int keysPerPrefix = 10000;

const char* const createTable =
    "CREATE TABLE IF NOT EXISTS records (key TEXT PRIMARY KEY NOT NULL, payload BLOB NOT NULL)";
const char* const upsert = "INSERT INTO records (key, payload) VALUES (?, ?) ON CONFLICT (key) DO UPDATE SET "
                           "payload = excluded.payload";
const char* const selectRange = "SELECT key, payload FROM records WHERE key >= ? AND key < CAST(? AS TEXT)";

// A small record like the store's maps and markers.
struct Mark {
  QString id;
  Date at;
  static Mark fromJson(const QJsonValue& json) {
    const JsonObjectReader reader(Json::toObject(json, {}));
    return {reader.string(u"id"), reader.date(u"at")};
  }
  QJsonValue toJson() const { return QJsonObject{{"id", id}, {"at", at.toJson()}}; }
};

QByteArray payload(int i) {
  return Json::serialize(Mark{QStringLiteral("drop-%1").arg(i), Date(800000000.0 + i)}.toJson());
}

QMap<QString, QByteArray> batch(const QString& prefix, int count) {
  QMap<QString, QByteArray> records;
  for (int i = 0; i < count; ++i)
    records.insert(prefix + QStringLiteral("drop-%1").arg(i, 6, 10, QLatin1Char('0')), payload(i));
  return records;
}

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

sqlite3* openRaw(const QString& path) {
  sqlite3* db = nullptr;
  check(sqlite3_open(path.toUtf8().constData(), &db), db);
  check(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), db);
  check(sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr), db);
  check(sqlite3_exec(db, createTable, nullptr, nullptr, nullptr), db);
  return db;
}

void rawCommit(sqlite3* db, sqlite3_stmt* statement, const QMap<QString, QByteArray>& records) {
  check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
  for (auto it = records.begin(); it != records.end(); ++it) {
    sqlite3_bind_text16(statement, 1, it.key().utf16(), static_cast<int>(it.key().size() * 2), SQLITE_STATIC);
    sqlite3_bind_blob(statement, 2, it.value().constData(), static_cast<int>(it.value().size()),
                      SQLITE_STATIC);
    check(sqlite3_step(statement), db);
    sqlite3_reset(statement);
  }
  check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
}

void BM_CommitBatch_LocalStore(benchmark::State& state) {
  const QMap<QString, QByteArray> records = batch(QStringLiteral("saved/"), batchSize);
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir folder;
    auto store = std::make_unique<LocalStore>(false, folder.filePath(QStringLiteral("bench.store")));
    state.ResumeTiming();
    store->commit(records, {});
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
}

void BM_CommitBatch_RawSqlite(benchmark::State& state) {
  const QMap<QString, QByteArray> records = batch(QStringLiteral("saved/"), batchSize);
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir folder;
    sqlite3* db = openRaw(folder.filePath(QStringLiteral("bench.store")));
    sqlite3_stmt* statement = nullptr;
    check(sqlite3_prepare_v2(db, upsert, -1, &statement, nullptr), db);
    state.ResumeTiming();
    rawCommit(db, statement, records);
    state.PauseTiming();
    sqlite3_finalize(statement);
    sqlite3_close(db);
    state.ResumeTiming();
  }
}

void BM_CommitBatch_PlainQSqlQuery(benchmark::State& state) {
  const QMap<QString, QByteArray> records = batch(QStringLiteral("saved/"), batchSize);
  for (auto _ : state) {
    state.PauseTiming();
    QTemporaryDir folder;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
      db.setDatabaseName(folder.filePath(QStringLiteral("bench.store")));
      db.open();
      QSqlQuery setup(db);
      setup.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
      setup.exec(QStringLiteral("PRAGMA synchronous=FULL"));
      setup.exec(QString::fromLatin1(createTable));
      QSqlQuery insert(db);
      insert.prepare(QString::fromLatin1(upsert));
      state.ResumeTiming();
      setup.exec(QStringLiteral("BEGIN IMMEDIATE"));
      for (auto it = records.begin(); it != records.end(); ++it) {
        insert.bindValue(0, it.key());
        insert.bindValue(1, it.value());
        insert.exec();
      }
      setup.exec(QStringLiteral("COMMIT"));
      state.PauseTiming();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plain"));
    state.ResumeTiming();
  }
}

// 100000 keys under ten prefixes, written once and shared by the entries benchmarks.
QString populatedStore() {
  static QTemporaryDir folder;
  static const QString path = [] {
    const QString file = folder.filePath(QStringLiteral("entries.store"));
    LocalStore store(false, file);
    for (int p = 0; p < prefixCount; ++p)
      store.commit(batch(QStringLiteral("folder%1/").arg(p), keysPerPrefix), {});
    return file;
  }();
  return path;
}

const QString wantedPrefix = QStringLiteral("folder5/");

void BM_EntriesPrefix_LocalStore(benchmark::State& state) {
  LocalStore store(false, populatedStore());
  for (auto _ : state) {
    auto entries = store.entries<Mark>(wantedPrefix);
    if (entries.size() != keysPerPrefix)
      state.SkipWithError("wrong number of entries");
    benchmark::DoNotOptimize(entries);
  }
}

void BM_EntriesPrefix_RawSqlite(benchmark::State& state) {
  sqlite3* db = openRaw(populatedStore());
  sqlite3_stmt* statement = nullptr;
  check(sqlite3_prepare_v2(db, selectRange, -1, &statement, nullptr), db);
  const QByteArray lower = wantedPrefix.toUtf8();
  QByteArray upper = lower;
  upper.back() = static_cast<char>(upper.back() + 1);
  for (auto _ : state) {
    sqlite3_bind_text(statement, 1, lower.constData(), static_cast<int>(lower.size()), SQLITE_STATIC);
    sqlite3_bind_blob(statement, 2, upper.constData(), static_cast<int>(upper.size()), SQLITE_STATIC);
    std::vector<std::pair<QString, QByteArray>> rows;
    while (sqlite3_step(statement) == SQLITE_ROW)
      rows.emplace_back(QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(statement, 0)),
                                sqlite3_column_bytes16(statement, 0) / 2),
                        QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, 1)),
                                   sqlite3_column_bytes(statement, 1)));
    std::vector<std::pair<QString, Mark>> entries;
    entries.reserve(rows.size());
    for (const auto& [key, bytes] : rows)
      entries.emplace_back(key, Mark::fromJson(Json::parse(bytes)));
    sqlite3_reset(statement);
    if (entries.size() != keysPerPrefix)
      state.SkipWithError("wrong number of entries");
    benchmark::DoNotOptimize(entries);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
}

void BM_EntriesPrefix_PlainQSqlQuery(benchmark::State& state) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
    db.setDatabaseName(populatedStore());
    db.open();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QString::fromLatin1(selectRange));
    QByteArray upper = wantedPrefix.toUtf8();
    upper.back() = static_cast<char>(upper.back() + 1);
    for (auto _ : state) {
      std::vector<std::pair<QString, Mark>> entries;
      query.bindValue(0, wantedPrefix);
      query.bindValue(1, upper);
      query.exec();
      while (query.next())
        entries.emplace_back(query.value(0).toString(),
                             Mark::fromJson(Json::parse(query.value(1).toByteArray())));
      query.finish();
      if (entries.size() != keysPerPrefix)
        state.SkipWithError("wrong number of entries");
      benchmark::DoNotOptimize(entries);
    }
  }
  QSqlDatabase::removeDatabase(QStringLiteral("plain"));
}

// Each store benchmark runs right after its baselines, in the same process and on the same disk.
BENCHMARK(BM_CommitBatch_RawSqlite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_CommitBatch_PlainQSqlQuery)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_CommitBatch_LocalStore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_EntriesPrefix_RawSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EntriesPrefix_PlainQSqlQuery)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EntriesPrefix_LocalStore)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  return brindlewick::runBenchmarks(argc, argv);
}
