#include "update/ChildProcess.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace brindlewick {

namespace {

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return left <= 0 ? 0 : int(std::min<long long>(left, 60'000));
}

void closeDescriptor(int& fd) {
  if (fd >= 0)
    ::close(fd);
  fd = -1;
}

} // namespace

ChildProcess::ChildProcess(const Launch& launch) {
  // Everything the child needs is made before the fork: after it, only calls that are safe
  // in a copy of a threaded process.
  std::vector<QByteArray> argumentBytes{QFile::encodeName(launch.program)};
  for (const QString& argument : launch.arguments)
    argumentBytes.push_back(argument.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& bytes : argumentBytes)
    argv.push_back(bytes.data());
  argv.push_back(nullptr);
  std::vector<QByteArray> environmentBytes;
  for (const QString& entry : launch.environment.toStringList())
    environmentBytes.push_back(entry.toLocal8Bit());
  std::vector<char*> envp;
  for (QByteArray& bytes : environmentBytes)
    envp.push_back(bytes.data());
  envp.push_back(nullptr);
  const QByteArray directory = QFile::encodeName(launch.workingDirectory);

  int output[2] = {-1, -1};
  int error[2] = {-1, -1};
  if (launch.captureOutput && (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(error, O_CLOEXEC) != 0)) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    for (int fd : {output[0], output[1], error[0], error[1]})
      if (fd >= 0)
        ::close(fd);
    throw std::runtime_error(reason.toStdString());
  }
  // The child tells a failed exec through this pipe, which the exec closes.
  int execFailure[2] = {-1, -1};
  if (::pipe2(execFailure, O_CLOEXEC) != 0)
    throw std::runtime_error(std::strerror(errno));

  m_pid = ::fork();
  if (m_pid == 0) {
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull >= 0)
      ::dup2(devNull, STDIN_FILENO);
    if (output[1] >= 0)
      ::dup2(output[1], STDOUT_FILENO);
    if (error[1] >= 0)
      ::dup2(error[1], STDERR_FILENO);
    if (launch.inherited >= 0)
      ::fcntl(launch.inherited, F_SETFD, 0);
    if (!directory.isEmpty() && ::chdir(directory.constData()) != 0) {
      const int reason = errno;
      [[maybe_unused]] const ssize_t told = ::write(execFailure[1], &reason, sizeof reason);
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    const int reason = errno;
    [[maybe_unused]] const ssize_t told = ::write(execFailure[1], &reason, sizeof reason);
    ::_exit(127);
  }
  const int forkError = errno;
  ::close(execFailure[1]);
  for (int fd : {output[1], error[1]})
    if (fd >= 0)
      ::close(fd);
  m_outputPipe = output[0];
  m_errorPipe = error[0];
  if (m_pid < 0) {
    ::close(execFailure[0]);
    closeDescriptor(m_outputPipe);
    closeDescriptor(m_errorPipe);
    throw std::runtime_error(std::strerror(forkError));
  }
  int reason = 0;
  ssize_t told = 0;
  do {
    told = ::read(execFailure[0], &reason, sizeof reason);
  } while (told < 0 && errno == EINTR);
  ::close(execFailure[0]);
  if (told == ssize_t(sizeof reason)) {
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    closeDescriptor(m_outputPipe);
    closeDescriptor(m_errorPipe);
    throw std::runtime_error(std::strerror(reason));
  }
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0 && !m_status)
    kill();
  closeDescriptor(m_outputPipe);
  closeDescriptor(m_errorPipe);
}

bool ChildProcess::readOutput(std::chrono::steady_clock::time_point deadline, qsizetype keep) {
  while (m_outputPipe >= 0 || m_errorPipe >= 0) {
    pollfd streams[2] = {{m_outputPipe, POLLIN, 0}, {m_errorPipe, POLLIN, 0}};
    const int ready = ::poll(streams, 2, millisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      return false;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].revents == 0)
        continue;
      int& fd = i == 0 ? m_outputPipe : m_errorPipe;
      QByteArray& kept = i == 0 ? m_output : m_error;
      char buffer[4096];
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0)
        kept.append(buffer, std::min<qsizetype>(got, std::max<qsizetype>(0, keep - kept.size())));
      else if (got == 0 || errno != EINTR)
        closeDescriptor(fd);
    }
  }
  return true;
}

std::optional<int> ChildProcess::waitUntil(std::chrono::steady_clock::time_point deadline) {
  while (!m_status && m_pid > 0) {
    int status = 0;
    const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
    if (ended == m_pid) {
      m_status = status;
      break;
    }
    if (ended < 0 && errno != EINTR)
      break;
    if (std::chrono::steady_clock::now() >= deadline)
      break;
    const timespec pause{0, 10'000'000};
    ::nanosleep(&pause, nullptr);
  }
  return m_status;
}

void ChildProcess::kill() {
  if (m_pid <= 0 || m_status)
    return;
  ::kill(m_pid, SIGKILL);
  int status = 0;
  while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_status = status;
}

QString ChildProcess::describe(int waitStatus) {
  if (WIFSIGNALED(waitStatus))
    return QStringLiteral("it was ended by signal %1 (%2)")
        .arg(WTERMSIG(waitStatus))
        .arg(QString::fromLocal8Bit(::strsignal(WTERMSIG(waitStatus))));
  return QStringLiteral("it exited with status %1").arg(WEXITSTATUS(waitStatus));
}

} // namespace brindlewick
