#include "update/UpdateRestart.h"

#include "update/UpdateInstaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(restartLog, "brindlewick.update")

// An ended process may linger as a zombie until its parent collects it; it no longer runs.
bool stillRuns(pid_t pid) {
  if (::kill(pid, 0) != 0 && errno != EPERM)
    return false;
  QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!status.open(QIODevice::ReadOnly))
    return true;
  const QByteArray line = status.readAll();
  const qsizetype end = line.lastIndexOf(')');
  return end < 0 || line.mid(end + 2, 1) != "Z";
}

} // namespace

bool restartInto(const QString& executable) {
  QProcess process;
  process.setProgram(executable);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(UpdateRestart::predecessorVariable),
                     QString::number(QCoreApplication::applicationPid()));
  // This start's launch notification was used up long ago.
  environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
  environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(QDir::homePath());
  qint64 pid = 0;
  const bool started = process.startDetached(&pid);
  if (!started)
    qCWarning(restartLog) << "could not start" << executable << process.errorString();
  return started;
}

namespace UpdateRestart {

void awaitPredecessor(std::chrono::milliseconds limit) {
  const QByteArray named = qgetenv(predecessorVariable);
  if (named.isNull())
    return;
  qunsetenv(predecessorVariable);
  bool ok = false;
  const qint64 value = named.toLongLong(&ok);
  if (!ok || value <= 1 || value == ::getpid())
    return;
  const auto pid = static_cast<pid_t>(value);
  // A process descriptor becomes readable when the process ends: no polling loop.
  const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) {
    pollfd ended{fd, POLLIN, 0};
    int status = 0;
    do {
      status = ::poll(&ended, 1, static_cast<int>(limit.count()));
    } while (status < 0 && errno == EINTR);
    ::close(fd);
    if (status == 0)
      qCWarning(restartLog) << "the previous copy" << pid << "still runs; starting anyway";
    return;
  }
  if (errno == ESRCH)
    return;
  // Kernels before 5.3 have no process descriptors: look again every 50 ms.
  QElapsedTimer waited;
  waited.start();
  while (stillRuns(pid) && waited.elapsed() < limit.count()) {
    const timespec pause{0, 50'000'000};
    ::nanosleep(&pause, nullptr);
  }
}

} // namespace UpdateRestart

} // namespace brindlewick
