#include "update/StagedUpdate.h"

#include "foundation/Json.h"
#include "service/BuildConfiguration.h"
#include "update/InstallFolders.h"
#include "update/UpdateTrial.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <stdexcept>

namespace brindlewick::StagedUpdate {

namespace {

Q_LOGGING_CATEGORY(stagedLog, "brindlewick.update")

using namespace InstallFolders;

// The configuration an install carries is a few hundred bytes.
constexpr qint64 maximumConfigurationBytes = 1 << 20;

// The version the staged program's configuration names; empty when it cannot be read.
QString stagedVersion(const InstallLocation& location) {
  QFile configuration(QDir(location.stagedFolder()).filePath(BuildConfiguration::fileName));
  const QFileInfo info(configuration.fileName());
  if (info.isSymLink() || !info.isFile() || info.size() > maximumConfigurationBytes ||
      !configuration.open(QIODevice::ReadOnly))
    return {};
  try {
    return Json::parseObject(configuration.readAll()).value(BuildConfiguration::versionKey).toString();
  } catch (const JsonDecodingError&) {
    return {};
  }
}

// A staged folder that cannot go in place goes, so that no start tries it again.
void dropStaged(const InstallLocation& location, const QString& why) {
  qCWarning(stagedLog) << "the staged update is dropped:" << why;
  if (exists(location.stagedFolder()))
    removeEntry(location.stagedFolder());
}

// Puts the staged program in place, on trial until it has really started. The folder that last
// started stays as the previous one: the replaced folder, or (while a version swapped in since
// waits for its first start) the previous folder that is already there.
QString swapInLocked(const InstallLocation& location, const QString& version,
                     const ProgramSwitch::Steps& steps) {
  const QString staged = location.stagedFolder();
  const std::optional<UpdateTrial::Record> earlier = UpdateTrial::read(location);
  const bool keepReplaced = !UpdateTrial::pending(location);
  UpdateTrial::Record record;
  record.version = version;
  record.folder = identityOf(staged);
  record.fallback = keepReplaced ? resolvedIdentityOf(location.programFolder)
                                 : (earlier ? earlier->fallback : std::nullopt);
  if (keepReplaced)
    UpdateTrial::removePrevious(location, std::nullopt);
  if (keepReplaced && exists(location.previousFolder()))
    throw std::runtime_error(
        QStringLiteral("%1 could not be removed").arg(location.previousFolder()).toStdString());
  // Written before the swap: whichever way it ends, the next start knows what it finds.
  UpdateTrial::write(location, record);
  QTemporaryDir discard(location.stagingTemplate());
  if (!discard.isValid())
    throw std::runtime_error(QStringLiteral("no folder could be made in %1: %2")
                                 .arg(location.libFolder, discard.errorString())
                                 .toStdString());
  try {
    ProgramSwitch::putInPlace(location, staged, keepReplaced, discard.path(), steps);
  } catch (const ProgramSwitchError&) {
    try {
      if (earlier)
        UpdateTrial::write(location, *earlier);
      else
        UpdateTrial::remove(location);
    } catch (const std::runtime_error&) {
      // A record of a swap that did not happen is dropped at the next start.
    }
    throw;
  }
  return location.executable();
}

} // namespace

void stage(const InstallLocation& location, const QString& program, const QString& discardFolder) {
  const QString staged = location.stagedFolder();
  // One staged before goes whole in one rename: a kill never leaves half of it staged.
  if (exists(staged))
    renameEntry(staged, QDir(discardFolder).filePath(QStringLiteral("staged-before")));
  renameEntry(program, staged);
}

bool waitingFor(const QString& executablePath) {
  const std::optional<InstallLocation> location = InstallLocation::of(executablePath);
  return location && isRealFolder(location->stagedFolder());
}

std::optional<QString> swapIn(const InstallLocation& location, const ProgramSwitch::Steps& steps) {
  QLockFile lock(location.lockPath());
  if (!lock.tryLock(10000))
    return std::nullopt;
  if (!isRealFolder(location.stagedFolder()))
    return std::nullopt;
  const QString version = stagedVersion(location);
  if (version.isEmpty()) {
    dropStaged(location, QStringLiteral("its configuration cannot be read"));
    return std::nullopt;
  }
  try {
    return swapInLocked(location, version, steps);
  } catch (const std::runtime_error& error) {
    dropStaged(location, QString::fromUtf8(error.what()));
    return std::nullopt;
  }
}

std::optional<QString> startAndWatch(const QString& executablePath, const QStringList& arguments,
                                     std::chrono::milliseconds limit, const ProgramSwitch::Steps& steps) {
  const std::optional<InstallLocation> location = InstallLocation::of(executablePath);
  if (!location)
    return executablePath;
  const std::optional<QString> incoming = swapIn(*location, steps);
  if (!incoming)
    return location->executable();
  const UpdateRestart::Handover handover = UpdateRestart::startAndWatch(*incoming, limit, arguments);
  if (handover.cameUp)
    return std::nullopt;
  qCWarning(stagedLog) << "the new version did not start:" << handover.failure;
  return UpdateTrial(*incoming).rollBack(handover.failure);
}

} // namespace brindlewick::StagedUpdate
