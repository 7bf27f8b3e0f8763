// Content sync of a 10 MiB release from the stand-in service over TLS: the account's
// syncContent (manifest and release through the account's request gate, the release checked
// and installed in a store file) against, in the same iterations, a bare QNetworkAccessManager
// GET of the same release body read with readAll(), its SHA-256, and the content library's
// install baseline (validateRelease plus one plain store commit of the same bytes). Two
// releases alternate, so that every sync really downloads and installs.
#include "BareStandInClient.h"
#include "BenchmarkRunner.h"
#include "InMemorySecureStorage.h"
#include "ReleaseGenerator.h"
#include "StandInAccount.h"
#include "content/ContentRepository.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

using namespace brindlewick;
using Clock = std::chrono::steady_clock;

namespace {

const QString appVersion = QStringLiteral("1.0.0");

struct Setup {
  GeneratedRelease releases[2];
  InMemorySecureStorage storage;
  StandInAccount account{storage};
  QString token;
  std::unique_ptr<AccountController> controller;

  Setup() {
    for (int which = 0; which < 2; ++which) {
      ReleaseShape shape;
      shape.targetBytes = ContractValidation::maximumReleaseBytes;
      shape.seed = which + 1;
      shape.releaseId = generatedId(9, which);
      releases[which] = generateRelease(10000, shape);
      account.service.content().publish(releases[which].body);
    }
    token = account.service.accounts().openSession(StandInAccount::reader);
    controller = account.open(token);
    QCoro::waitFor(controller->refresh());
  }
};

Setup& setup() {
  static Setup* instance = new Setup;
  return *instance;
}

void SyncOverBareDownloadAndInstall(benchmark::State& state) {
  Setup& s = setup();
  QTemporaryDir folder;
  LocalStore contentStore(false, folder.filePath(QStringLiteral("content.store")));
  LocalStore plainStore(false, folder.filePath(QStringLiteral("plain.store")));
  ContentRepository repository(contentStore, appVersion, false);
  BareStandInClient client(s.account.harness, s.token);
  Clock::duration bare{};
  Clock::duration sync{};
  int next = 0;
  for (auto _ : state) {
    const GeneratedRelease& release = s.releases[next];
    s.account.service.content().makeCurrent(release.manifest.releaseId);
    const auto start = Clock::now();
    const QByteArray body =
        client.get(QStringLiteral("/api/reader/content/releases/") + release.manifest.releaseId);
    benchmark::DoNotOptimize(QCryptographicHash::hash(body, QCryptographicHash::Sha256));
    benchmark::DoNotOptimize(ContractValidation::validateRelease(body, release.manifest, appVersion));
    plainStore.commit({{QStringLiteral("release"), body}}, {});
    const auto middle = Clock::now();
    bool synced = true;
    try {
      QCoro::waitFor(s.controller->syncContent(repository));
    } catch (...) {
      synced = false;
    }
    sync += Clock::now() - middle;
    bare += middle - start;
    if (!synced || body != release.body || repository.manifest() != release.manifest) {
      state.SkipWithError("the release was not downloaded and installed");
      break;
    }
    next = 1 - next;
  }
  const double iterations = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["bare_ms"] = std::chrono::duration<double, std::milli>(bare).count() / iterations;
  state.counters["sync_ms"] = std::chrono::duration<double, std::milli>(sync).count() / iterations;
  state.counters["sync/bare"] = double(sync.count()) / double(bare.count());
  state.SetLabel(QStringLiteral("%1 bytes, %2 drops")
                     .arg(s.releases[0].body.size())
                     .arg(s.releases[0].release.lore.size())
                     .toStdString());
}

BENCHMARK(SyncOverBareDownloadAndInstall)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

} // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [] { setup(); });
}
