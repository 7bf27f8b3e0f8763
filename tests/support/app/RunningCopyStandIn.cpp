#include "RunningCopyStandIn.h"

#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

namespace brindlewick::testing {

RunningCopyStandIn::RunningCopyStandIn() {
  const QString runtime = m_home.filePath(QStringLiteral("runtime"));
  if (!m_home.isValid() || !QDir().mkpath(runtime))
    return;
  QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  m_running.setSocketOptions(QLocalServer::UserAccessOption);
  m_listening = m_running.listen(QDir(runtime).filePath(SingleInstance::socketName));
}

QProcessEnvironment RunningCopyStandIn::environment() const {
  QProcessEnvironment environment;
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
    environment.insert(QString::fromLatin1(name), m_home.path());
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (qEnvironmentVariableIsSet(name))
      environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
  }
  return environment;
}

bool RunningCopyStandIn::wasContacted() {
  if (!m_running.waitForNewConnection(50))
    return false;
  while (m_running.hasPendingConnections())
    delete m_running.nextPendingConnection();
  return true;
}

} // namespace brindlewick::testing
