// A check of a 100-release update feed over TLS from the stand-in: the updater's whole check
// (the capped fetch, the strict feed, the choice of release, the last check's time written)
// against a bare QNetworkAccessManager GET of the same feed and QJsonDocument's parse of it,
// side by side in one run.
#include "BenchmarkRunner.h"
#include "model/FeedUpdaterRig.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>

#include <memory>

using namespace brindlewick;

namespace {

constexpr int releases = 100;

FeedUpdaterRig& rig() {
  static FeedUpdaterRig* made = [] {
    auto* r = new FeedUpdaterRig;
    QJsonArray entries;
    for (int i = 0; i < releases; ++i) {
      const QString version = QStringLiteral("0.%1.%2").arg(i / 10).arg(i % 10);
      entries.append(QJsonObject{
          {"version", version},
          {"url", "https://downloads.example.org/brindlewick-" + version + "-Linux.tar.gz"},
          {"length", 4203520 + i},
          {"signature", QString::fromLatin1(QByteArray(64, char(i)).toBase64())},
          {"notes", QStringLiteral("What changed in %1: a calmer card, a faster start and fixes.\n")
                        .arg(version)
                        .repeated(4)},
          {"minimumVersion", i % 3 ? QJsonValue("0.0.1") : QJsonValue(QJsonValue::Null)}});
    }
    r->harness.service().setReply(
        "GET", "/updates/{id}",
        StandInReply::json(200, QJsonDocument(QJsonObject{{"releases", entries}}).toJson()));
    return r;
  }();
  return *made;
}

void bareGetAndParse(benchmark::State& state) {
  QNetworkAccessManager manager;
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.addCaCertificates({rig().harness.authority().certificate()});
  for (auto _ : state) {
    QNetworkRequest request(rig().feedURL());
    request.setSslConfiguration(tls);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonDocument feed = QJsonDocument::fromJson(reply->readAll());
    if (feed.object().value("releases").toArray().size() != releases) {
      state.SkipWithError("fetch failed");
      break;
    }
  }
}

void updaterCheck(benchmark::State& state) {
  // Running the newest version: the check reads every entry and offers nothing.
  const auto updater = rig().make("9.0");
  int answers = 0;
  QObject::connect(updater.get(), &FeedUpdater::answered, [&](const QString& title, const QString&) {
    answers += title == FeedUpdater::upToDateTitle ? 1 : 1000;
  });
  for (auto _ : state) {
    const int before = answers;
    updater->checkForUpdates();
    QEventLoop loop;
    while (answers == before)
      loop.processEvents(QEventLoop::WaitForMoreEvents);
    if (answers != before + 1) {
      state.SkipWithError("check failed");
      break;
    }
  }
}

} // namespace

BENCHMARK(bareGetAndParse)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(updaterCheck)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv) {
  return brindlewick::runBenchmarks<QApplication>(argc, argv, [] { rig(); });
}
