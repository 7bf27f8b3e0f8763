#include "model/FeedUpdater.h"

#include "desktop/SystemEvents.h"
#include "foundation/OwnFolder.h"
#include "foundation/PrivateFiles.h"
#include "update/DownloadedUpdate.h"
#include "update/TarGzReader.h"
#include "update/UpdateDownloader.h"
#include "update/UpdateSignature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

// A download arrives under this name: what one cut off by a crash or a power cut leaves.
constexpr auto downloadPrefix = "brindlewick-"_L1;
constexpr auto downloadSuffix = "-Linux.tar.gz"_L1;

bool isDownloadName(const QString& name) {
  const qsizetype length = name.size() - downloadPrefix.size() - downloadSuffix.size();
  return length > 0 && name.startsWith(downloadPrefix) && name.endsWith(downloadSuffix) &&
         UpdateVersion::parse(QStringView(name).sliced(downloadPrefix.size(), length));
}

} // namespace

FeedUpdater::FeedUpdater(Services services, QObject* parent)
    : UpdaterBackend(parent), m_services(std::move(services)), m_defaults(m_services.defaultsFile),
      m_running(m_services.runningVersion), m_runningVersion(UpdateVersion::parse(m_running)),
      m_downloader(new UpdateDownloader(
          UpdateDownloader::Options{m_services.clientOptions.additionalCaCertificates,
                                    m_services.clientOptions.inactivityTimeoutMilliseconds,
                                    m_services.clientOptions.scheduler,
                                    m_services.clientOptions.transferDeadlineSeconds},
          this)) {
  if (SystemEvents* events = m_services.events) {
    connect(events, &SystemEvents::willSleep, this, [this] { m_asleep = true; });
    connect(events, &SystemEvents::didWake, this, [this] {
      m_asleep = false;
      resumeWhenPossible();
    });
    connect(events, &SystemEvents::networkBecameOnline, this, &FeedUpdater::resumeWhenPossible);
  }
  clearDownloadFolder();
}

void FeedUpdater::clearDownloadFolder() {
  const QString& folder = m_services.downloadFolder;
  if (folder.isEmpty())
    return;
  // A cache folder that is a link leads to a folder of the reader's, which keeps its mode and
  // that of whatever folder it holds. Otherwise both are ours: an earlier version made them
  // under the session's umask. Neither is made here, and a link at the download folder's name
  // is never followed.
  const QString cache = QFileInfo(folder).absolutePath();
  const bool ours = !QFileInfo(cache).isSymLink();
  if (ours)
    PrivateFiles::tighten(cache);
  const std::optional<OwnFolder> downloads = OwnFolder::open(folder, OwnFolder::Absent::leave);
  if (!downloads)
    return;
  if (ours)
    downloads->tighten();
  downloads->removeFiles(isDownloadName);
}

FeedUpdater::~FeedUpdater() {
  if (m_timer)
    m_services.scheduler.cancel(m_timer);
  // Whatever still runs resumes later, finds this gone and deletes its file.
  m_lifetime.cancel();
}

void FeedUpdater::start(const UpdateConfiguration& configuration) {
  if (m_started)
    return;
  m_feed = configuration.feed;
  m_publicKey = QByteArray::fromBase64(configuration.publicKey.toLatin1());
  // A build whose own version is no version has nothing to compare a release with.
  if (!m_runningVersion)
    return;
  m_started = true;
  double wait = firstCheckDelay;
  if (const std::optional<Date> last = lastCheck()) {
    const double sinceLast = m_services.now().secondsSinceReference() - last->secondsSinceReference();
    // A last check in the future (a clock set back) counts as long ago.
    if (sinceLast >= 0)
      wait = std::max(wait, checkInterval - sinceLast);
  }
  armCheck(wait);
  Q_EMIT canCheckForUpdatesChanged();
}

std::optional<QString> FeedUpdater::skippedVersion() const {
  return m_defaults.string(ApplicationDefaults::skippedUpdateKey);
}

std::optional<Date> FeedUpdater::lastCheck() const {
  const std::optional<double> seconds = m_defaults.number(ApplicationDefaults::lastUpdateCheckKey);
  return seconds ? std::optional<Date>(Date(*seconds)) : std::nullopt;
}

void FeedUpdater::setPhase(Phase phase) {
  if (m_phase == phase)
    return;
  const bool could = canCheckForUpdates();
  m_phase = phase;
  Q_EMIT phaseChanged();
  if (could != canCheckForUpdates())
    Q_EMIT canCheckForUpdatesChanged();
}

