#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace brindlewick::testing {

// How a program a test ran ended: its exit status (-1 when it crashed, could not start or
// outlived its time) and what it wrote to either channel, interleaved.
struct ProgramRun {
  int status = -1;
  QByteArray output;
};

// Runs `program` to its end, at most `timeoutMs` (then it is killed and counts as failed).
ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                      int timeoutMs = 120000);

} // namespace brindlewick::testing
