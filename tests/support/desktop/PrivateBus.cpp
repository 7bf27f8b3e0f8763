#include "desktop/PrivateBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

namespace brindlewick {

namespace {

constexpr int kStartMilliseconds = 5000;

const char* const kConfig =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateBus::PrivateBus() {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
  if (program.isEmpty()) {
    return;
  }
  configPath_ = QDir::temp().filePath(
      QStringLiteral("brindlewick-test-bus-%1.conf").arg(QCoreApplication::applicationPid()));
  QFile config(configPath_);
  if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate) || config.write(kConfig) < 0) {
    return;
  }
  config.close();
  daemon_.start(program, {QStringLiteral("--config-file=") + configPath_, QStringLiteral("--nofork"),
                          QStringLiteral("--print-address=1")});
  if (!daemon_.waitForStarted(kStartMilliseconds)) {
    return;
  }
  while (!daemon_.canReadLine() && daemon_.waitForReadyRead(kStartMilliseconds)) {
  }
  address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

PrivateBus::~PrivateBus() {
  resume();
  for (const QString& name : connectionNames_) {
    QDBusConnection::disconnectFromBus(name);
  }
  if (daemon_.state() != QProcess::NotRunning) {
    daemon_.kill();
    daemon_.waitForFinished(kStartMilliseconds);
  }
  if (!configPath_.isEmpty()) {
    QFile::remove(configPath_);
  }
}

void PrivateBus::pause() {
  if (daemon_.state() == QProcess::Running)
    ::kill(static_cast<pid_t>(daemon_.processId()), SIGSTOP);
}

void PrivateBus::resume() {
  if (daemon_.state() == QProcess::Running)
    ::kill(static_cast<pid_t>(daemon_.processId()), SIGCONT);
}

QDBusConnection PrivateBus::connect(const QString& name) const {
  connectionNames_.append(name);
  return QDBusConnection::connectToBus(address_, name);
}

} // namespace brindlewick
