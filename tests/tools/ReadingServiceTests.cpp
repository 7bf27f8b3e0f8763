#include "AsyncProbe.h"
#include "ReadingService.h"
#include "StandInHarness.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <stdexcept>

using namespace brindlewick;

namespace {

std::shared_ptr<AsyncOutcome<APIResponse>> get(NativeAPIClient& client, const QString& path) {
  auto outcome = startTask(client.send(path, QStringLiteral("GET"), std::nullopt, std::nullopt, 4096, {}));
  EXPECT_TRUE(waitUntilFinished(outcome));
  return outcome;
}

} // namespace

// The transport tests rely on the log holding every request, routed or not, before its reply.
TEST(ReadingServiceTest, LogsEveryRequestBeforeRoutingIt) {
  StandInHarness harness;
  ReadingService& service = harness.service();
  service.route("GET", QStringLiteral("/api/reader/me"), [&](const LoggedRequest&) {
    EXPECT_EQ(service.requestLog().size(), 1);
    StandInReply reply;
    reply.status = 202;
    reply.headers = {{"ETag", "\"a1\""}};
    return reply;
  });
  auto client = harness.makeClient();
  const APIResponse routed = get(*client, QStringLiteral("/api/reader/me?x=y"))->get();
  EXPECT_EQ(routed.statusCode, 202);
  EXPECT_EQ(routed.headers.value(QStringLiteral("etag")), QStringLiteral("\"a1\""));
  EXPECT_EQ(get(*client, QStringLiteral("/api/reader/nothing"))->get().statusCode, 404);

  ASSERT_EQ(service.requestLog().size(), 2);
  EXPECT_EQ(service.requestLog()[0].path, QStringLiteral("/api/reader/me"));
  EXPECT_EQ(service.requestLog()[0].query, QStringLiteral("x=y"));
  EXPECT_EQ(service.requestLog()[1].path, QStringLiteral("/api/reader/nothing"));
  service.clearRequestLog();
  EXPECT_TRUE(service.requestLog().isEmpty());
}

TEST(ReadingServiceTest, SessionsAuthorizeOnlyTheirBearer) {
  StandInAccounts accounts;
  accounts.addReader({QStringLiteral("r1"), QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
  EXPECT_THROW(accounts.openSession(QStringLiteral("nobody")), std::invalid_argument);
  const QString token = accounts.openSession(QStringLiteral("r1"));
  EXPECT_NE(token, accounts.openSession(QStringLiteral("r1")));

  const auto requestWith = [](QByteArray authorization) {
    LoggedRequest request;
    request.headers = {{"authorization", authorization}};
    return request;
  };
  EXPECT_EQ(accounts.authorize(requestWith("Bearer " + token.toUtf8()))->email,
            QStringLiteral("ada@example.com"));
  EXPECT_FALSE(accounts.authorize(requestWith("Basic " + token.toUtf8())));
  EXPECT_FALSE(accounts.authorize(requestWith("Bearer other")));
  EXPECT_FALSE(accounts.authorize(LoggedRequest{}));
  accounts.revokeSession(token);
  EXPECT_FALSE(accounts.authorize(requestWith("Bearer " + token.toUtf8())));
}

TEST(ReadingServiceTest, StandaloneProgramServesOverTlsWithTheAuthorityItWrites) {
  const QString program = QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../tools/reading-service/brindlewick-reading-service-stand-in");
  if (!QFileInfo(program).isExecutable()) {
    GTEST_SKIP() << "stand-in program not built";
  }
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString caPath = folder.filePath(QStringLiteral("authority.pem"));
  QProcess process;
  process.start(program, {QStringLiteral("--ca-out"), caPath});
  ASSERT_TRUE(process.waitForStarted(5000));
  QByteArray firstLine;
  ASSERT_TRUE(waitUntil([&] {
    firstLine += process.readAllStandardOutput();
    return firstLine.contains('\n');
  }));
  const QUrl base(QString::fromUtf8(firstLine.trimmed()));
  QFile caFile(caPath);
  ASSERT_TRUE(caFile.open(QIODevice::ReadOnly));
  const QByteArray caPem = caFile.readAll();
  EXPECT_FALSE(caPem.contains("PRIVATE KEY"));

  NativeAPIClient::Options options;
  options.additionalCaCertificates = QSslCertificate::fromData(caPem);
  NativeAPIClient client(base, options);
  auto outcome = get(client, QStringLiteral("/api/reader/me"));
  process.kill();
  process.waitForFinished(5000);
  ASSERT_FALSE(outcome->error);
  EXPECT_EQ(outcome->get().statusCode, 404);
}
