#include "update/StartCheck.h"

#include "update/ChildProcess.h"
#include "update/UpdateVersion.h"

#include <QFileInfo>

#include <stdexcept>
#include <sys/wait.h>

namespace brindlewick::StartCheck {

namespace {

// The last line a program wrote on standard error, where it says why it stopped.
QString lastLine(const QByteArray& text) {
  const QList<QByteArray> lines = text.trimmed().split('\n');
  return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last().trimmed()).left(500);
}

QString withReason(const QString& what, const QByteArray& errorOutput) {
  const QString said = lastLine(errorOutput);
  return said.isEmpty() ? what : QStringLiteral("%1: %2").arg(what, said);
}

// Whether `output` is the answer of a program of `version` ("1.4" answers for "1.4.0" too).
bool answersFor(const QByteArray& output, const QString& version) {
  const QString text = QString::fromUtf8(output);
  const QString before = QStringLiteral("Brindlewick ");
  const QString after = QStringLiteral(" can start.\n");
  if (!text.startsWith(before) || !text.endsWith(after))
    return false;
  const std::optional<UpdateVersion> answered =
      UpdateVersion::parse(QStringView(text).mid(before.size(), text.size() - before.size() - after.size()));
  const std::optional<UpdateVersion> expected = UpdateVersion::parse(version);
  return answered && expected && *answered == *expected;
}

} // namespace

QString answer(const QString& version) {
  return QStringLiteral("Brindlewick %1 can start.\n").arg(version);
}

std::optional<QString> run(const QString& executable, const QString& version, std::chrono::milliseconds limit) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // Nothing of the desktop reaches the program, whatever it does with the switch: no display,
  // no session bus (the keyring), no launch of the reader's.
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "DESKTOP_STARTUP_ID",
                           "XDG_ACTIVATION_TOKEN", "BRINDLEWICK_TAKE_OVER_FROM", "BRINDLEWICK_START_WORD"})
    environment.remove(QString::fromLatin1(name));
  // Every symbol of every library is bound now, not when first called: a library that lacks
  // one the program needs fails here.
  environment.insert(QStringLiteral("LD_BIND_NOW"), QStringLiteral("1"));
  const auto deadline = std::chrono::steady_clock::now() + limit;
  try {
    ChildProcess child({executable, {switchName.toString()}, environment,
                        QFileInfo(executable).absolutePath(), true, -1});
    const bool ended = child.readOutput(deadline);
    const std::optional<int> status = child.waitUntil(ended ? deadline : std::chrono::steady_clock::now());
    if (!status) {
      child.kill();
      return QStringLiteral("it did not answer within %1 seconds").arg(QString::number(limit.count() / 1000.0));
    }
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
      return withReason(ChildProcess::describe(*status), child.standardError());
    if (!answersFor(child.standardOutput(), version))
      return withReason(QStringLiteral("it did not answer as Brindlewick %1 does").arg(version),
                        child.standardError());
    return std::nullopt;
  } catch (const std::runtime_error& error) {
    return QStringLiteral("it could not be run: %1").arg(QString::fromLocal8Bit(error.what()));
  }
}

} // namespace brindlewick::StartCheck
