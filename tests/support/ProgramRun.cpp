#include "ProgramRun.h"

#include <QProcess>

namespace brindlewick::testing {

ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      const QProcessEnvironment& environment, int timeoutMs) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(timeoutMs)) {
    // Not started, or still running: either way no status to trust, and nothing left behind.
    process.kill();
    process.waitForFinished();
    return {-1, process.readAll() + "\n(" + process.errorString().toUtf8() + ")"};
  }
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

} // namespace brindlewick::testing
