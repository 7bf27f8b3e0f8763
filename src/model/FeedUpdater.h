#pragma once

#include "foundation/Cancellation.h"
#include "foundation/Date.h"
#include "foundation/DelayScheduler.h"
#include "model/ApplicationDefaults.h"
#include "model/UpdaterBackend.h"
#include "service/NativeAPIClient.h"
#include "update/UpdateFeed.h"
#include "update/UpdateInstaller.h"

#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace brindlewick {

class DownloadedUpdate;
class SystemEvents;
class UpdateDownloader;

// The application's own updater: it reads the configured feed once a day (the first time a
// minute after start, never while offline or asleep) and when the reader asks, offers the
// newest release this version may install, and on the reader's word downloads it, checks its
// length and its Ed25519 signature under the build's key, and hands it to the installer.
// Nothing unverified is ever installed: the archive is opened once, copied into sealed memory
// and its name removed, the signature is checked over that copy and the installer reads the
// same; a file that fails a check is deleted.
//
// A scheduled check is silent unless it finds an update the reader has not skipped; a check
// the reader asked for always ends in an answer. Main thread only.
class FeedUpdater final : public UpdaterBackend {
  Q_OBJECT
  Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)

public:
  // What the updater is doing; a check and an install never run together.
  enum class Phase { idle, checking, downloading, verifying, installing };
  Q_ENUM(Phase)

  static constexpr double firstCheckDelay = 60;
  static constexpr double checkInterval = 24 * 60 * 60;
  // After a scheduled check that could not run or reach the feed.
  static constexpr double retryDelay = 60 * 60;

  static inline const QString upToDateTitle = QStringLiteral("You're up to date.");
  static inline const QString checkFailedTitle = QStringLiteral("Brindlewick could not check for updates.");
  static inline const QString installFailedTitle = QStringLiteral("The update was not installed.");
  // reportNotStarted()'s title, with the version that did not start.
  static inline const QString notStartedTitle = QStringLiteral("Brindlewick %1 did not start.");
  static inline const QString badSignatureMessage = QStringLiteral(
      "The download's signature does not match this build's update key, so the file was deleted.");

  using Install = std::function<QCoro::Task<UpdateInstallOutcome>(
      std::shared_ptr<const DownloadedUpdate> update, QString version)>;

  struct Services {
    // Runs the waits between checks: the boot clock in production, so a suspend counts.
    DelayScheduler& scheduler;
    // The wall clock of the last check's time, kept across starts.
    NowSource now = systemNow;
    // Where the last check's time and the skipped version are kept.
    QString defaultsFile = ApplicationDefaults::defaultFilePath();
    // The version that runs.
    QString runningVersion;
    // The trust, time-outs and clock of the feed's and the download's transfers (the
    // stand-in's authority in development).
    NativeAPIClient::Options clientOptions;
    // Whether the computer is online now; always when empty.
    std::function<bool()> isOnline;
    // Sleep and wake, and the network coming back; none for neither.
    SystemEvents* events = nullptr;
    // Where the archive is downloaded to (made for this user alone): a folder of the
    // updater's own in the program's cache folder. A download found in it when the updater is
    // made never ended, and goes; every other name stays. Both folders are tightened then,
    // unless the cache folder is a link to one of the reader's, and neither is made. A link in
    // its place is set aside, never followed (foundation/OwnFolder.h).
    QString downloadFolder;
    // Puts a verified archive in place (or hands it off), reading it from the file that was
    // checked.
    Install install;
    // Has `executable` (the program the command starts) started again once this one has quit;
    // that start puts the staged version in place. True when it will be. Then quit.
    std::function<bool(const QString& executable)> restart;
    std::function<void()> quit;
    // The desktop's opener for a handed-off file; answers whether a program took it.
    std::function<QCoro::Task<bool>(QUrl)> openUrl;
  };

  // Made once per start, after the single-instance check: no other copy downloads meanwhile.
  explicit FeedUpdater(Services services, QObject* parent = nullptr);
  ~FeedUpdater() override;

  void start(const UpdateConfiguration& configuration) override;
  bool canCheckForUpdates() const override { return m_started && m_phase == Phase::idle; }
  // A check the reader asked for: it ends in offered() or answered().
  void checkForUpdates() override;

  Phase phase() const { return m_phase; }
  const QString& runningVersion() const { return m_running; }
  // The version the reader skipped; scheduled checks do not offer it.
  std::optional<QString> skippedVersion() const;
  // When the feed was last read; none before the first time.
  std::optional<Date> lastCheck() const;

  // The reader's answers to an offer.
  void install(const UpdateRelease& release);
  void skip(const UpdateRelease& release);
  // Stops a download or a verification; the file is deleted. An install already under way
  // finishes.
  void cancelInstall();
  // Quits to start again, and that start puts the staged version in place and watches it come
  // up; false (and nothing quits) when it cannot.
  bool restartInto(const QString& executable);
  // A version installed here did not start, and this one was put back in its place: the
  // reader is told why (answered()), and scheduled checks no longer offer that version, as if
  // the reader had skipped it ("Check for updates" still does).
  void reportNotStarted(const QString& version, const QString& reason);

  // While held, a scheduled check waits and finds nothing to offer (the first-run screens
  // are on show, and an offer would cover them). Once let go, a quiet minute passes before a
  // scheduled offer shows: a check owed, or one that would fall due sooner, reads the feed a
  // minute later, and one already reading the feed offers nothing before then. A check the
  // reader asks for is never held.
  void holdScheduledOffers(bool held);

