#include "AsyncProbe.h"
#include "FileModes.h"
#include "TarGzBuilder.h"
#include "model/FeedUpdaterRig.h"
#include "update/UpdateInstaller.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

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
       "The update feed is malformed: releases"},
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

// The release a check the reader asked for offers.
std::optional<UpdateRelease> offerFrom(FeedUpdater& updater) {
  Heard heard(updater);
  updater.checkForUpdates();
  waitUntil([&] { return heard.offer.has_value() || !heard.title.isEmpty(); });
  return heard.offer;
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
  EXPECT_EQ(heard.installed->kind, UpdateInstallOutcome::Kind::swapped);
  QFile configuration(prefix + "/lib/brindlewick/brindlewick-configuration.json");
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
    const QByteArray program = contentsOf(prefix + "/lib/brindlewick/brindlewick");
    EXPECT_FALSE(program.contains("planted"));
    EXPECT_TRUE(program.contains("0.2.0")) << program.toStdString();
    EXPECT_TRUE(contentsOf(prefix + "/lib/brindlewick/brindlewick-configuration.json").contains("\"0.2.0\""));
  }
}

// A start after a crash or a power cut in the middle of a download or an install: what was
// left in the download folder goes, with nothing beyond it, and the folders an earlier
// version made under the session's umask are the reader's alone again.
TEST(FeedUpdater, WhatAnEarlierRunLeftInTheDownloadFolderGoesWhenTheUpdaterIsMade) {
  FeedUpdaterRig rig;
  const QString downloads = rig.downloadFolder();
  ASSERT_TRUE(QDir().mkpath(downloads + "/kept-folder"));
  const auto write = [](const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  write(downloads + "/brindlewick-0.2.0-Linux.tar.gz", QByteArray(1 << 20, 'a'));
  write(downloads + "/.partial", "half");
  write(downloads + "/kept-folder/inside", "inside");
  write(rig.folder.filePath("outside"), "outside");
  ASSERT_TRUE(QFile::link(rig.folder.filePath("outside"), downloads + "/link-to-outside"));
  ASSERT_TRUE(QFile::link(rig.folder.filePath("gone"), downloads + "/broken-link"));
  ASSERT_TRUE(FileModes::setMode(rig.folder.path(), 0755) && FileModes::setMode(downloads, 0755));

  const auto updater = rig.makeUnstarted();

  EXPECT_EQ(QDir(downloads).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"kept-folder"});
  EXPECT_EQ(contentsOf(downloads + "/kept-folder/inside"), "inside");
  EXPECT_EQ(contentsOf(rig.folder.filePath("outside")), "outside");
  EXPECT_EQ(FileModes::modeOf(downloads), 0700);
  EXPECT_EQ(FileModes::modeOf(rig.folder.path()), 0700);
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

} // namespace
