// The stand-in program's state folder: a restart serves the same authority and honours the
// sessions and accounts of the run before.
#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "ReadingService.h"
#include "StandInStateFolder.h"
#include "service/NativeAPIClient.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString reader = u"sample-reader"_s;

// One run of the stand-in program on the folder.
struct StandInRun {
  StandInStateFolder state;
  ReadingService service;

  explicit StandInRun(const QString& folder) : state(folder), service(state.serverIdentity()) {
    state.keep(service.accounts());
    service.accounts().addReader({reader, u"Sample Reader"_s, u"reader@example.com"_s, {}});
    service.listen();
  }

  // A GET through a client that trusts only the system and `authority`.
  APIResponse get(const QSslCertificate& authority, const QString& path, const QString& token) {
    NativeAPIClient client(service.baseURL(),
                           NativeAPIClient::Options{.additionalCaCertificates = {authority}});
    return finishTask(
               client.send(path, u"GET"_s, std::nullopt, token, NativeAPIClient::maximumResponseBytes, {}))
        .get();
  }
};

QByteArray read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(StandInStateFolder, ARestartServesTheSameAuthorityAndHonoursEarlierSessions) {
  QTemporaryDir folder;
  QSslCertificate authority;
  QString token;
  QList<QByteArray> before;
  const QStringList paths = {u"/api/reader/me"_s, u"/api/reader/items"_s, u"/api/reader/preferences"_s};
  {
    StandInRun first(folder.path());
    authority = first.state.authority().certificate();
    StandInAccounts& accounts = first.service.accounts();
    token = accounts.openSession(reader);
    accounts.setFlag(reader, AccountFixtures::snapshot(1).id(), StandInAccounts::Flag::saved, true,
                     AccountFixtures::snapshot(1));
    accounts.setFlag(reader, AccountFixtures::snapshot(2).id(), StandInAccounts::Flag::loved, true,
                     AccountFixtures::snapshot(2));
    ReaderPreferences preferences;
    preferences.topics = {u"science"_s};
    preferences.analyticsConsent = true;
    accounts.setPreferences(reader, preferences);
    accounts.recordRead(reader, u"activity-1"_s);
    for (const QString& path : paths)
      before << first.get(authority, path, token).body;
  }
  // Secrets are the user's alone.
  for (const char* secret : {"ca-key.pem", "server-key.pem", "accounts.json"})
    EXPECT_EQ(QFile::permissions(folder.filePath(QString::fromUtf8(secret))),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser)
        << secret;

  StandInRun second(folder.path());
  EXPECT_EQ(second.state.authority().certificate(), authority);
  EXPECT_EQ(read(second.state.authorityFile()), authority.toPem());
  for (qsizetype i = 0; i < paths.size(); ++i) {
    const APIResponse reply = second.get(authority, paths[i], token);
    EXPECT_EQ(reply.statusCode, 200) << paths[i].toStdString();
    EXPECT_EQ(reply.body, before[i]) << paths[i].toStdString();
  }
  // A session revoked in this run stays revoked in the next.
  second.service.accounts().revokeSession(token);
  StandInRun third(folder.path());
  EXPECT_EQ(third.get(authority, paths[0], token).statusCode, 401);
}

// A folder whose files cannot serve stops the program naming the file, and nothing in it is
// replaced.
TEST(StandInStateFolder, RefusesFilesItCannotReadAndLeavesThemAsTheyAre) {
  const struct {
    const char* file;
    QByteArray bytes;
  } cases[] = {
      {"accounts.json", "{\"readers\": ["},
      {"accounts.json",
       "{\"readers\":[],\"sessions\":[{\"token\":\"t\",\"readerId\":\"nobody\",\"expiresAt\":1}]}"},
      {"ca-key.pem", TestCertificateAuthority().keyPem()},
      {"server.pem", TestCertificateAuthority().issueServerIdentity().certificate.toPem()},
  };
  for (const auto& damaged : cases) {
    SCOPED_TRACE(damaged.file);
    QTemporaryDir folder;
    { StandInRun run(folder.path()); }
    const QString path = folder.filePath(QString::fromUtf8(damaged.file));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(damaged.bytes);
    file.close();
    try {
      StandInStateFolder state(folder.path());
      ReadingService service(state.serverIdentity());
      state.keep(service.accounts());
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
      EXPECT_TRUE(QString::fromUtf8(error.what()).contains(damaged.file)) << error.what();
    }
    EXPECT_EQ(read(path), damaged.bytes);
  }
}
