#include "update/InstallLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick {

namespace {

// Owned by this user and writable by them: a folder someone else owns is not ours to replace,
// even where the permissions (or root) would allow it.
bool ownedAndWritable(const QString& folder) {
  struct stat status {};
  const QByteArray path = QFile::encodeName(folder);
  return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
         ::access(path.constData(), W_OK | X_OK) == 0;
}

} // namespace

std::optional<InstallLocation> InstallLocation::of(const QString& executablePath) {
  const QFileInfo executable(executablePath);
  const QString canonical = executable.canonicalFilePath();
  if (canonical.isEmpty())
    return std::nullopt;
  const QFileInfo program(QFileInfo(canonical).absolutePath());
  const QFileInfo lib(program.absolutePath());
  if (program.fileName() != programFolderName || lib.fileName() != libFolderName)
    return std::nullopt;
  // The package manager's tree is its own to update, whoever runs the program.
  const QString prefix = lib.absolutePath();
  const bool packageTree = prefix == QLatin1String("/usr") || (prefix.startsWith(QLatin1String("/usr/")) &&
                                                               prefix != QLatin1String("/usr/local"));
  if (packageTree)
    return std::nullopt;
  if (!ownedAndWritable(program.absoluteFilePath()) || !ownedAndWritable(lib.absoluteFilePath()))
    return std::nullopt;
  return InstallLocation{program.absoluteFilePath(), lib.absoluteFilePath(), QFileInfo(canonical).fileName()};
}

QString InstallLocation::previousFolder() const {
  return QDir(libFolder).filePath(previousName);
}

QString InstallLocation::stagingTemplate() const {
  return QDir(libFolder).filePath(stagingPrefix + QStringLiteral("XXXXXX"));
}

QString InstallLocation::lockPath() const {
  return QDir(libFolder).filePath(lockName);
}

QString InstallLocation::executable() const {
  return QDir(programFolder).filePath(executableName);
}

} // namespace brindlewick
