#pragma once

#include "update/ProgramSwitch.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>

namespace brindlewick::testing {

// The switch's own steps, or without `exchange` the same with the one-step exchange refused, as
// on a filesystem that lacks it (the switch then goes through a link).
inline ProgramSwitch::Steps switchSteps(bool exchange) {
  ProgramSwitch::Steps steps = ProgramSwitch::systemSteps();
  if (!exchange) {
    steps.exchange = [](const QString&, const QString&) {
      errno = EINVAL;
      return -1;
    };
  }
  return steps;
}

// The switch's steps for a child process a test kills in the middle of a switch: the process
// ends itself (SIGKILL) right after step `dieAfter` (0: never); `steps` counts the steps done.
inline ProgramSwitch::Steps killedSwitchSteps(bool exchange, int dieAfter, int& steps) {
  ProgramSwitch::Steps seams = switchSteps(exchange);
  seams.done = [&steps, dieAfter](int step) {
    steps = step;
    if (step == dieAfter)
      ::raise(SIGKILL);
  };
  return seams;
}

// How a child process or a program of a test install ended: killed (by itself or for taking
// too long), else its status, and what it wrote, trimmed (standard output, then standard error).
struct KilledSwitchRun {
  bool killed = false;
  int status = -1;
  QByteArray output;
};

inline KilledSwitchRun runToEnd(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished();
  }
  return {process.exitStatus() == QProcess::CrashExit, process.exitCode(),
          process.readAllStandardOutput().trimmed() + process.readAllStandardError().trimmed()};
}

} // namespace brindlewick::testing
