#include "update/UpdateInstaller.h"

namespace brindlewick {

UpdateInstallError::UpdateInstallError(QString message)
    : m_message(std::move(message)), m_what(m_message.toUtf8()) {}

UpdateInstaller::UpdateInstaller(QString executablePath, QString downloadFolder)
    : m_executablePath(std::move(executablePath)), m_downloadFolder(std::move(downloadFolder)) {}

bool UpdateInstaller::installsInPlace() const {
  return false;
}

QCoro::Task<UpdateInstallOutcome> UpdateInstaller::install(QString verifiedFile, QString version) {
  Q_UNUSED(verifiedFile);
  Q_UNUSED(version);
  throw UpdateInstallError(QStringLiteral("not built yet"));
  co_return UpdateInstallOutcome{};
}

bool restartInto(const QString& executable) {
  Q_UNUSED(executable);
  return false;
}

} // namespace brindlewick
