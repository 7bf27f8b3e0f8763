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
  if (lib.fileName() != libFolderName)
    return std::nullopt;
  // The program runs from the program folder, or from the hidden folder it links to (or
  // linked to before an update that still waits for this copy's restart, or that the command
  // leads into while a switch is cut short).
  const QString named = QDir(lib.absoluteFilePath()).filePath(programFolderName);
  QString current = QFileInfo(named).canonicalFilePath();
  const bool hidden = program.fileName().startsWith(hiddenProgramPrefix);
  if (program.fileName() != programFolderName && !hidden)
    return std::nullopt;
  if (current.isEmpty() && hidden)
    current = program.absoluteFilePath();
  if (current.isEmpty())
    return std::nullopt;
  // The package manager's tree is its own to update, whoever runs the program.
  const QString prefix = lib.absolutePath();
  const bool packageTree = prefix == QLatin1String("/usr") || (prefix.startsWith(QLatin1String("/usr/")) &&
                                                               prefix != QLatin1String("/usr/local"));
  if (packageTree)
    return std::nullopt;
  if (!ownedAndWritable(current) || !ownedAndWritable(lib.absoluteFilePath()))
    return std::nullopt;
  return InstallLocation{named, lib.absoluteFilePath(), QFileInfo(canonical).fileName()};
}

QString InstallLocation::previousFolder() const {
  return QDir(libFolder).filePath(previousName);
}

QString InstallLocation::stagingTemplate() const {
  return QDir(libFolder).filePath(stagingPrefix + QStringLiteral("XXXXXX"));
}

QString InstallLocation::hiddenProgramTemplate() const {
  return QDir(libFolder).filePath(hiddenProgramPrefix + QStringLiteral("XXXXXX"));
}

QString InstallLocation::lockPath() const {
  return QDir(libFolder).filePath(lockName);
}

QString InstallLocation::trialPath() const {
  return QDir(libFolder).filePath(trialName);
}

QString InstallLocation::stagedFolder() const {
  return QDir(libFolder).filePath(stagedName);
}

QString InstallLocation::executable() const {
  return QDir(programFolder).filePath(executableName);
}

QString InstallLocation::command() const {
  return QDir(QFileInfo(libFolder).absolutePath())
      .filePath(binFolderName + QLatin1Char('/') + executableName);
}

QString InstallLocation::commandText() const {
  return commandTextInto(programFolderName);
}

QString InstallLocation::commandTextInto(const QString& folderName) const {
  return QStringLiteral("../%1/%2/%3").arg(libFolderName, folderName, executableName);
}

} // namespace brindlewick
