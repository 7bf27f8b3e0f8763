// The stand-in's own machinery: the log, routes, faults, delayed and held replies, and the
// program that runs it alone.
#include "AsyncProbe.h"
#include "StandInHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString echo = QStringLiteral("/echo");

class ReadingServiceTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  int routeRuns = 0;

  // Answers with the cursor it read.
  void SetUp() override {
    service.route("GET", echo, [this](const LoggedRequest& request) {
      ++routeRuns;
      return StandInReply::json(200, request.queryItem(u"cursor").value_or(QString()).toUtf8());
    });
  }

  std::shared_ptr<AsyncOutcome<APIResponse>> start(NativeAPIClient& client, const QString& path,
                                                   CancellationToken cancellation = {}) {
    return startTask(
        client.send(path, QStringLiteral("GET"), std::nullopt, std::nullopt, 4096, {}, cancellation));
  }
};

} // namespace

// The transport tests rely on the log holding every request, routed or not, before its reply.
TEST_F(ReadingServiceTest, LogsEveryRequestBeforeRoutingIt) {
  service.route("GET", QStringLiteral("/api/reader/preferences"), [&](const LoggedRequest&) {
    EXPECT_EQ(service.requestLog().size(), 1);
    return StandInReply::empty(418);
  });
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/preferences")).statusCode, 418);
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/nothing")).statusCode, 404);
  ASSERT_EQ(service.requestLog().size(), 2);
  EXPECT_EQ(service.requestLog()[1].path, QStringLiteral("/api/reader/nothing"));
  // The stand-in's own route answers again once the scripted one is removed.
  service.removeRoute("GET", QStringLiteral("/api/reader/preferences"));
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/preferences")).statusCode, 401);
}

// A status or a body answers in place of the route, whose handler does not run. Faults queue
// per route, each for its count; `always` stays until cleared. (The content sync tests change
// headers with faults.)
TEST_F(ReadingServiceTest, FaultsApplyInOrderForTheirCount) {
  service.addFault("GET", echo, StandInFault{.status = 503});
  service.addFault("GET", echo, StandInFault{.times = 2, .body = QByteArray("{\"x\":1}")});
  service.addFault("GET", echo, StandInFault{.times = StandInFault::always, .status = 410});
  const std::vector<std::pair<int, QByteArray>> expected = {
      {503, ""}, {200, "{\"x\":1}"}, {200, "{\"x\":1}"}, {410, ""}, {410, ""}};
  for (const auto& [status, body] : expected) {
    const APIResponse faulted = harness.fetch("GET", echo);
    EXPECT_EQ(faulted.statusCode, status);
    EXPECT_EQ(faulted.body, body);
  }
  EXPECT_EQ(routeRuns, 0);
  service.clearFaults();
  EXPECT_EQ(harness.fetch("GET", echo).statusCode, 200);
  EXPECT_EQ(routeRuns, 1);
}

TEST_F(ReadingServiceTest, DelayedRepliesWaitForTheScheduler) {
  service.addFault("GET", echo, StandInFault{.delay = 30});
  auto client = harness.makeClient();
  auto outcome = start(*client, echo);
  ASSERT_TRUE(waitUntil([&] { return service.requestLog().size() == 1; }));
  harness.advance(29.9);
  EXPECT_FALSE(waitUntil([&] { return outcome->finished; }, 200));
  harness.advance(0.1);
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_EQ(outcome->get().statusCode, 200);

  // A service destroyed with a reply still waiting leaves nothing behind on the scheduler.
  const std::size_t before = harness.scheduler().pendingCount();
  auto other =
      std::make_unique<ReadingService>(harness.serverIdentity(), harness.clock(), harness.scheduler());
  other->listen();
  other->addFault("GET", echo, StandInFault{.delay = 5});
  auto otherClient = harness.makeClient(other->baseURL());
  auto abandoned = start(*otherClient, echo);
  ASSERT_TRUE(waitUntil([&] { return other->requestLog().size() == 1; }));
  other.reset();
  otherClient.reset();
  EXPECT_EQ(harness.scheduler().pendingCount(), before);
  harness.advance(10);
}

TEST_F(ReadingServiceTest, HeldRepliesGoOutOnReleaseAndOnlyToClientsStillWaiting) {
  service.addFault("GET", echo, StandInFault{.times = 2, .hold = true});
  auto client = harness.makeClient();
  CancellationSource gone;
  auto waiting = start(*client, echo + QStringLiteral("?cursor=kept"));
  auto abandoned = start(*client, echo, gone.token());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 2; }));
  harness.advance(59);
  EXPECT_FALSE(waiting->finished);
  gone.cancel();
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_EQ(service.releaseHeld(), 1);
  ASSERT_TRUE(waitUntilFinished(waiting));
  EXPECT_EQ(waiting->get().body, "kept");
}

TEST_F(ReadingServiceTest, PlacesOfASecretNameEveryPartOfEveryRequest) {
  const QString secret = QStringLiteral("s3cr3t-Token_x");
  auto client = harness.makeClient();
  finishTask(client->send(echo + QStringLiteral("?q=") + secret, QStringLiteral("POST"),
                          QByteArray("{\"k\":\"") + secret.toUtf8() + "\"}", secret, 100, {}));
  harness.fetch("GET", echo);
  EXPECT_EQ(service.placesOf(secret), (QStringList{QStringLiteral("POST /echo query"),
                                                   QStringLiteral("POST /echo header authorization"),
                                                   QStringLiteral("POST /echo body")}));
}

TEST(StandaloneStandInTest, PrintsItsAddressAlonePublishesItsAuthorityAndApprovesByItself) {
  const QString program = QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../tools/reading-service/brindlewick-reading-service-stand-in");
  if (!QFileInfo(program).isExecutable()) {
    GTEST_SKIP() << "stand-in program not built";
  }
  QTemporaryDir folder;
  const QString caPath = folder.filePath(QStringLiteral("authority.pem"));
  QProcess process;
  process.start(program, {QStringLiteral("--ca-out"), caPath, QStringLiteral("--auto-approve-after"),
                          QStringLiteral("0")});
  QByteArray output;
  ASSERT_TRUE(waitUntil([&] {
    output += process.readAllStandardOutput();
    return output.contains('\n');
  }));
  QFile caFile(caPath);
  ASSERT_TRUE(caFile.open(QIODevice::ReadOnly));
  const QByteArray caPem = caFile.readAll();
  EXPECT_FALSE(caPem.contains("PRIVATE KEY"));

  NativeAPIClient client(
      QUrl(QString::fromUtf8(output.trimmed())),
      NativeAPIClient::Options{.additionalCaCertificates = QSslCertificate::fromData(caPem)});
  const auto send = [&](const QString& path, std::optional<QByteArray> body) {
    return finishTask(client.send(path, body ? u"POST"_s : u"GET"_s, body, std::nullopt, 4096, {}));
  };
  const auto grant = send(u"/api/reader-auth/device/code"_s, R"({"client_id":"brindlewick-macos"})");
  std::optional<AsyncOutcome<APIResponse>> page;
  if (!grant.error) {
    const QUrl address(QJsonDocument::fromJson(grant.get().body)["verification_uri_complete"].toString());
    page = send(address.path() + u'?' + address.query(), std::nullopt);
  }
  process.kill();
  process.waitForFinished(5000);
  EXPECT_EQ(output.trimmed().count('\n'), 0);
  ASSERT_TRUE(page && !page->error);
  EXPECT_TRUE(page->get().body.contains("approved")) << page->get().body.toStdString();
}
