// Fetching a whole account of 10,000 items (50 pages of 200, about 15 MiB) from the stand-in
// service over TLS: the controller's refresh (every request through its gate, every reply
// decoded and checked, the cache record stored in a store file and published) against, in the
// same run, bare QNetworkAccessManager GETs of the same requests (summary, pages, preferences),
// each reply parsed with QJsonDocument::fromJson and nothing else. Measured for the refresh of
// a sync, whose controller stored this account before, and for a first fetch, which encodes
// every item for the store.
#include "AccountFixtures.h"
#include "BareStandInClient.h"
#include "BenchmarkRunner.h"
#include "InMemorySecureStorage.h"
#include "StandInAccount.h"
#include "StandInLargeAccount.h"
#include "foundation/Json.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <stdexcept>

using namespace brindlewick;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int itemCount = StandInLargeAccount::itemCount;
constexpr qint64 accountBytes = 15 * 1024 * 1024;

struct LargeAccount : StandInLargeAccount {
  LargeAccount() : StandInLargeAccount(accountBytes, false) {}
};

LargeAccount& large() {
  static LargeAccount* instance = new LargeAccount;
  return *instance;
}

// One GET through the bare client, its body parsed; returns the document.
QJsonObject bareGet(BareStandInClient& client, const QString& path, qint64& bytes) {
  const QByteArray body = client.get(path);
  bytes += body.size();
  return QJsonDocument::fromJson(body).object();
}

// The bare requests of one whole fetch; returns the bytes received.
qint64 bareFetch(BareStandInClient& client) {
  qint64 bytes = 0;
  bareGet(client, QStringLiteral("/api/reader/me"), bytes);
  for (QString path = QStringLiteral("/api/reader/items"); !path.isEmpty();) {
    const QJsonValue cursor = bareGet(client, path, bytes).value(QLatin1String("nextCursor"));
    path = cursor.isString() ? QStringLiteral("/api/reader/items?cursor=") +
                                   QString::fromLatin1(QUrl::toPercentEncoding(cursor.toString()))
                             : QString();
  }
  bareGet(client, QStringLiteral("/api/reader/preferences"), bytes);
  return bytes;
}

// `firstFetch`: each refresh by a controller that has never stored this account (as after a
// sign-in), so that every item is encoded; otherwise the same controller refreshes again and
// again, as every sync does.
void measure(benchmark::State& state, bool firstFetch) {
  LargeAccount& account = large();
  BareStandInClient client(account.account.harness, account.token);
  Clock::duration bare{};
  Clock::duration fetch{};
  qint64 bytes = 0;
  for (auto _ : state) {
    if (firstFetch) {
      account.controller.reset();
      account.account.store->remove(AccountKeys::cacheKey(
          account.account.service.baseURL(), StandInAccount::reader, AccountCoding::digest(account.token)));
      account.controller = account.account.open();
    }
    const auto start = Clock::now();
    bytes = bareFetch(client);
    const auto fetched = Clock::now();
    QCoro::waitFor(account.controller->refresh());
    fetch += Clock::now() - fetched;
    bare += fetched - start;
    if (account.controller->items().size() != itemCount) {
      state.SkipWithError("the account was not fetched whole");
      break;
    }
  }
  state.counters["bare_ms"] =
      std::chrono::duration<double, std::milli>(bare).count() / double(state.iterations());
  state.counters["fetch_ms"] =
      std::chrono::duration<double, std::milli>(fetch).count() / double(state.iterations());
  state.counters["fetch/bare"] = double(fetch.count()) / double(bare.count());
  state.SetLabel(QStringLiteral("%1 bytes, %2 items").arg(bytes).arg(itemCount).toStdString());
}

void RefreshOverBareParse(benchmark::State& state) {
  measure(state, false);
}

void FirstFetchOverBareParse(benchmark::State& state) {
  measure(state, true);
}

BENCHMARK(RefreshOverBareParse)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(FirstFetchOverBareParse)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

} // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [] { large(); });
}
