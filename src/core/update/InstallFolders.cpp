#include "update/InstallFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick::InstallFolders {

namespace {

Q_LOGGING_CATEGORY(installFoldersLog, "brindlewick.update")

QByteArray encoded(const QString& path) {
  return QFile::encodeName(path);
}

// `error` is the errno of the failed call, taken before anything else could change it.
[[noreturn]] void fail(int error, const QString& what) {
  throw std::runtime_error((what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error))).toStdString());
}

// A name beside `path` that nothing else uses, for a file that is renamed onto it.
QString temporaryNameBeside(const QString& path) {
  const QFileInfo info(path);
  return QDir(info.absolutePath())
      .filePath(QStringLiteral(".%1.%2.tmp").arg(info.fileName()).arg(QRandomGenerator::global()->generate64(), 0, 36));
}

std::optional<Identity> identityFromStatus(int result, const struct stat& status) {
  if (result != 0)
    return std::nullopt;
  return Identity{quint64(status.st_dev), quint64(status.st_ino)};
}

} // namespace

QString Identity::text() const {
  return QStringLiteral("%1:%2").arg(device).arg(inode);
}

std::optional<Identity> Identity::fromText(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() != 2)
    return std::nullopt;
  bool deviceOk = false;
  bool inodeOk = false;
  const Identity identity{parts[0].toULongLong(&deviceOk), parts[1].toULongLong(&inodeOk)};
  return deviceOk && inodeOk ? std::optional<Identity>(identity) : std::nullopt;
}

std::optional<Identity> identityOf(const QString& path) {
  struct stat status {};
  return identityFromStatus(::lstat(encoded(path).constData(), &status), status);
}

std::optional<Identity> resolvedIdentityOf(const QString& path) {
  struct stat status {};
  return identityFromStatus(::stat(encoded(path).constData(), &status), status);
}

bool isRealFolder(const QString& path) {
  struct stat status {};
  return ::lstat(encoded(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isLink(const QString& path) {
  struct stat status {};
  return ::lstat(encoded(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

QString linkText(const QString& path) {
  char buffer[4096];
  const ssize_t length = ::readlink(encoded(path).constData(), buffer, sizeof buffer);
  if (length <= 0 || length == ssize_t(sizeof buffer))
    return {};
  return QFile::decodeName(QByteArray(buffer, length));
}

bool exists(const QString& path) {
  struct stat status {};
  return ::lstat(encoded(path).constData(), &status) == 0;
}

void removeEntry(const QString& path) {
  const bool removed = isRealFolder(path) ? QDir(path).removeRecursively() : QFile::remove(path);
  if (!removed)
    qCWarning(installFoldersLog) << "could not remove" << path;
}

void pointLink(const QString& path, const QString& text) {
  const QString temporary = temporaryNameBeside(path);
  if (::symlink(encoded(text).constData(), encoded(temporary).constData()) != 0) {
    const int error = errno;
    fail(error, QStringLiteral("the link %1 could not be made").arg(temporary));
  }
  if (::rename(encoded(temporary).constData(), encoded(path).constData()) != 0) {
    const int error = errno;
    ::unlink(encoded(temporary).constData());
    fail(error, QStringLiteral("the link %1 could not be put in place").arg(path));
  }
  syncFolder(QFileInfo(path).absolutePath());
}

void renameEntry(const QString& from, const QString& to) {
  if (::rename(encoded(from).constData(), encoded(to).constData()) != 0) {
    const int error = errno;
    fail(error, QStringLiteral("%1 could not be renamed to %2").arg(from, to));
  }
  syncFolder(QFileInfo(to).absolutePath());
  if (QFileInfo(from).absolutePath() != QFileInfo(to).absolutePath())
    syncFolder(QFileInfo(from).absolutePath());
}

void writeFileAtomically(const QString& path, const QByteArray& contents) {
  const QString temporary = temporaryNameBeside(path);
  const int fd = ::open(encoded(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    const int error = errno;
    fail(error, QStringLiteral("%1 could not be written").arg(path));
  }
  qsizetype written = 0;
  while (written < contents.size()) {
    const ssize_t step = ::write(fd, contents.constData() + written, size_t(contents.size() - written));
    if (step < 0 && errno == EINTR)
      continue;
    if (step <= 0)
      break;
    written += step;
  }
  const bool complete = written == contents.size() && ::fsync(fd) == 0;
  int error = complete ? 0 : (errno != 0 ? errno : EIO);
  ::close(fd);
  if (complete && ::rename(encoded(temporary).constData(), encoded(path).constData()) != 0)
    error = errno;
  if (error != 0) {
    ::unlink(encoded(temporary).constData());
    fail(error, QStringLiteral("%1 could not be written").arg(path));
  }
  syncFolder(QFileInfo(path).absolutePath());
}

void syncFolder(const QString& path) {
  const int fd = ::open(encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

QString systemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace brindlewick::InstallFolders
