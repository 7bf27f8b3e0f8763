#include "update/UpdateRestart.h"

#include "update/ChildProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace brindlewick::UpdateRestart {

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

constexpr qsizetype maximumWordBytes = 4096;

// Reads the first line the child writes on `fd`; none when the pipe ended first or `deadline`
// passed (`timedOut` says which).
std::optional<QByteArray> readWord(int fd, std::chrono::steady_clock::time_point deadline, bool& timedOut) {
  QByteArray line;
  timedOut = false;
  while (!line.contains('\n') && line.size() < maximumWordBytes) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      return std::nullopt;
    }
    pollfd ready{fd, POLLIN, 0};
    const int status = ::poll(&ready, 1, int(std::min<long long>(left.count(), 60'000)));
    if (status < 0 && errno == EINTR)
      continue;
    if (status == 0)
      continue;
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return std::nullopt;
    line.append(buffer, got);
  }
  return line.left(line.indexOf('\n'));
}

} // namespace

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

Handover startAndWatch(const QString& executable, std::chrono::milliseconds limit,
                       const QStringList& arguments) {
  int word[2] = {-1, -1};
  if (::pipe2(word, O_CLOEXEC) != 0)
    return {false,
            QStringLiteral("it could not be started: %1").arg(QString::fromLocal8Bit(std::strerror(errno)))};
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(wordVariable), QString::number(word[1]));
  environment.remove(QString::fromLatin1(predecessorVariable));
  // This start's launch notification was used up long ago.
  environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
  environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::optional<ChildProcess> child;
  try {
    child.emplace(ChildProcess::Launch{executable, arguments, environment, QDir::homePath(), false, word[1]});
  } catch (const std::runtime_error& error) {
    ::close(word[0]);
    ::close(word[1]);
    return {false, QStringLiteral("it could not be started: %1").arg(QString::fromLocal8Bit(error.what()))};
  }
  ::close(word[1]);
  bool timedOut = false;
  const std::optional<QByteArray> said = readWord(word[0], deadline, timedOut);
  ::close(word[0]);
  if (said == "started" || said == "handed-on") {
    child->release();
    return {true, {}};
  }
  // Whatever it said, it must not stay: it ends by itself after a failure, or is ended.
  const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  if (said && said->startsWith("failed ")) {
    if (!child->waitUntil(grace))
      child->kill();
    return {false, QString::fromUtf8(said->mid(7))};
  }
  if (timedOut) {
    child->kill();
    return {
        false,
        QStringLiteral("it did not come up within %1 seconds").arg(QString::number(limit.count() / 1000.0))};
  }
  const std::optional<int> status = child->waitUntil(grace);
  if (!status) {
    child->kill();
    return {false, QStringLiteral("it stopped answering before it came up")};
  }
  return {false, ChildProcess::describe(*status) + QStringLiteral(" before it came up")};
}

StartWord StartWord::fromEnvironment() {
  StartWord word;
  const QByteArray named = qgetenv(wordVariable);
  if (named.isNull())
    return word;
  qunsetenv(wordVariable);
  bool ok = false;
  const int fd = named.toInt(&ok);
  // Only a pipe's writing end that the starter handed over, never the standard streams.
  if (!ok || fd <= STDERR_FILENO || ::fcntl(fd, F_GETFD) < 0)
    return word;
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  word.m_fd = fd;
  return word;
}

StartWord::StartWord(StartWord&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

StartWord& StartWord::operator=(StartWord&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0)
      ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

StartWord::~StartWord() {
  if (m_fd >= 0)
    ::close(m_fd);
}

void StartWord::started() {
  say("started\n");
}

void StartWord::handedOn() {
  say("handed-on\n");
}

void StartWord::failed(const QString& reason) {
  QString line = reason;
  line.replace(QLatin1Char('\n'), QLatin1Char(' '));
  say("failed " + line.left(2000).toUtf8() + '\n');
}

void StartWord::say(const QByteArray& word) {
  if (m_fd < 0)
    return;
  // The starter may be gone: a broken pipe is no reason to end this process.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  qsizetype written = 0;
  while (written < word.size()) {
    const ssize_t step = ::write(m_fd, word.constData() + written, size_t(word.size() - written));
    if (step < 0 && errno == EINTR)
      continue;
    if (step <= 0)
      break;
    written += step;
  }
  std::signal(SIGPIPE, previous);
  ::close(m_fd);
  m_fd = -1;
}

} // namespace brindlewick::UpdateRestart
