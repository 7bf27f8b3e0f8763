#include "AsyncProbe.h"
#include "FileModes.h"
#include "ScriptedTlsServer.h"
#include "TarGzBuilder.h"
#include "model/FeedUpdaterRig.h"
#include "update/UpdateInstaller.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <vector>

#include <cstdio>

using namespace brindlewick;

namespace {

// What one updater said, in order.
struct Heard {
  std::optional<UpdateRelease> offer;
  bool askedByReader = false;
  int offers = 0;
  QString title, detail;
  QString failure;
  std::optional<UpdateInstallOutcome> installed;
  QList<FeedUpdater::Phase> phases;
  // Ends the connections with this record.
  QObject context;

  explicit Heard(FeedUpdater& updater) {
    QObject::connect(&updater, &FeedUpdater::offered, &context,
                     [this](const UpdateRelease& release, bool asked) {
                       offer = release;
                       askedByReader = asked;
                       ++offers;
                     });
    QObject::connect(&updater, &FeedUpdater::answered, &context, [this](const QString& t, const QString& d) {
      title = t;
      detail = d;
    });
    QObject::connect(&updater, &FeedUpdater::installFailed, &context,
                     [this](const QString& reason) { failure = reason; });
    QObject::connect(&updater, &FeedUpdater::installed, &context,
                     [this](const UpdateInstallOutcome& outcome) { installed = outcome; });
    QObject::connect(&updater, &FeedUpdater::phaseChanged, &context,
                     [this, &updater] { phases.append(updater.phase()); });
  }
};

bool idle(FeedUpdater& updater) {
  return waitUntil([&] { return updater.phase() == FeedUpdater::Phase::idle; });
}

TEST(FeedUpdater, ACheckTheReaderAsksForAlwaysEndsInAnAnswer) {
  const struct {
    const char* name;
    const char* running;
    const char* feed;
    const char* offered; // or the title of the answer
    const char* detail;
  } rows[] = {
      {"a newer release", "0.1.0", "feed.json", "0.2.0", ""},
      {"newer by the tenth minor", "0.1.9", "feed.json", "0.2.0", ""},
      {"up to date", "0.2.0", "feed.json", "You're up to date.",
       "Brindlewick 0.2.0 is the newest version available."},
      {"ahead of the feed", "0.10.0", "feed.json", "You're up to date.", "0.10.0"},
      {"a malformed feed", "0.1.0", "feed-malformed.json", "Brindlewick could not check for updates.",
       "The update feed is not a valid update feed: releases"},
      {"no feed there", "0.1.0", "gone.json", "Brindlewick could not check for updates.", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    const auto updater = rig.make(QString::fromLatin1(row.running), QString::fromLatin1(row.feed));
    Heard heard(*updater);
    QSignalSpy canCheck(updater.get(), &UpdaterBackend::canCheckForUpdatesChanged);
    ASSERT_TRUE(updater->canCheckForUpdates());
    updater->checkForUpdates();
    EXPECT_FALSE(updater->canCheckForUpdates());
    // A second press while one runs starts nothing.
    updater->checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return heard.offer || !heard.title.isEmpty(); }));
    EXPECT_TRUE(updater->canCheckForUpdates());
    EXPECT_EQ(canCheck.count(), 2);
    EXPECT_EQ(rig.feedRequests(), 1);
    if (QString::fromLatin1(row.offered).front().isDigit()) {
      EXPECT_EQ(heard.offer->version.text(), QString::fromLatin1(row.offered));
      EXPECT_TRUE(heard.askedByReader);
      EXPECT_TRUE(heard.offer->notes.startsWith("The stand-in reading service's sample update"));
    } else {
      EXPECT_FALSE(heard.offer);
      EXPECT_EQ(heard.title, QString::fromLatin1(row.offered));
      EXPECT_FALSE(heard.detail.isEmpty());
      EXPECT_TRUE(heard.detail.contains(QString::fromLatin1(row.detail))) << heard.detail.toStdString();
    }
  }
}

TEST(FeedUpdater, ChecksAMinuteAfterStartThenDailyAndKeepsTheTime) {
  FeedUpdaterRig rig;
  const Date started = rig.harness.now();
  {
    const auto updater = rig.make();
    Heard heard(*updater);
    rig.harness.advance(59);
    EXPECT_EQ(rig.feedRequests(), 0);
    rig.harness.advance(1);
    ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
    EXPECT_FALSE(heard.askedByReader);
    ASSERT_TRUE(updater->lastCheck());
    EXPECT_EQ(updater->lastCheck()->secondsSinceReference(), started.secondsSinceReference() + 60);

    rig.harness.advance(FeedUpdater::checkInterval - 1);
    EXPECT_EQ(rig.feedRequests(), 1);
    rig.harness.advance(1);
    ASSERT_TRUE(waitUntil([&] { return heard.offers == 2; }));
  }
  // A new start within the day waits for the day to end, not for a minute.
  rig.harness.advance(3600);
  const auto restarted = rig.make();
  Heard heard(*restarted);
  rig.harness.advance(FeedUpdater::checkInterval - 3600 - 1);
  EXPECT_EQ(rig.feedRequests(), 2);
  rig.harness.advance(1);
  ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
}

