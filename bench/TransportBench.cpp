// Downloading a 10 MiB body from the stand-in service over TLS: through NativeAPIClient (capped,
// chunked reads) against a bare QNetworkAccessManager readAll() of the same body, in one run.
#include "BenchmarkRunner.h"
#include "StandInHarness.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>

#include <memory>

using namespace brindlewick;

namespace {

constexpr qint64 bodyBytes = NativeAPIClient::maximumResponseBytes;

StandInHarness& harness() {
  static StandInHarness* instance = [] {
    auto* h = new StandInHarness;
    StandInReply reply;
    reply.body = QByteArray(bodyBytes, 'r');
    reply.contentType = "application/octet-stream";
    h->service().setReply("GET", QStringLiteral("/blob"), reply);
    return h;
  }();
  return *instance;
}

void nativeClient(benchmark::State& state) {
  auto client = harness().makeClient();
  for (auto _ : state) {
    // QCoro's waitFor runs an event loop that sleeps until the coroutine is done.
    const APIResponse response = QCoro::waitFor(client->send(QStringLiteral("/blob"), QStringLiteral("GET"),
                                                             std::nullopt, std::nullopt, bodyBytes, {}));
    if (response.body.size() != bodyBytes) {
      state.SkipWithError("transfer failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * bodyBytes);
}

void bareReadAll(benchmark::State& state) {
  QNetworkAccessManager manager;
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.addCaCertificates({harness().authority().certificate()});
  QUrl url = harness().service().baseURL();
  url.setPath(QStringLiteral("/blob"));
  for (auto _ : state) {
    QNetworkRequest request(url);
    request.setSslConfiguration(tls);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    if (reply->readAll().size() != bodyBytes) {
      state.SkipWithError("transfer failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * bodyBytes);
}

} // namespace

BENCHMARK(bareReadAll)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(nativeClient)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv) {
  return brindlewick::runBenchmarks(argc, argv);
}
