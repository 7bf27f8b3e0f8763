#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

#include <sys/types.h>

namespace brindlewick {

// A program the updater starts and watches for a bounded time: the staged program's start
// check, and the new program after a restart. Unlike QProcess it works from any thread
// without an event loop, hands a descriptor to the child under its own number, reads only as
// much output as it keeps, and tells a signal from an exit status. Not copyable; the
// destructor kills and collects a child still running.
class ChildProcess {
public:
  struct Launch {
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
    QString workingDirectory;
    // Capture standard output and standard error (else they are this process's own).
    bool captureOutput = false;
    // A descriptor the child keeps open under the same number (-1: none).
    int inherited = -1;
  };

  // Throws std::runtime_error when the program could not be started at all.
  explicit ChildProcess(const Launch& launch);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return m_pid; }

  // Reads the captured output until both streams end or `deadline` passes (keeping at most
  // `keep` bytes of each); true when they ended.
  bool readOutput(std::chrono::steady_clock::time_point deadline, qsizetype keep = 64 * 1024);
  const QByteArray& standardOutput() const { return m_output; }
  const QByteArray& standardError() const { return m_error; }

  // Waits until the child has ended, at most until `deadline`; its wait status, or none.
  std::optional<int> waitUntil(std::chrono::steady_clock::time_point deadline);
  // Ends the child with SIGKILL and collects it.
  void kill();
  // Lets the child run on by itself: the destructor leaves it alone.
  void release() { m_pid = -1; }

  // "it exited with status 3", "it was ended by signal 11 (Segmentation fault)".
  static QString describe(int waitStatus);

private:
  pid_t m_pid = -1;
  int m_outputPipe = -1;
  int m_errorPipe = -1;
  QByteArray m_output;
  QByteArray m_error;
  std::optional<int> m_status;
};

} // namespace brindlewick
