#include "foundation/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QtGlobal>

#include <cerrno>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick::PrivateFiles {

namespace {

Q_LOGGING_CATEGORY(privateFilesLog, "brindlewick.files")

constexpr mode_t privateUmask = 077;
constexpr mode_t groupAndOthers = 077;

// The umask the session gave the process, for the programs it starts.
mode_t sessionUmask = 022;

// Runs in a child between fork and exec (QProcess::startDetached, which opens URLs, forks
// this way); umask is async-signal-safe.
void restoreSessionUmask() {
  ::umask(sessionUmask);
}

QByteArray encoded(const QString& path) {
  return QFile::encodeName(path);
}

} // namespace

void restrictNewFiles() {
  sessionUmask = ::umask(privateUmask);
  ::pthread_atfork(nullptr, nullptr, restoreSessionUmask);
}

void giveSessionUmask(QProcess& process) {
  process.setChildProcessModifier(restoreSessionUmask);
}

std::optional<QString> createFolder(const QString& folder) {
  const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
  // Walk down from the root, making each missing step with 0700 (mkpath would take the
  // umask's mode).
  const QStringList steps = absolute.split(u'/', Qt::SkipEmptyParts);
  QString path;
  for (const QString& step : steps) {
    path += u'/' + step;
    if (::mkdir(encoded(path).constData(), 0700) == 0 || errno == EEXIST)
      continue;
    return describe(errno);
  }
  struct stat info {};
  if (::stat(encoded(absolute).constData(), &info) != 0)
    return describe(errno);
  if (!S_ISDIR(info.st_mode))
    return describe(ENOTDIR);
  return std::nullopt;
}

std::optional<QString> makePrivateFolder(const QString& folder) {
  if (std::optional<QString> problem = createFolder(folder))
    return problem;
  if (!tighten(folder))
    return describe(errno);
  return std::nullopt;
}

std::optional<QString> createPrivateFile(const QString& file) {
  const int descriptor = ::open(encoded(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (descriptor >= 0) {
    ::close(descriptor);
    return std::nullopt;
  }
  if (errno == EEXIST)
    return std::nullopt;
  return describe(errno);
}

bool tighten(const QString& path) {
  const QByteArray name = encoded(path);
  struct stat info {};
  if (::lstat(name.constData(), &info) != 0)
    return errno == ENOENT;
  // A link the reader put in place of a file or folder of ours leads to something that is
  // theirs: its mode is left as they made it.
  if (S_ISLNK(info.st_mode)) {
    qCInfo(privateFilesLog).noquote() << path << "is a symbolic link: what it points to keeps its mode";
    return true;
  }
  if ((info.st_mode & groupAndOthers) == 0)
    return true;
  // Never through a link, even one put there since the look above.
  return ::fchmodat(AT_FDCWD, name.constData(), info.st_mode & 07700, AT_SYMLINK_NOFOLLOW) == 0;
}

QString describe(int error) {
  return qt_error_string(error);
}

} // namespace brindlewick::PrivateFiles
