// The stand-in's own machinery: the log, routes, faults, delayed and held replies, sessions,
// and the program that runs it alone.
#include "AsyncProbe.h"
#include "ReadingService.h"
#include "StandInHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <stdexcept>

using namespace brindlewick;

namespace {

const QString echo = QStringLiteral("/echo");

class ReadingServiceTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  int routeRuns = 0;

  void SetUp() override {
    service.route("GET", echo, [this](const LoggedRequest& request) {
      ++routeRuns;
      StandInReply reply = StandInReply::json(200, request.queryItem(u"cursor").value_or(QString()).toUtf8());
      reply.headers = {{"X-Route", "yes"}};
      return reply;
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
  service.route("GET", QStringLiteral("/api/reader/me"), [&](const LoggedRequest&) {
    EXPECT_EQ(service.requestLog().size(), 1);
    return StandInReply::empty(202);
  });
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/me?x=y")).statusCode, 202);
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/nothing")).statusCode, 404);
  ASSERT_EQ(service.requestLog().size(), 2);
  EXPECT_EQ(service.requestLog()[0].path, QStringLiteral("/api/reader/me"));
  EXPECT_EQ(service.requestLog()[0].query, QStringLiteral("x=y"));
  EXPECT_EQ(service.requestLog()[1].path, QStringLiteral("/api/reader/nothing"));

  // A scripted route replaces the stand-in's own until it is removed.
  service.setReply("GET", QStringLiteral("/api/reader/preferences"), StandInReply::empty(418));
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/preferences")).statusCode, 418);
  service.removeRoute("GET", QStringLiteral("/api/reader/preferences"));
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/preferences")).statusCode, 401);
}

// Percent-decoding and nothing else: "+" is a plus, "%2B" too, "%20" a space.
TEST_F(ReadingServiceTest, QueryItemsReadBackExactly) {
  for (const QString& cursor :
       {QStringLiteral("a b+c&d=e%f/ü😀"), QStringLiteral("after 12 +&="), QString()}) {
    const QString path =
        echo + QStringLiteral("?cursor=") + QString::fromLatin1(QUrl::toPercentEncoding(cursor));
    EXPECT_EQ(QString::fromUtf8(harness.fetch("GET", path).body), cursor) << path.toStdString();
  }
  EXPECT_EQ(harness.fetch("GET", echo + QStringLiteral("?x=1&cursor=a+b%2Bc")).body, "a+b+c");
}

TEST_F(ReadingServiceTest, FaultsApplyInOrderForTheirCount) {
  struct Case {
    const char* name;
    StandInFault fault;
    int status;
    QByteArray body;
    bool routeRuns;
  };
  StandInFault headersOnly;
  headersOnly.headers = {{"ETag", "\"other\""}};
  headersOnly.removedHeaders = {"x-route"};
  const std::vector<Case> cases = {
      {"status alone", StandInFault{.status = 503}, 503, {}, false},
      {"body alone", StandInFault{.body = QByteArray("{\"x\":1}")}, 200, "{\"x\":1}", false},
      {"headers only", headersOnly, 200, "", true},
  };
  for (const Case& c : cases) {
    routeRuns = 0;
    service.addFault("GET", echo, c.fault);
    const APIResponse faulted = harness.fetch("GET", echo);
    EXPECT_EQ(faulted.statusCode, c.status) << c.name;
    EXPECT_EQ(faulted.body, c.body) << c.name;
    EXPECT_EQ(routeRuns, c.routeRuns ? 1 : 0) << c.name;
    if (c.routeRuns) {
      EXPECT_EQ(faulted.headers.value(QStringLiteral("etag")), QStringLiteral("\"other\""));
      EXPECT_FALSE(faulted.headers.contains(QStringLiteral("x-route")));
    }
    // Spent: the route answers again.
    EXPECT_EQ(harness.fetch("GET", echo).headers.value(QStringLiteral("x-route")), QStringLiteral("yes"))
        << c.name;
  }

  // Faults of one route queue up; `always` stays until cleared; {id} patterns match one segment.
  service.addFault("GET", echo, StandInFault{.times = 2, .status = 404});
  service.addFault("GET", echo, StandInFault{.times = StandInFault::always, .status = 410});
  for (const int expected : {404, 404, 410, 410, 410}) {
    EXPECT_EQ(harness.fetch("GET", echo).statusCode, expected);
  }
  service.clearFaults();
  EXPECT_EQ(harness.fetch("GET", echo).statusCode, 200);
  service.addFault("GET", QStringLiteral("/items/{id}"), StandInFault{.status = 409});
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/items/a/b")).statusCode, 404);
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/items/a")).statusCode, 409);
}

// The callback runs while the client waits, before the reply is made: what it changes shows.
TEST_F(ReadingServiceTest, OnRequestRunsBeforeTheReplyIsMade) {
  StandInFault fault;
  fault.onRequest = [&](const LoggedRequest& request) {
    EXPECT_EQ(request.path, echo);
    service.setReply("GET", echo, StandInReply::empty(299));
  };
  service.addFault("GET", echo, fault);
  EXPECT_EQ(harness.fetch("GET", echo).statusCode, 299);
}

TEST_F(ReadingServiceTest, DelayedRepliesWaitForTheSchedulerNotTheWallClock) {
  StandInFault fault;
  fault.delay = 30;
  service.addFault("GET", echo, fault);
  auto client = harness.makeClient();
  auto outcome = start(*client, echo);
  ASSERT_TRUE(waitUntil([&] { return service.requestLog().size() == 1; }));
  harness.advance(29.9);
  EXPECT_FALSE(waitUntil([&] { return outcome->finished; }, 200));
  harness.advance(0.1);
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_EQ(outcome->get().statusCode, 200);
}

TEST_F(ReadingServiceTest, HeldRepliesGoOutOnReleaseAndOnlyToClientsStillWaiting) {
  StandInFault fault;
  fault.hold = true;
  fault.times = 2;
  service.addFault("GET", echo, fault);
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
  EXPECT_TRUE(abandoned->errorAs<CancelledError>());
}

// A service destroyed with replies still waiting leaves nothing behind on the scheduler.
TEST_F(ReadingServiceTest, DestroyingTheServiceCancelsItsDelayedReplies) {
  const std::size_t before = harness.scheduler().pendingCount();
  auto other =
      std::make_unique<ReadingService>(harness.serverIdentity(), harness.clock(), harness.scheduler());
  other->listen();
  StandInFault fault;
  fault.delay = 5;
  other->addFault("GET", echo, fault);
  auto client = harness.makeClient(other->baseURL());
  auto outcome = start(*client, echo);
  ASSERT_TRUE(waitUntil([&] { return other->requestLog().size() == 1; }));
  other.reset();
  client.reset();
  EXPECT_EQ(harness.scheduler().pendingCount(), before);
  harness.advance(10);
}

TEST_F(ReadingServiceTest, PlacesOfASecretNameEveryPartOfEveryRequest) {
  const QString secret = QStringLiteral("s3cr3t-Token_x");
  auto client = harness.makeClient();
  finishTask(client->send(echo + QStringLiteral("?q=") + secret, QStringLiteral("POST"),
                          QByteArray("{\"k\":\"") + secret.toUtf8() + "\"}", secret, 100, {}));
  finishTask(client->send(echo, QStringLiteral("GET"), std::nullopt, std::nullopt, 100, {}));
  EXPECT_EQ(service.placesOf(secret), (QStringList{QStringLiteral("POST /echo query"),
                                                   QStringLiteral("POST /echo header authorization"),
                                                   QStringLiteral("POST /echo body")}));
}

TEST(StandInAccountsTest, SessionsAuthorizeOnlyTheirBearerUntilTheyEnd) {
  Date now = StandInHarness::start;
  StandInAccounts accounts([&] { return now; });
  accounts.addReader({QStringLiteral("r1"), QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
  EXPECT_THROW(accounts.openSession(QStringLiteral("nobody")), std::invalid_argument);
  const QString token = accounts.openSession(QStringLiteral("r1"));
  const QString shortLived = accounts.openSession(QStringLiteral("r1"), now.addingSeconds(10));
  EXPECT_NE(token, shortLived);

  const auto requestWith = [](const QString& authorization) {
    LoggedRequest request;
    request.headers = {{"authorization", authorization.toUtf8()}};
    return request;
  };
  const auto session = accounts.authorize(requestWith(QStringLiteral("Bearer ") + token));
  ASSERT_TRUE(session);
  EXPECT_EQ(session->readerId, QStringLiteral("r1"));
  EXPECT_EQ(session->expiresAt, now.addingSeconds(StandInAccounts::defaultSessionLifetime));
  EXPECT_FALSE(accounts.authorize(requestWith(QStringLiteral("Basic ") + token)));
  EXPECT_FALSE(accounts.authorize(requestWith(QStringLiteral("Bearer other"))));
  EXPECT_FALSE(accounts.authorize(LoggedRequest{}));

  EXPECT_TRUE(accounts.authorize(requestWith(QStringLiteral("Bearer ") + shortLived)));
  now = now.addingSeconds(10);
  EXPECT_FALSE(accounts.authorize(requestWith(QStringLiteral("Bearer ") + shortLived)));
  accounts.revokeSession(token);
  EXPECT_FALSE(accounts.authorize(requestWith(QStringLiteral("Bearer ") + token)));
}

TEST(StandaloneStandInTest, ServesOverTlsWithTheAuthorityItWritesAndApprovesByItself) {
  const QString program = QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../tools/reading-service/brindlewick-reading-service-stand-in");
  if (!QFileInfo(program).isExecutable()) {
    GTEST_SKIP() << "stand-in program not built";
  }
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString caPath = folder.filePath(QStringLiteral("authority.pem"));
  QProcess process;
  process.start(program, {QStringLiteral("--ca-out"), caPath, QStringLiteral("--auto-approve-after"),
                          QStringLiteral("0")});
  ASSERT_TRUE(process.waitForStarted(5000));
  QByteArray output;
  ASSERT_TRUE(waitUntil([&] {
    output += process.readAllStandardOutput();
    return output.contains('\n');
  }));
  const QUrl base(QString::fromUtf8(output.trimmed()));
  QFile caFile(caPath);
  ASSERT_TRUE(caFile.open(QIODevice::ReadOnly));
  const QByteArray caPem = caFile.readAll();
  EXPECT_FALSE(caPem.contains("PRIVATE KEY"));

  NativeAPIClient::Options options;
  options.additionalCaCertificates = QSslCertificate::fromData(caPem);
  NativeAPIClient client(base, options);
  const auto send = [&](const QString& path, std::optional<QByteArray> body) {
    return finishTask(client.send(path, body ? QStringLiteral("POST") : QStringLiteral("GET"),
                                  std::move(body), std::nullopt, 65536, {}));
  };
  const auto grant =
      send(QStringLiteral("/api/reader-auth/device/code"), R"({"client_id":"brindlewick-macos"})");
  std::optional<AsyncOutcome<APIResponse>> page;
  if (!grant.error) {
    const QUrl verification(
        QJsonDocument::fromJson(grant.get().body)["verification_uri_complete"].toString());
    EXPECT_EQ(verification.authority(), base.authority());
    page = send(verification.path() + QLatin1Char('?') + verification.query(), std::nullopt);
  }
  process.kill();
  process.waitForFinished(5000);
  EXPECT_EQ(output.trimmed().count('\n'), 0); // the address alone
  ASSERT_TRUE(page && !page->error);
  EXPECT_TRUE(page->get().body.contains("approved")) << page->get().body.toStdString();
}