void FeedUpdater::armCheck(double seconds) {
  if (m_timer)
    m_services.scheduler.cancel(m_timer);
  m_timerDeadline = m_services.scheduler.now() + seconds;
  m_timer = m_services.scheduler.schedule(seconds, [this] {
    m_timer = 0;
    scheduledCheckDue();
  });
}

void FeedUpdater::scheduledCheckDue() {
  const bool online = !m_services.isOnline || m_services.isOnline();
  if (!online || m_asleep || m_offersHeld || m_phase != Phase::idle) {
    // Owed until the computer is back and offers may show (or an hour has passed).
    m_checkOwed = !online || m_asleep || m_offersHeld;
    armCheck(retryDelay);
    return;
  }
  m_checkOwed = false;
  runCheck(false);
}

void FeedUpdater::resumeWhenPossible() {
  const bool online = !m_services.isOnline || m_services.isOnline();
  if (m_checkOwed && online && !m_asleep && !m_offersHeld) {
    m_checkOwed = false;
    // The network settles first, and the reader finds their feet after the onboarding.
    armCheck(firstCheckDelay);
  }
}

void FeedUpdater::holdScheduledOffers(bool held) {
  if (m_offersHeld == held)
    return;
  m_offersHeld = held;
  if (held)
    return;
  // The reader finds their feet first: an offer a minute after the first-run screens have
  // gone, not over the library they have only just reached.
  m_quietUntil = m_services.scheduler.now() + firstCheckDelay;
  if (m_checkOwed)
    resumeWhenPossible();
  else if (m_timer && m_timerDeadline < m_quietUntil)
    armCheck(firstCheckDelay);
}

void FeedUpdater::checkForUpdates() {
  if (canCheckForUpdates())
    runCheck(true);
}

QCoro::Task<void> FeedUpdater::runCheck(bool askedByReader) {
  const QPointer<FeedUpdater> self(this);
  setPhase(Phase::checking);
  QString problem;
  std::optional<UpdateRelease> offer;
  try {
    // A named task, not a temporary of the co_await expression (GCC 12 destroys those twice).
    QCoro::Task<QByteArray> reading =
        m_downloader->readFeed(m_feed, UpdateFeed::maximumBytes, m_lifetime.token());
    const QByteArray feed = co_await std::move(reading);
    if (!self)
      co_return;
    offer = UpdateFeed::newestOffered(UpdateFeed::parse(feed), *m_runningVersion);
  } catch (const CancelledError&) {
    co_return;
  } catch (const UpdateDownloadError& error) {
    problem = error.description();
  } catch (const UpdateFeedError& error) {
    problem = error.description();
  }
  if (!self)
    co_return;
  setPhase(Phase::idle);
  if (!problem.isEmpty()) {
    // A reader's check leaves the schedule as it was; a scheduled one tries again later.
    if (askedByReader)
      Q_EMIT answered(checkFailedTitle, problem);
    else
      armCheck(retryDelay);
    co_return;
  }
  m_defaults.setNumber(ApplicationDefaults::lastUpdateCheckKey, m_services.now().secondsSinceReference());
  armCheck(checkInterval);
  if (!offer) {
    if (askedByReader)
      Q_EMIT answered(upToDateTitle, u"Brindlewick %1 is the newest version available."_s.arg(m_running));
    co_return;
  }
  // What is installed already waits for the restart, and the reader is reminded of it.
  if (m_staged && offer->version <= m_staged->first) {
    if (askedByReader)
      Q_EMIT installed(m_staged->second, m_staged->first.text(), true);
    co_return;
  }
  // A skipped version waits for the reader to ask; a newer one is offered again.
  if (!askedByReader && skippedVersion() == offer->version.text())
    co_return;
  // Held while this check ran: the feed is read again once offers may show.
  if (!askedByReader && m_offersHeld) {
    m_checkOwed = true;
    co_return;
  }
  // Let go while it ran: read again once the quiet minute is over.
  if (const double quiet = m_quietUntil - m_services.scheduler.now(); !askedByReader && quiet > 0) {
    armCheck(quiet);
    co_return;
  }
  Q_EMIT offered(*offer, askedByReader);
}

void FeedUpdater::skip(const UpdateRelease& release) {
  m_defaults.setString(ApplicationDefaults::skippedUpdateKey, release.version.text());
}

void FeedUpdater::install(const UpdateRelease& release) {
  if (m_phase == Phase::idle && m_started)
    runInstall(release);
}

