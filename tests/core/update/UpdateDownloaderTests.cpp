#include "AsyncProbe.h"
#include "ScriptedTlsServer.h"
#include "StandInHarness.h"
#include "update/UpdateDownloader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

using namespace brindlewick;

namespace {

using Step = ScriptedTlsServer::Step;

class UpdateDownloaderTest : public ::testing::Test {
protected:
  StandInHarness harness;
  QTemporaryDir folder;
  QString destination = folder.filePath("archive.tar.gz");
  UpdateDownloader downloader{UpdateDownloader::Options{{harness.authority().certificate()}, 30000}};
  QList<qint64> progress;

  QUrl archiveURL() {
    QUrl url = harness.service().baseURL();
    url.setPath("/updates/" + harness.service().updates().archiveName());
    return url;
  }

  std::shared_ptr<AsyncOutcome<void>> start(const QUrl& url, qint64 length,
                                            CancellationToken cancellation = {}) {
    return startTask(downloader.download(
        url, length, destination, [this](qint64 received) { progress.append(received); }, cancellation));
  }

  // The reader's words for how the download ended; empty when it succeeded.
  QString finish(const QUrl& url, qint64 length) {
    const auto outcome = start(url, length);
    EXPECT_TRUE(waitUntilFinished(outcome));
    if (const auto error = outcome->errorAs<UpdateDownloadError>())
      return error->description();
    outcome->get();
    return {};
  }
};

TEST_F(UpdateDownloaderTest, KeepsExactlyTheAnnouncedBytesForThisUserAlone) {
  const QByteArray archive = harness.service().updates().archive();
  EXPECT_EQ(finish(archiveURL(), archive.size()), QString());
  QFile file(destination);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), archive);
  const QFileDevice::Permissions permissions = QFileInfo(destination).permissions();
  EXPECT_TRUE(permissions.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                              QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther));
  ASSERT_FALSE(progress.isEmpty());
  EXPECT_EQ(progress.last(), archive.size());
}

// Whatever goes wrong, the reader is told why and no file is left behind.
TEST_F(UpdateDownloaderTest, RefusesWhatIsNotTheAnnouncedFileAndDeletesIt) {
  const qint64 length = harness.service().updates().archive().size();
  const QByteArray body(3000, 'x');
  const auto sizes = [&](qint64 announced) {
    return QString("is %1 bytes, not the %2 bytes")
        .arg(QLocale().toString(length), QLocale().toString(announced));
  };
  const struct {
    const char* name;
    QByteArray reply; // empty: the stand-in's archive
    qint64 announced;
    QString reason;
  } rows[] = {
      {"announced longer than served", {}, length + 1, sizes(length + 1)},
      {"announced shorter than served", {}, length - 1, sizes(length - 1)},
      {"an undeclared body larger than announced",
       ScriptedTlsServer::head(200, {"Transfer-Encoding: chunked"}) + ScriptedTlsServer::chunked(body, 700),
       2999, "larger than the"},
      {"a connection closed early", ScriptedTlsServer::head(200, {"Content-Length: 3000"}) + body.left(1000),
       3000, "interrupted"},
      {"a status other than 200", ScriptedTlsServer::head(404, {"Content-Length: 0"}), 3000,
       "HTTP error 404"},
      {"a redirect to http",
       ScriptedTlsServer::head(302, {"Location: http://127.0.0.1:1/a.tar.gz", "Content-Length: 0"}), 3000,
       "not https"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<ScriptedTlsServer> server;
    QUrl url = archiveURL();
    if (!row.reply.isEmpty()) {
      server = std::make_unique<ScriptedTlsServer>(harness.serverIdentity(),
                                                   QList<Step>{Step::write(row.reply), Step::close()});
      url = server->baseURL().resolved(QUrl("/a.tar.gz"));
    }
    const QString reason = finish(url, row.announced);
    EXPECT_TRUE(reason.contains(row.reason)) << reason.toStdString();
    EXPECT_FALSE(QFile::exists(destination));
  }
}

TEST_F(UpdateDownloaderTest, FollowsAnHttpsRedirect) {
  const QByteArray archive = harness.service().updates().archive();
  const QByteArray location = archiveURL().toEncoded();
  ScriptedTlsServer server(
      harness.serverIdentity(),
      {Step::write(ScriptedTlsServer::head(302, {"Location: " + location, "Content-Length: 0"})),
       Step::close()});
  EXPECT_EQ(finish(server.baseURL().resolved(QUrl("/moved.tar.gz")), archive.size()), QString());
  QFile file(destination);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), archive);
}

TEST_F(UpdateDownloaderTest, AStalledDownloadStopsWhenCancelledAndLeavesNothing) {
  // The head and a first part, then silence.
  ScriptedTlsServer server(
      harness.serverIdentity(),
      {Step::write(ScriptedTlsServer::head(200, {"Content-Length: 5000"}) + QByteArray(1200, 'x'))});
  CancellationSource cancel;
  const auto outcome = start(server.baseURL().resolved(QUrl("/slow.tar.gz")), 5000, cancel.token());
  ASSERT_TRUE(waitUntil([&] { return !progress.isEmpty() && progress.last() == 1200; }));
  EXPECT_TRUE(QFile::exists(destination));
  cancel.cancel();
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_TRUE(outcome->errorAs<CancelledError>());
  EXPECT_FALSE(QFile::exists(destination));
}

} // namespace
