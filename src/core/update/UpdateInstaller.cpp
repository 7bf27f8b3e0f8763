#include "update/UpdateInstaller.h"

#include "foundation/Json.h"
#include "foundation/PrivateFiles.h"
#include "foundation/WorkerThread.h"
#include "service/BuildConfiguration.h"
#include "update/ArchiveExtractor.h"
#include "update/DownloadedUpdate.h"
#include "update/InstallFolders.h"
#include "update/InstallLocation.h"
#include "update/ProgramSwitch.h"
#include "update/StagedUpdate.h"
#include "update/StartCheck.h"
#include "update/UpdateVersion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(updateLog, "brindlewick.update")

// The configuration an install carries is a few hundred bytes.
constexpr qint64 maximumConfigurationBytes = 1 << 20;

using InstallFolders::identityOf;
using InstallFolders::isRealFolder;
using InstallFolders::removeEntry;

// Versions are dot-separated non-negative integers; a version also names a kept file.
void requireVersionText(const QString& version) {
  if (!UpdateVersion::parse(version))
    throw UpdateInstallError(
        QStringLiteral("The update's version \"%1\" is not a version number.").arg(version));
}

// "1.4" and "1.4.0" are the same version.
bool sameVersion(const QString& left, const QString& right) {
  const std::optional<UpdateVersion> a = UpdateVersion::parse(left);
  const std::optional<UpdateVersion> b = UpdateVersion::parse(right);
  return a && b && *a == *b;
}

UpdateInstallError unreadableDownload(const QIODevice& source) {
  return UpdateInstallError(
      QStringLiteral("The downloaded update could not be read: %1.").arg(source.errorString()));
}

// ".tar.gz" for a release archive, ".deb" for a Debian package; otherwise the suffix of the
// name it was downloaded as.
QString keptSuffix(const DownloadedUpdate& update) {
  const QByteArray head = update.reader()->read(8);
  if (head.startsWith("\x1f\x8b"))
    return QStringLiteral(".tar.gz");
  if (head == "!<arch>\n")
    return QStringLiteral(".deb");
  const QString own = QFileInfo(update.path()).completeSuffix();
  return own.isEmpty() ? QString() : QLatin1Char('.') + own;
}

bool sameContents(const QString& kept, const DownloadedUpdate& update) {
  QFile file(kept);
  if (file.size() != update.size() || !file.open(QIODevice::ReadOnly))
    return false;
  const std::unique_ptr<QIODevice> source = update.reader();
  while (!file.atEnd()) {
    if (file.read(1 << 16) != source->read(1 << 16))
      return false;
  }
  return true;
}

// A system-wide install is the package manager's: the verified bytes go to the reader's
// download folder under a name that says what they are, for the desktop's software installer.
UpdateInstallOutcome handOff(const DownloadedUpdate& update, const QString& downloadFolder,
                             const QString& version) {
  const auto keepFailed = [&](const QString& why) {
    return UpdateInstallError(
        QStringLiteral("The update could not be kept in %1: %2.").arg(downloadFolder, why));
  };
  // The reader's folder: made (0700) only when missing, its mode otherwise left as it is and
  // never changed through a link.
  if (PrivateFiles::createFolder(downloadFolder))
    throw keepFailed(QStringLiteral("the folder could not be made"));

  const QString base = QStringLiteral("brindlewick-") + version;
  const QString suffix = keptSuffix(update);
  const QDir folder(downloadFolder);
  // A copy kept earlier is used again; a different file of that name is left alone.
  for (int attempt = 1; attempt <= 100; ++attempt) {
    const QString name =
        attempt == 1 ? base + suffix : QStringLiteral("%1-%2%3").arg(base).arg(attempt).arg(suffix);
    const QString target = folder.filePath(name);
    if (QFileInfo(target).isFile() && sameContents(target, update))
      return {UpdateInstallOutcome::Kind::handedOff, target};
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
      continue;
    // Written under a temporary name (0600) and renamed, so a half-written file is never
    // what the reader opens.
    QTemporaryFile copy(folder.filePath(QStringLiteral(".brindlewick-download-XXXXXX")));
    if (!copy.open())
      throw keepFailed(copy.errorString());
    const std::unique_ptr<QIODevice> source = update.reader();
    while (!source->atEnd()) {
      const QByteArray piece = source->read(1 << 16);
      if (piece.isEmpty())
        throw unreadableDownload(*source);
      if (copy.write(piece) != piece.size())
        throw keepFailed(copy.errorString());
    }
    if (!copy.flush() || ::fsync(copy.handle()) != 0)
      throw keepFailed(copy.errorString());
    if (!copy.rename(target)) {
      if (QFileInfo::exists(target))
        continue;
      throw keepFailed(copy.errorString());
    }
    copy.setAutoRemove(false);
    return {UpdateInstallOutcome::Kind::handedOff, target};
  }
  throw keepFailed(QStringLiteral("too many files of that name are there already"));
}

