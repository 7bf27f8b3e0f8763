#pragma once

#include "StandInHarness.h"
#include "desktop/SystemEvents.h"
#include "model/FeedUpdater.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace brindlewick {

class ReaderModelFixture;

// A feed updater against the stand-in's update routes over TLS, on the harness's virtual
// time, with a desktop whose sleep and network a test sets, and an installer, a restart and
// an opener that only record what they were asked.
class FeedUpdaterRig {
public:
  FeedUpdaterRig();

  StandInHarness harness;
  QTemporaryDir folder;
  SystemEvents events;
  bool online = true;
  // How long a transfer of the updater may receive nothing (real time).
  int inactivityTimeoutMilliseconds = NativeAPIClient::Options{}.inactivityTimeoutMilliseconds;

  // The installer; when empty, one that records and answers as below.
  FeedUpdater::Install installer;
  // What the recording installer answers; an error message makes it throw instead.
  UpdateInstallOutcome outcome{UpdateInstallOutcome::Kind::staged, QStringLiteral("/opt/new/brindlewick")};
  std::optional<QString> installError;
  // The bytes of each update handed to the installer, as the installer reads them.
  QList<QByteArray> installed;
  QStringList restarts;
  bool restartSucceeds = true;
  // What the desktop's opener answers for a handed-off file.
  bool openSucceeds = true;
  int quits = 0;
  QList<QUrl> opened;

  QString defaultsFile() const { return folder.filePath(QStringLiteral("defaults.json")); }
  // The program's cache folder, which holds the download folder.
  QString cacheFolder = folder.path();
  QString downloadFolder() const { return cacheFolder + QStringLiteral("/updates"); }
  // "https://127.0.0.1:<port>/updates/<name>".
  QUrl feedURL(const QString& name = QStringLiteral("feed.json"));
  // The feed at `name` with the stand-in's public key.
  UpdateConfiguration configuration(const QString& name = QStringLiteral("feed.json"));
  // An updater running `version`, not started yet.
  std::unique_ptr<FeedUpdater> makeUnstarted(const QString& version = QStringLiteral("0.1.0"));
  // A started updater running `version`.
  std::unique_ptr<FeedUpdater> make(const QString& version = QStringLiteral("0.1.0"),
                                    const QString& feed = QStringLiteral("feed.json"));
  // Gives the fixture's model this rig's updater, running `version`, with the rig's feed and
  // key in its configuration, as the program starts it.
  void configure(ReaderModelFixture& fixture, const QString& version = QStringLiteral("0.1.0"));
  // How many times the stand-in was asked for a feed (any "/updates/….json").
  qsizetype feedRequests();
};

} // namespace brindlewick