// Offline or asleep, a due check waits; it runs a minute after the computer is back.
TEST(FeedUpdater, SkipsAScheduledCheckWhileOfflineOrAsleep) {
  const struct {
    const char* name;
    std::function<void(FeedUpdaterRig&)> away;
    std::function<void(FeedUpdaterRig&)> back;
  } rows[] = {
      {"offline", [](FeedUpdaterRig& rig) { rig.online = false; },
       [](FeedUpdaterRig& rig) {
         rig.online = true;
         Q_EMIT rig.events.networkBecameOnline();
       }},
      {"asleep", [](FeedUpdaterRig& rig) { Q_EMIT rig.events.willSleep(); },
       [](FeedUpdaterRig& rig) { Q_EMIT rig.events.didWake(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    const auto updater = rig.make();
    Heard heard(*updater);
    row.away(rig);
    rig.harness.advance(FeedUpdater::firstCheckDelay + 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.feedRequests(), 0);
    EXPECT_FALSE(updater->lastCheck());
    row.back(rig);
    rig.harness.advance(FeedUpdater::firstCheckDelay - 1);
    EXPECT_EQ(rig.feedRequests(), 0);
    rig.harness.advance(1);
    ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
    EXPECT_TRUE(updater->lastCheck());
  }
}

TEST(FeedUpdater, ASkippedVersionIsOfferedOnlyWhenTheReaderAsks) {
  FeedUpdaterRig rig;
  const auto updater = rig.make();
  Heard heard(*updater);
  updater->checkForUpdates();
  ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
  updater->skip(*heard.offer);
  EXPECT_EQ(updater->skippedVersion(), "0.2.0");

  rig.harness.advance(FeedUpdater::checkInterval);
  ASSERT_TRUE(waitUntil([&] { return rig.feedRequests() == 2 && updater->canCheckForUpdates(); }));
  EXPECT_EQ(heard.offers, 1);
  updater->checkForUpdates();
  ASSERT_TRUE(waitUntil([&] { return heard.offers == 2; }));

  // A newer release than the skipped one is offered by a scheduled check again.
  rig.harness.service().updates().setVersion("0.3.0");
  rig.harness.advance(FeedUpdater::checkInterval);
  ASSERT_TRUE(waitUntil([&] { return heard.offers == 3; }));
  EXPECT_EQ(heard.offer->version.text(), "0.3.0");
}

// While the first-run screens show, a scheduled offer waits; once they have gone it shows a
// minute later. The reader's own check is never held.
TEST(FeedUpdater, AScheduledOfferWaitsWhileHeldAndShowsAMinuteAfter) {
  const struct {
    const char* name;
    // Holds offers (and whatever else the row needs) by the time the check would show one.
    std::function<void(FeedUpdaterRig&, FeedUpdater&)> hold;
    int feedRequestsWhileHeld;
  } rows[] = {
      {"held before the check falls due",
       [](FeedUpdaterRig& rig, FeedUpdater& updater) {
         updater.holdScheduledOffers(true);
         rig.harness.advance(FeedUpdater::firstCheckDelay);
       },
       0},
      {"held while the check reads the feed",
       [](FeedUpdaterRig& rig, FeedUpdater& updater) {
         rig.harness.service().addFault("GET", "/updates/{id}", StandInFault{.times = 1, .hold = true});
         rig.harness.advance(FeedUpdater::firstCheckDelay);
         ASSERT_TRUE(waitUntil([&] { return rig.harness.service().heldReplies() == 1; }));
         updater.holdScheduledOffers(true);
         rig.harness.service().releaseHeld();
         ASSERT_TRUE(idle(updater));
       },
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    const auto updater = rig.make();
    Heard heard(*updater);
    row.hold(rig, *updater);
    // Held for hours: nothing is offered, however many checks fall due.
    rig.harness.advance(3 * FeedUpdater::retryDelay);
    QCoreApplication::processEvents();
    EXPECT_EQ(heard.offers, 0);
    EXPECT_EQ(rig.feedRequests(), row.feedRequestsWhileHeld);

    updater->holdScheduledOffers(false);
    rig.harness.advance(FeedUpdater::firstCheckDelay - 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(heard.offers, 0);
    rig.harness.advance(1);
    ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
    EXPECT_FALSE(heard.askedByReader);
    EXPECT_EQ(rig.feedRequests(), row.feedRequestsWhileHeld + 1);
  }

  FeedUpdaterRig rig;
  const auto updater = rig.make();
  Heard heard(*updater);
  updater->holdScheduledOffers(true);
  updater->checkForUpdates();
  ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
  EXPECT_TRUE(heard.askedByReader);
}

// Let go just before a scheduled check would offer, the hold still keeps the reader's first
// minute quiet: the offer comes a minute after it was let go, never seconds after the
// first-run screens have gone. A check hours away stays where it was.
TEST(FeedUpdater, AScheduledOfferComesAQuietMinuteAfterTheHoldIsLetGo) {
  const struct {
    const char* name;
    // Holds offers and lets them go; the time stands at the moment they were let go.
    std::function<void(FeedUpdaterRig&, FeedUpdater&)> letGo;
    int feedRequestsBefore;
  } rows[] = {
      {"let go two seconds before the first check falls due",
       [](FeedUpdaterRig& rig, FeedUpdater& updater) {
         updater.holdScheduledOffers(true);
         rig.harness.advance(FeedUpdater::firstCheckDelay - 2);
         updater.holdScheduledOffers(false);
       },
       0},
      {"held and let go while the check reads the feed",
       [](FeedUpdaterRig& rig, FeedUpdater& updater) {
         rig.harness.service().addFault("GET", "/updates/{id}", StandInFault{.times = 1, .hold = true});
         rig.harness.advance(FeedUpdater::firstCheckDelay);
         ASSERT_TRUE(waitUntil([&] { return rig.harness.service().heldReplies() == 1; }));
         updater.holdScheduledOffers(true);
         updater.holdScheduledOffers(false);
         rig.harness.service().releaseHeld();
         ASSERT_TRUE(waitUntil(
             [&] { return rig.feedRequests() == 1 && updater.phase() == FeedUpdater::Phase::idle; }));
       },
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    const auto updater = rig.make();
    Heard heard(*updater);
    row.letGo(rig, *updater);
    rig.harness.advance(FeedUpdater::firstCheckDelay - 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(heard.offers, 0);
    EXPECT_EQ(rig.feedRequests(), row.feedRequestsBefore);
    rig.harness.advance(1);
    ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
    EXPECT_FALSE(heard.askedByReader);
    EXPECT_EQ(rig.feedRequests(), row.feedRequestsBefore + 1);
  }

  FeedUpdaterRig rig;
  const auto updater = rig.make();
  Heard heard(*updater);
  rig.harness.advance(FeedUpdater::firstCheckDelay);
  ASSERT_TRUE(waitUntil([&] { return heard.offers == 1; }));
  ASSERT_TRUE(idle(*updater));
  updater->holdScheduledOffers(true);
  updater->holdScheduledOffers(false);
  rig.harness.advance(3 * FeedUpdater::firstCheckDelay);
  QCoreApplication::processEvents();
  EXPECT_EQ(rig.feedRequests(), 1) << "the day's check is not brought forward";
}

// The release a check the reader asked for offers.
std::optional<UpdateRelease> offerFrom(FeedUpdater& updater) {
  Heard heard(updater);
  updater.checkForUpdates();
  waitUntil([&] { return heard.offer.has_value() || !heard.title.isEmpty(); });
  return heard.offer;
}

// Installs the release a check the reader asked for offers; a failure says why not.
::testing::AssertionResult installsTheOffer(FeedUpdater& updater) {
  const std::optional<UpdateRelease> release = offerFrom(updater);
  if (!release)
    return ::testing::AssertionFailure() << "nothing was offered";
  Heard heard(updater);
  updater.install(*release);
  waitUntil([&] { return heard.installed || !heard.failure.isEmpty(); });
  if (!heard.installed)
    return ::testing::AssertionFailure() << "not installed: " << heard.failure.toStdString();
  return ::testing::AssertionSuccess();
}

TEST(FeedUpdater, InstallsOnlyAVerifiedArchive) {
  const struct {
    const char* name;
    const char* feed;
    std::optional<QString> installError;
    const char* failure; // "" when installed
  } rows[] = {
      {"verified", "feed.json", std::nullopt, ""},
      {"a bad signature", "feed-bad-signature.json", std::nullopt, "signature does not match"},
      {"a length longer than served", "feed-wrong-length.json", std::nullopt, "the update feed announced"},
      {"a length shorter than served", "feed-short-length.json", std::nullopt, "the update feed announced"},
      {"the installer refuses", "feed.json", QString("The disk is full."), "The disk is full."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    rig.installError = row.installError;
    const auto updater = rig.make("0.1.0", QString::fromLatin1(row.feed));
    const std::optional<UpdateRelease> release = offerFrom(*updater);
    ASSERT_TRUE(release);
    Heard heard(*updater);
    updater->install(*release);
    EXPECT_EQ(updater->phase(), FeedUpdater::Phase::downloading);
    EXPECT_FALSE(updater->canCheckForUpdates());
    ASSERT_TRUE(waitUntil([&] { return heard.installed || !heard.failure.isEmpty(); }));
    EXPECT_EQ(updater->phase(), FeedUpdater::Phase::idle);
    EXPECT_TRUE(updater->canCheckForUpdates());
    const bool verified = QString::fromLatin1(row.feed) == "feed.json";
    // Only a verified file ever reaches the installer.
    EXPECT_EQ(rig.installed,
              verified ? QList{rig.harness.service().updates().archive()} : QList<QByteArray>{});
    if (*row.failure) {
      EXPECT_TRUE(heard.failure.contains(QString::fromLatin1(row.failure))) << heard.failure.toStdString();
      EXPECT_FALSE(heard.installed);
    } else {
      EXPECT_EQ(heard.phases, (QList{FeedUpdater::Phase::downloading, FeedUpdater::Phase::verifying,
                                     FeedUpdater::Phase::installing, FeedUpdater::Phase::idle}));
      ASSERT_TRUE(heard.installed);
      EXPECT_EQ(heard.installed->path, rig.outcome.path);
    }
    // Nothing is left in the download folder, whatever happened.
    EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());
  }
}

TEST(FeedUpdater, AHandedOffFileIsOpenedAndASwapRestartsOnlyWhenItStarted) {
  FeedUpdaterRig rig;
  rig.outcome = {UpdateInstallOutcome::Kind::handedOff,
                 rig.folder.filePath("Downloads/brindlewick-0.2.0.tar.gz")};
  const auto updater = rig.make();
  const std::optional<UpdateRelease> release = offerFrom(*updater);
  ASSERT_TRUE(release);
  Heard heard(*updater);
  updater->install(*release);
  ASSERT_TRUE(waitUntil([&] { return heard.installed.has_value(); }));
  EXPECT_EQ(rig.opened, QList{QUrl::fromLocalFile(rig.outcome.path)});

  rig.restartSucceeds = false;
  EXPECT_FALSE(updater->restartInto("/opt/new/brindlewick"));
  EXPECT_EQ(rig.quits, 0);
  rig.restartSucceeds = true;
  EXPECT_TRUE(updater->restartInto("/opt/new/brindlewick"));
  EXPECT_EQ(rig.quits, 1);
  EXPECT_EQ(rig.restarts, (QStringList{"/opt/new/brindlewick", "/opt/new/brindlewick"}));
}

QCoro::Task<UpdateInstallOutcome> installWith(std::shared_ptr<UpdateInstaller> installer,
                                              std::shared_ptr<const DownloadedUpdate> update,
                                              QString version) {
  co_return co_await installer->install(std::move(update), std::move(version));
}

// A per-user install of version 0.1.0 under `prefix`, laid out as `cmake --install` makes it,
// and the real installer for it.
std::shared_ptr<UpdateInstaller> perUserInstall(const QString& prefix, const QString& downloads) {
  const QString program = prefix + "/lib/brindlewick/brindlewick";
  EXPECT_TRUE(QDir().mkpath(prefix + "/lib/brindlewick") && QDir().mkpath(prefix + "/bin"));
  for (const auto& [path, contents] : {std::pair{program, QByteArray("#!/bin/sh\necho old\n")},
                                       std::pair{prefix + "/lib/brindlewick/brindlewick-configuration.json",
                                                 QByteArray(R"({"CFBundleShortVersionString": "0.1.0"})")}}) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
  }
  QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_TRUE(QFile::link("../lib/brindlewick/brindlewick", prefix + "/bin/brindlewick"));
  auto installer = std::make_shared<UpdateInstaller>(prefix + "/bin/brindlewick", downloads);
  EXPECT_TRUE(installer->installsInPlace());
  return installer;
}

QByteArray contentsOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The stand-in's signed release archive, through the real installer, into a per-user install
// laid out as `cmake --install` makes it.
TEST(FeedUpdater, AVerifiedReleaseReplacesAPerUserInstall) {
  FeedUpdaterRig rig;
  const QString prefix = rig.folder.filePath("prefix");
  auto installer = perUserInstall(prefix, rig.folder.filePath("Downloads"));
  rig.installer = [installer](std::shared_ptr<const DownloadedUpdate> update, QString version) {
    return installWith(installer, std::move(update), version);
  };

  const auto updater = rig.make();
  const std::optional<UpdateRelease> release = offerFrom(*updater);
  ASSERT_TRUE(release);
  Heard heard(*updater);
  updater->install(*release);
  ASSERT_TRUE(waitUntil([&] { return heard.installed || !heard.failure.isEmpty(); }, 30000));
  ASSERT_TRUE(heard.installed) << heard.failure.toStdString();
  EXPECT_EQ(heard.installed->kind, UpdateInstallOutcome::Kind::staged);
  // Staged: the next start of the version the reader has puts it in place.
  QFile configuration(prefix + "/lib/.brindlewick-staged/brindlewick-configuration.json");
  ASSERT_TRUE(configuration.open(QIODevice::ReadOnly));
  EXPECT_TRUE(configuration.readAll().contains("\"0.2.0\""));
  EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());
}

// Between the check of the signature and the install, another program of the reader's puts an
// unsigned archive where the download was, or removes it: the checked bytes are installed.
TEST(FeedUpdater, TheInstallerGetsTheCheckedBytesWhateverTakesTheDownloadsPlace) {
  const struct {
    const char* name;
    std::function<void(const QString& download)> tamper;
  } rows[] = {
      {"an unsigned archive put in its place",
       [](const QString& download) {
         TarGzBuilder planted;
         planted.addFile("lib/brindlewick/brindlewick", "#!/bin/sh\necho planted\n", 0755);
         planted.addFile("lib/brindlewick/brindlewick-configuration.json",
                         R"({"CFBundleShortVersionString": "0.2.0"})");
         QFile file(download + ".planted");
         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         file.write(planted.archive());
         file.close();
         ASSERT_EQ(::rename(QFile::encodeName(file.fileName()).constData(),
                            QFile::encodeName(download).constData()),
                   0);
       }},
      {"its name removed", [](const QString& download) { QFile::remove(download); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    const QString prefix = rig.folder.filePath("prefix");
    auto installer = perUserInstall(prefix, rig.folder.filePath("Downloads"));
    const QString download = rig.downloadFolder() + "/brindlewick-0.2.0-Linux.tar.gz";
    rig.installer = [&, installer](std::shared_ptr<const DownloadedUpdate> update, QString version) {
      row.tamper(download);
      return installWith(installer, std::move(update), version);
    };
    const auto updater = rig.make();
    const std::optional<UpdateRelease> release = offerFrom(*updater);
    ASSERT_TRUE(release);
    Heard heard(*updater);
    updater->install(*release);
    ASSERT_TRUE(waitUntil([&] { return heard.installed || !heard.failure.isEmpty(); }, 30000));
    ASSERT_TRUE(heard.installed) << heard.failure.toStdString();
    const QByteArray program = contentsOf(prefix + "/lib/.brindlewick-staged/brindlewick");
    EXPECT_FALSE(program.contains("planted"));
    EXPECT_TRUE(program.contains("0.2.0")) << program.toStdString();
    EXPECT_TRUE(
        contentsOf(prefix + "/lib/.brindlewick-staged/brindlewick-configuration.json").contains("\"0.2.0\""));
  }
}

// A start after a crash or a power cut in the middle of a download: the download left in the
// download folder goes, and every other name there stays (a link with the download's name goes,
// never what it points to). The folders an earlier version made under the session's umask are
// the reader's alone again; where the cache folder is a link to a folder of the reader's, that
// and the download folder in it keep their modes, at the start and through a download.
TEST(FeedUpdater, WhatAnEarlierRunLeftInTheDownloadFolderGoesWhenTheUpdaterIsMade) {
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "a cache folder linked to the reader's" : "a cache folder of the program's");
    FeedUpdaterRig rig;
    const QString cache = linked ? rig.folder.filePath("Documents") : rig.folder.path();
    if (linked) {
      rig.cacheFolder = rig.folder.filePath("cache");
      ASSERT_TRUE(QDir().mkpath(cache) && QFile::link(cache, rig.cacheFolder));
    }
    const QString downloads = rig.downloadFolder();
    ASSERT_TRUE(QDir().mkpath(downloads + "/kept-folder"));
    const auto write = [](const QString& path, const QByteArray& bytes) {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(bytes);
    };
    write(downloads + "/brindlewick-0.2.0-Linux.tar.gz", QByteArray(1 << 20, 'a'));
    write(downloads + "/.partial", "half");
    write(downloads + "/brindlewick-0.2.0.tar.gz", "kept for the package manager");
    write(downloads + "/brindlewick-beta-Linux.tar.gz", "the reader's");
    write(downloads + "/kept-folder/inside", "inside");
    write(rig.folder.filePath("outside"), "outside");
    ASSERT_TRUE(QFile::link(rig.folder.filePath("outside"), downloads + "/link-to-outside"));
    ASSERT_TRUE(QFile::link(rig.folder.filePath("outside"), downloads + "/brindlewick-0.3.0-Linux.tar.gz"));
    ASSERT_TRUE(FileModes::setMode(cache, 0755) && FileModes::setMode(downloads, 0755));
    const QStringList readers{".partial", "brindlewick-0.2.0.tar.gz", "brindlewick-beta-Linux.tar.gz",
                              "kept-folder", "link-to-outside"};
    const auto listing = [&] {
      return QDir(downloads).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    };

    const auto updater = rig.make();

    EXPECT_EQ(listing(), readers);
    EXPECT_EQ(contentsOf(downloads + "/kept-folder/inside"), "inside");
    EXPECT_EQ(contentsOf(rig.folder.filePath("outside")), "outside");
    EXPECT_EQ(FileModes::modeOf(downloads), linked ? 0755 : 0700);
    EXPECT_EQ(FileModes::modeOf(cache), linked ? 0755 : 0700);

    EXPECT_TRUE(installsTheOffer(*updater));
    EXPECT_EQ(listing(), readers);
    EXPECT_EQ(FileModes::modeOf(downloads), linked ? 0755 : 0700);
  }
}

// The download folder's name taken by a link to a folder of the reader's, whether it was
// there at the start or put there before a download: the reader's folder keeps every file and
// its mode, the link is set aside beside it, and the download goes to a folder of our own.
TEST(FeedUpdater, ALinkInPlaceOfTheDownloadFolderIsSetAsideNotFollowed) {
  for (const bool beforeDownload : {false, true}) {
    SCOPED_TRACE(beforeDownload ? "put there before a download" : "there at the start");
    FeedUpdaterRig rig;
    const QString readers = rig.folder.filePath("Documents");
    ASSERT_TRUE(QDir().mkpath(readers));
    for (const char* name : {"thesis.odt", "photo.jpg", ".hidden-notes"}) {
      QFile file(readers + "/" + name);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(name) > 0);
    }
    ASSERT_TRUE(QFile::link(readers + "/thesis.odt", readers + "/thesis-link"));
    ASSERT_TRUE(FileModes::setMode(readers, 0755));
    const QStringList everything{".hidden-notes", "photo.jpg", "thesis-link", "thesis.odt"};
    const auto listing = [&] {
      return QDir(readers).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
    };
    if (!beforeDownload) {
      ASSERT_TRUE(QFile::link(readers, rig.downloadFolder()));
    }

    const auto updater = rig.make();
    if (beforeDownload) {
      ASSERT_FALSE(QFileInfo::exists(rig.downloadFolder())) << "a start makes no download folder";
      ASSERT_TRUE(QFile::link(readers, rig.downloadFolder()));
    }
    EXPECT_EQ(listing(), everything);
    EXPECT_EQ(FileModes::modeOf(readers), 0755);
    EXPECT_EQ(QFileInfo(rig.downloadFolder() + ".link").symLinkTarget(),
              beforeDownload ? QString() : readers);

    EXPECT_TRUE(installsTheOffer(*updater));
    EXPECT_EQ(rig.installed, QList{rig.harness.service().updates().archive()});
    EXPECT_EQ(listing(), everything);
    EXPECT_EQ(FileModes::modeOf(readers), 0755);
    EXPECT_EQ(QFileInfo(rig.downloadFolder() + ".link").symLinkTarget(), readers);
    EXPECT_FALSE(QFileInfo(rig.downloadFolder()).isSymLink());
    EXPECT_EQ(FileModes::modeOf(rig.downloadFolder()), 0700);
  }
}

// A download folder that cannot be made says why, in the system's words, and the install
// leaves what stands in its way as it was.
TEST(FeedUpdater, ADownloadFolderThatCannotBeMadeSaysWhy) {
  for (const bool link : {true, false}) {
    SCOPED_TRACE(link ? "the cache folder a link to a folder that is gone" : "the cache folder a file");
    FeedUpdaterRig rig;
    rig.cacheFolder = rig.folder.filePath("cache");
    QFile file(rig.cacheFolder);
    ASSERT_TRUE(link ? QFile::link(rig.folder.filePath("gone"), rig.cacheFolder)
                     : file.open(QIODevice::WriteOnly) && file.write("the reader's") > 0 && file.flush());
    const auto updater = rig.make();
    const std::optional<UpdateRelease> release = offerFrom(*updater);
    ASSERT_TRUE(release);
    Heard heard(*updater);
    updater->install(*release);
    ASSERT_TRUE(waitUntil([&] { return !heard.failure.isEmpty() || heard.installed; }));
    EXPECT_EQ(heard.failure,
              QStringLiteral("The folder %1 could not be made (%2).")
                  .arg(rig.downloadFolder(), link ? "No such file or directory" : "Not a directory"));
    EXPECT_TRUE(rig.installed.isEmpty());
    EXPECT_EQ(QFileInfo(rig.cacheFolder).symLinkTarget(), link ? rig.folder.filePath("gone") : QString());
    EXPECT_EQ(contentsOf(rig.cacheFolder), link ? "(missing)" : "the reader's");
  }
}

// Installed and waiting for its restart, a version is not downloaded again: the reader who
// asks is reminded of the restart instead.
TEST(FeedUpdater, ASwappedInVersionIsNotOfferedAgainBeforeTheRestart) {
  FeedUpdaterRig rig;
  const auto updater = rig.make();
  const std::optional<UpdateRelease> release = offerFrom(*updater);
  ASSERT_TRUE(release);
  Heard heard(*updater);
  int reminders = 0;
  QObject::connect(updater.get(), &FeedUpdater::installed, &heard.context,
                   [&](const UpdateInstallOutcome&, const QString& version, bool asked) {
                     reminders += asked && version == "0.2.0";
                   });
  updater->install(*release);
  ASSERT_TRUE(waitUntil([&] { return heard.installed.has_value(); }));
  rig.harness.advance(FeedUpdater::checkInterval);
  ASSERT_TRUE(waitUntil([&] { return rig.feedRequests() == 2 && updater->canCheckForUpdates(); }));
  EXPECT_EQ(heard.offers, 0);
  updater->checkForUpdates();
  ASSERT_TRUE(waitUntil([&] { return reminders == 1; }));
  EXPECT_EQ(heard.offers, 0);
  EXPECT_EQ(rig.installed.size(), 1);
}

TEST(FeedUpdater, ACancelledOrAbandonedDownloadLeavesNothing) {
  FeedUpdaterRig rig;
  auto updater = rig.make();
  const std::optional<UpdateRelease> release = offerFrom(*updater);
  ASSERT_TRUE(release);
  // The archive's reply is held: the download stalls.
  rig.harness.service().addFault("GET", "/updates/{id}",
                                 StandInFault{.times = StandInFault::always, .hold = true});
  Heard heard(*updater);
  updater->install(*release);
  ASSERT_TRUE(waitUntil([&] { return rig.harness.service().heldReplies() == 1; }));
  updater->cancelInstall();
  ASSERT_TRUE(idle(*updater));
  EXPECT_TRUE(heard.failure.isEmpty());
  EXPECT_TRUE(rig.installed.isEmpty());
  EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());

  // Gone while downloading: the stalled download ends quietly with the updater.
  updater->install(*release);
  ASSERT_TRUE(waitUntil([&] { return rig.harness.service().heldReplies() == 1; }));
  updater.reset();
  QCoreApplication::processEvents();
  EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());
}

// An https address where nothing listens: a port that was free a moment ago.
QUrl refusingAddress() {
  QTcpServer probe;
  EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
  const quint16 port = probe.serverPort();
  probe.close();
  return QUrl(QStringLiteral("https://127.0.0.1:%1/update").arg(port));
}

// Every way the feed or the download can fail on the network, against servers on this
// computer, says which of the two failed and why in the updater's own words: never the
// reading service's (sign-in, sync), never a redirect's or certificate's failure told as an
// interruption.
TEST(FeedUpdater, AFailedCheckOrDownloadSaysWhatFailed) {
  using Step = ScriptedTlsServer::Step;
  using Servers = std::vector<std::unique_ptr<ScriptedTlsServer>>;
  // The head and a part of the body, then silence.
  const QList<Step> stalls{
      Step::write(ScriptedTlsServer::head(200, {"Content-Length: 4000"}) + QByteArray(100, 'x'))};
  const auto answers = [](int status, const QList<QByteArray>& head, const QByteArray& body = {}) {
    return QList<Step>{Step::write(ScriptedTlsServer::head(status, head) + body), Step::close()};
  };
  TestCertificateAuthority stranger(QStringLiteral("Another Authority"));
  const TlsIdentity strangers = stranger.issueServerIdentity();
  const auto serve = [](Servers& servers, const TlsIdentity& identity, const QList<Step>& script) {
    servers.push_back(std::make_unique<ScriptedTlsServer>(identity, script));
    return servers.back()->baseURL().resolved(QUrl(QStringLiteral("/update")));
  };
  // The stand-in's own address with a user name and password in it.
  const auto withCredentials = [](FeedUpdaterRig& rig) {
    QUrl address = rig.feedURL();
    address.setUserInfo(QStringLiteral("reader:secret"));
    return address;
  };
  // How the row's transfer comes to its end: by itself, by the inactivity time-out (a stall),
  // or by the feed's deadline (a feed that trickles in too slowly).
  enum class End { itself, stall, deadline };
  const struct {
    const char* name;
    bool download; // the release's archive rather than the feed
    End end;
    std::function<QUrl(FeedUpdaterRig&, Servers&)> address;
    QString says; // the whole text, or how it begins (ending in ": ")
  } rows[] = {
      {"an unreachable feed", false, End::itself, [](FeedUpdaterRig&, Servers&) { return refusingAddress(); },
       "The update feed could not be reached. Check your connection and try again."},
      {"a stalled feed", false, End::stall,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(), stalls);
       },
       "The update feed took too long to answer. Check your connection and try again."},
      {"a feed slower than its deadline", false, End::deadline,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(), stalls);
       },
       "The update feed took too long to answer. Check your connection and try again."},
      {"a feed behind another authority's certificate", false, End::itself,
       [&](FeedUpdaterRig&, Servers& servers) {
         return serve(servers, strangers, answers(200, {"Content-Length: 0"}));
       },
       "The update feed's certificate was not accepted."},
      {"a feed answering 503", false, End::itself,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(), answers(503, {"Content-Length: 0"}));
       },
       "The update feed answered with HTTP error 503."},
      {"a feed redirected to an address with credentials", false, End::itself,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(),
                      answers(302, {"Location: " + withCredentials(rig).toEncoded(), "Content-Length: 0"}));
       },
       "The update feed was redirected to an address with a user name or password."},
      {"a page that is no feed", false, End::itself,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(),
                      answers(200, {"Content-Length: 13"}, "<html></html>"));
       },
       "The update feed is not a valid update feed: "},
      {"an unreachable download", true, End::itself,
       [](FeedUpdaterRig&, Servers&) { return refusingAddress(); },
       "The update download's server could not be reached. Check your connection and try again."},
      {"a stalled download", true, End::stall,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(), stalls);
       },
       "The update download took too long. Check your connection and try again."},
      {"a download redirected to another authority's certificate", true, End::itself,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         const QUrl elsewhere = serve(servers, strangers, stalls);
         return serve(servers, rig.harness.serverIdentity(),
                      answers(302, {"Location: " + elsewhere.toEncoded(), "Content-Length: 0"}));
       },
       "The update download's server certificate was not accepted."},
      {"a download redirected to an address with credentials", true, End::itself,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(),
                      answers(302, {"Location: " + withCredentials(rig).toEncoded(), "Content-Length: 0"}));
       },
       "The update download was redirected to an address with a user name or password."},
      {"a download answering 503", true, End::itself,
       [&](FeedUpdaterRig& rig, Servers& servers) {
         return serve(servers, rig.harness.serverIdentity(), answers(503, {"Content-Length: 0"}));
       },
       "The update download's server answered with HTTP error 503."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FeedUpdaterRig rig;
    // Real time, kept short; the deadline runs on the harness's clock.
    if (row.end == End::stall)
      rig.inactivityTimeoutMilliseconds = 300;
    Servers servers;
    const QUrl address = row.address(rig, servers);
    QString said;
    std::unique_ptr<FeedUpdater> updater;
    if (row.download) {
      const QJsonObject release{
          {"version", "0.2.0"}, {"url", address.toString()},
          {"length", 4000},     {"signature", QString::fromLatin1(QByteArray(64, 's').toBase64())},
          {"notes", "Notes."},  {"minimumVersion", QJsonValue::Null}};
      rig.harness.service().setReply("GET", "/updates/{id}",
                                     StandInReply::json(200, QJsonObject{{"releases", QJsonArray{release}}}));
      updater = rig.make();
      const std::optional<UpdateRelease> offered = offerFrom(*updater);
      ASSERT_TRUE(offered);
      Heard heard(*updater);
      updater->install(*offered);
      ASSERT_TRUE(waitUntil([&] { return !heard.failure.isEmpty(); }));
      said = heard.failure;
      EXPECT_TRUE(rig.installed.isEmpty());
      EXPECT_TRUE(QDir(rig.downloadFolder()).isEmpty());
    } else {
      updater = rig.makeUnstarted();
      updater->start(UpdateConfiguration{address, rig.harness.service().updates().publicKey()});
      Heard heard(*updater);
      updater->checkForUpdates();
      if (row.end == End::deadline) {
        ASSERT_TRUE(waitUntil([&] { return servers.back()->scriptPlayed(); }));
        rig.harness.advance(NativeAPIClient::Options{}.transferDeadlineSeconds - 1);
        QTest::qWait(50);
        EXPECT_TRUE(heard.title.isEmpty()) << "ended before its deadline";
        rig.harness.advance(1);
      }
      ASSERT_TRUE(waitUntil([&] { return !heard.title.isEmpty(); }));
      EXPECT_EQ(heard.title, FeedUpdater::checkFailedTitle);
      said = heard.detail;
    }
    EXPECT_TRUE(updater->canCheckForUpdates());
    if (row.says.endsWith(": "))
      EXPECT_TRUE(said.startsWith(row.says)) << said.toStdString();
    else
      EXPECT_EQ(said.toStdString(), row.says.toStdString());
  }
}

} // namespace