Q_SIGNALS:
  void phaseChanged();
  // A newer release this version may install.
  void offered(const brindlewick::UpdateRelease& release, bool askedByReader);
  // The end of a check the reader asked for that offered nothing: up to date, or why not. Also
  // why an installed version did not start (reportNotStarted()).
  void answered(const QString& title, const QString& detail);
  void downloadProgress(qint64 received, qint64 total);
  // An install finished; `version` is the release's. Also the answer to a later check the
  // reader asks for while a staged version waits for the next start (`askedByReader`).
  // `handedOffOpened`: a handed-off file was taken by the desktop's installer.
  void installed(const brindlewick::UpdateInstallOutcome& outcome, const QString& version, bool askedByReader,
                 bool handedOffOpened = false);
  // The download, its checks or the install failed; nothing changed on this computer.
  void installFailed(const QString& reason);

private:
  void setPhase(Phase phase);
  void armCheck(double seconds);
  void scheduledCheckDue();
  QCoro::Task<void> runCheck(bool askedByReader);
  QCoro::Task<void> runInstall(UpdateRelease release);
  void resumeWhenPossible();
  void clearDownloadFolder();
  QString archivePath(const UpdateRelease& release) const;

  Services m_services;
  ApplicationDefaults m_defaults;
  QString m_running;
  std::optional<UpdateVersion> m_runningVersion;
  UpdateDownloader* m_downloader;
  QUrl m_feed;
  QByteArray m_publicKey;
  bool m_started = false;
  Phase m_phase = Phase::idle;
  bool m_asleep = false;
  bool m_offersHeld = false;
  // A scheduled check fell due while it could not run or show its offer.
  bool m_checkOwed = false;
  DelayScheduler::TimerId m_timer = 0;
  // When the armed check falls due, on the scheduler's clock.
  double m_timerDeadline = 0;
  // Until when, on the scheduler's clock, no scheduled offer shows: a minute after the hold
  // was let go.
  double m_quietUntil = 0;
  CancellationSource m_lifetime;
  std::optional<CancellationSource> m_installCancel;
  // A version staged that waits for the next start: it is never offered again meanwhile.
  std::optional<std::pair<UpdateVersion, UpdateInstallOutcome>> m_staged;
};

} // namespace brindlewick