// The program folder in an unpacked release: lib/brindlewick, at the top or below the one
// folder that an archive made by the release tooling starts with.
QString unpackedProgramFolder(const QString& staging) {
  const QString direct = QDir(staging).filePath(QStringLiteral("lib/brindlewick"));
  if (isRealFolder(QDir(staging).filePath(QStringLiteral("lib"))) && isRealFolder(direct))
    return direct;
  const QStringList top =
      QDir(staging).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  if (top.size() == 1) {
    const QString nested = QDir(staging).filePath(top.first() + QStringLiteral("/lib/brindlewick"));
    if (isRealFolder(QDir(staging).filePath(top.first())) &&
        isRealFolder(QDir(staging).filePath(top.first() + QStringLiteral("/lib"))) && isRealFolder(nested))
      return nested;
  }
  throw UpdateInstallError(
      QStringLiteral("The update does not hold the Brindlewick program; nothing was changed."));
}

// The unpacked program must be a program, with its configuration, of the announced version.
void checkUnpackedProgram(const QString& program, const QString& executableName, const QString& version) {
  struct stat status {};
  const QString executable = QDir(program).filePath(executableName);
  if (::lstat(QFile::encodeName(executable).constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
      (status.st_mode & S_IXUSR) == 0)
    throw UpdateInstallError(
        QStringLiteral("The update does not hold the Brindlewick program; nothing was changed."));
  QFile configuration(QDir(program).filePath(BuildConfiguration::fileName));
  const QFileInfo info(configuration.fileName());
  QString held;
  if (!info.isSymLink() && info.isFile() && info.size() <= maximumConfigurationBytes &&
      configuration.open(QIODevice::ReadOnly)) {
    try {
      held = Json::parseObject(configuration.readAll()).value(BuildConfiguration::versionKey).toString();
    } catch (const JsonDecodingError&) {
    }
  }
  if (held.isEmpty())
    throw UpdateInstallError(
        QStringLiteral("The update's configuration is missing or unreadable; nothing was changed."));
  if (!sameVersion(held, version))
    throw UpdateInstallError(
        QStringLiteral("The update holds version %1, not the announced %2; nothing was changed.")
            .arg(held, version));
}

// Before it goes in place, the new program must show that it starts.
void checkStarts(const QString& program, const QString& executableName, const QString& version) {
  if (const std::optional<QString> problem = StartCheck::run(QDir(program).filePath(executableName), version))
    throw UpdateInstallError(
        QStringLiteral("The update's program does not start (%1); nothing was changed.").arg(*problem));
}

// Unpacks the verified bytes into the staging folder and finds the program folder in them.
// Only that folder is swapped in, so every link in it must stay inside it.
QString unpackProgram(const DownloadedUpdate& update, const QString& staging) {
  try {
    const std::unique_ptr<QIODevice> archive = update.reader();
    extractArchive(*archive, staging);
    const QString program = unpackedProgramFolder(staging);
    requireLinksInside(program, staging);
    return program;
  } catch (const ArchiveError& error) {
    throw UpdateInstallError(error.message());
  }
}

UpdateInstallOutcome installInPlace(const InstallLocation& location, const DownloadedUpdate& update,
                                    const QString& version) {
  QLockFile lock(location.lockPath());
  if (!lock.tryLock(0))
    throw UpdateInstallError(QStringLiteral(
        "Another copy of Brindlewick is installing an update; try again once it has finished."));
  // Private (0700) and removed with whatever is left in it when this ends, whichever way.
  QTemporaryDir staging(location.stagingTemplate());
  if (!staging.isValid())
    throw UpdateInstallError(QStringLiteral("The update could not be unpacked into %1: %2.")
                                 .arg(location.libFolder, staging.errorString()));
  const QString unpacked = unpackProgram(update, staging.path());
  checkUnpackedProgram(unpacked, location.executableName, version);
  checkStarts(unpacked, location.executableName, version);
  try {
    StagedUpdate::stage(location, unpacked, staging.path());
  } catch (const std::runtime_error& error) {
    throw UpdateInstallError(QStringLiteral("The update could not be put in place: %1; nothing was changed.")
                                 .arg(QString::fromUtf8(error.what())));
  }
  qCInfo(updateLog) << "version" << version << "waits beside" << location.programFolder
                    << "for the next start";
  return {UpdateInstallOutcome::Kind::staged, location.executable()};
}

// A link or a file is written under a temporary name beside its own and renamed over it; a kill
// in between leaves that name (a second command among them, or one leading nowhere). Only names
// of that pattern for our own entries go, and a link is removed, never followed.
void removeTemporaryNames(const InstallLocation& location) {
  const auto removeMatching = [](const QString& folder, const QStringList& names) {
    QStringList patterns;
    for (const QString& name : names)
      patterns.append(QLatin1Char('.') + name + QStringLiteral(".*.tmp"));
    const QDir dir(folder);
    for (const QString& found :
         dir.entryList(patterns, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
      if (!isRealFolder(dir.filePath(found)) &&
          ::unlink(QFile::encodeName(dir.filePath(found)).constData()) != 0)
        qCWarning(updateLog) << "could not remove" << dir.filePath(found);
  };
  removeMatching(location.libFolder, {InstallLocation::trialName, InstallLocation::previousName,
                                      InstallLocation::programFolderName});
  removeMatching(QFileInfo(location.command()).absolutePath(), {location.executableName});
}

} // namespace

UpdateInstallError::UpdateInstallError(QString message)
    : m_message(std::move(message)), m_what(m_message.toUtf8()) {}

UpdateInstaller::UpdateInstaller(QString executablePath, QString downloadFolder)
    : m_executablePath(std::move(executablePath)), m_downloadFolder(std::move(downloadFolder)) {}

bool UpdateInstaller::installsInPlace() const {
  return InstallLocation::of(m_executablePath).has_value();
}

QCoro::Task<UpdateInstallOutcome> UpdateInstaller::install(QString verifiedFile, QString version) {
  std::shared_ptr<const DownloadedUpdate> update;
  try {
    QCoro::Task<std::shared_ptr<const DownloadedUpdate>> opening =
        DownloadedUpdate::openInBackground(std::move(verifiedFile));
    update = co_await std::move(opening);
  } catch (const ArchiveError& error) {
    throw UpdateInstallError(error.message());
  }
  // A named task, not a temporary of the co_await expression (GCC 12 destroys those twice).
  QCoro::Task<UpdateInstallOutcome> installing = install(std::move(update), std::move(version));
  co_return co_await std::move(installing);
}

QCoro::Task<UpdateInstallOutcome> UpdateInstaller::install(std::shared_ptr<const DownloadedUpdate> update,
                                                           QString version) {
  requireVersionText(version);
  Completion<UpdateInstallOutcome> installed = onWorkerThread<UpdateInstallOutcome>(
      [executable = m_executablePath, downloads = m_downloadFolder, update, version] {
        try {
          const std::optional<InstallLocation> location = InstallLocation::of(executable);
          return location ? installInPlace(*location, *update, version)
                          : handOff(*update, downloads, version);
        } catch (const UpdateInstallError&) {
          throw;
        } catch (const std::exception& error) {
          throw UpdateInstallError(
              QStringLiteral("The update could not be installed: %1.").arg(QString::fromUtf8(error.what())));
        }
      });
  co_return co_await installed;
}

void UpdateInstaller::finishPendingInstall() const {
  const std::optional<InstallLocation> location = InstallLocation::of(m_executablePath);
  if (!location)
    return;
  QLockFile lock(location->lockPath());
  if (!lock.tryLock(0))
    return;
  const QDir lib(location->libFolder);
  // A switch that a killed install left half done is completed first; what it moves aside
  // goes with the staging folders below.
  QTemporaryDir discard(location->stagingTemplate());
  if (discard.isValid())
    ProgramSwitch::repair(*location, discard.path());
  const QStringList leftovers =
      lib.entryList({location->stagingPrefix + QLatin1Char('*')},
                    QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
  for (const QString& name : leftovers)
    removeEntry(lib.filePath(name));
  removeTemporaryNames(*location);
}

} // namespace brindlewick