void FeedUpdater::cancelInstall() {
  if (m_installCancel && (m_phase == Phase::downloading || m_phase == Phase::verifying))
    m_installCancel->cancel();
}

QString FeedUpdater::archivePath(const UpdateRelease& release) const {
  // The version is digits and dots: a safe file name.
  return QDir(m_services.downloadFolder).filePath(downloadPrefix + release.version.text() + downloadSuffix);
}

QCoro::Task<void> FeedUpdater::runInstall(UpdateRelease release) {
  const QPointer<FeedUpdater> self(this);
  const QString path = archivePath(release);
  m_installCancel.emplace(m_lifetime.token());
  const CancellationToken cancelled = m_installCancel->token();
  setPhase(Phase::downloading);
  QString problem;
  try {
    // Made here (0700) when missing, else left with its mode; a link in its place is set
    // aside, never written through. The download itself is the reader's alone.
    QString why;
    if (!OwnFolder::open(m_services.downloadFolder, OwnFolder::Absent::create, &why))
      throw UpdateDownloadError(
          u"The folder %1 could not be made (%2)."_s.arg(m_services.downloadFolder, why));
    const qint64 total = release.length;
    QCoro::Task<void> downloading = m_downloader->download(
        release.url, total, path,
        [this, total](qint64 received) { Q_EMIT downloadProgress(received, total); }, cancelled);
    co_await std::move(downloading);
    if (!self) {
      QFile::remove(path);
      co_return;
    }
    setPhase(Phase::verifying);
    // From here the sealed copy counts, not the file or its name: what is checked is what is
    // installed, and nothing is left behind should this end early.
    QCoro::Task<std::shared_ptr<const DownloadedUpdate>> opening = DownloadedUpdate::openInBackground(path);
    const std::shared_ptr<const DownloadedUpdate> update = co_await std::move(opening);
    QFile::remove(path);
    if (!self)
      co_return;
    QCoro::Task<bool> verifying = UpdateSignature::verifyInBackground(m_publicKey, release.signature, update);
    const bool valid = co_await std::move(verifying);
    if (!self || cancelled.isCancelled()) {
      if (!self)
        co_return;
      throw CancelledError();
    }
    if (!valid)
      throw UpdateDownloadError(badSignatureMessage);
    setPhase(Phase::installing);
    QCoro::Task<UpdateInstallOutcome> installing = m_services.install(update, release.version.text());
    const UpdateInstallOutcome outcome = co_await std::move(installing);
    if (!self)
      co_return;
    m_installCancel.reset();
    setPhase(Phase::idle);
    if (outcome.kind == UpdateInstallOutcome::Kind::staged)
      m_staged.emplace(release.version, outcome);
    // Without an installer for the file the reader is told where it is, not that it opened.
    bool opened = false;
    if (outcome.kind == UpdateInstallOutcome::Kind::handedOff && m_services.openUrl) {
      QCoro::Task<bool> opening = m_services.openUrl(QUrl::fromLocalFile(outcome.path));
      opened = co_await std::move(opening);
      if (!self)
        co_return;
    }
    Q_EMIT installed(outcome, release.version.text(), false, opened);
    co_return;
  } catch (const CancelledError&) {
  } catch (const UpdateDownloadError& error) {
    problem = error.description();
  } catch (const UpdateInstallError& error) {
    problem = error.message();
  } catch (const ArchiveError& error) {
    problem = error.message();
  }
  QFile::remove(path);
  if (!self)
    co_return;
  m_installCancel.reset();
  setPhase(Phase::idle);
  if (!problem.isEmpty())
    Q_EMIT installFailed(problem);
}

void FeedUpdater::reportNotStarted(const QString& version, const QString& reason) {
  if (const std::optional<UpdateVersion> parsed = UpdateVersion::parse(version))
    m_defaults.setString(ApplicationDefaults::skippedUpdateKey, parsed->text());
  QString why = reason;
  if (!why.isEmpty())
    why[0] = why[0].toUpper();
  Q_EMIT answered(notStartedTitle.arg(version),
                  u"Brindlewick %1, the version you had, is back in its place. What happened: %2."_s.arg(
                      m_running, why.isEmpty() ? u"no reason was given"_s : why));
}

bool FeedUpdater::restartInto(const QString& executable) {
  if (!m_services.restart || !m_services.restart(executable))
    return false;
  if (m_services.quit)
    m_services.quit();
  return true;
}

} // namespace brindlewick
