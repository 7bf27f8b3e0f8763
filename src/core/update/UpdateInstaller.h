#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QString>

#include <exception>
#include <memory>
#include <optional>

namespace brindlewick {

class DownloadedUpdate;

// Why an install did not happen, in words for the reader; the running install is untouched.
class UpdateInstallError : public std::exception {
public:
  explicit UpdateInstallError(QString message);
  const QString& message() const { return m_message; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_message;
  QByteArray m_what;
};

struct UpdateInstallOutcome {
  enum class Kind { staged, handedOff };
  Kind kind;
  // staged: the program the command starts now, whose next start (a restart) puts the staged
  // version in place; handedOff: the verified file kept in the download folder, which the
  // caller opens with the desktop's opener and tells the reader.
  QString path;
};

// Installs a downloaded, already verified release. Where the program runs from a program folder
// this user may replace, the archive is unpacked beside it, its program must show that it
// starts, and it waits staged (update/StagedUpdate.h) for the next start of the running version,
// which swaps it in (update/ProgramSwitch.h) on trial (update/UpdateTrial.h) and watches it come
// up; elsewhere the file is kept in the download folder for the desktop's software installer. A
// failure at any step leaves the running install as it was.
class UpdateInstaller {
public:
  // `executablePath`: the running program; `downloadFolder`: where a hand-off keeps the file.
  UpdateInstaller(QString executablePath, QString downloadFolder);

  // True when the program runs from an install folder this user may replace (per-user
  // install or unpacked archive), so install() stages; false: it hands off.
  bool installsInPlace() const;

  // Installs the bytes of `update`, whose signature the caller has checked: what is unpacked
  // or kept is read from its sealed copy, never from the file or its name again. The heavy work runs off
  // the main thread and holds copies of what it needs, so the installer may go before it
  // ends. Throws UpdateInstallError.
  QCoro::Task<UpdateInstallOutcome> install(std::shared_ptr<const DownloadedUpdate> update, QString version);
  // The same for the file at `verifiedFile`, opened (and copied) once here.
  QCoro::Task<UpdateInstallOutcome> install(QString verifiedFile, QString version);

  // At start, once this copy is the one that runs: completes a swap that a killed install
  // left half done and removes the staging of an interrupted one and the temporary names a
  // killed step left, unless another copy is installing right now. The folder an update
  // replaced stays until the new program has really started (UpdateTrial::confirm()), and a
  // staged update until a start swaps it in. Does nothing outside a replaceable install.
  void finishPendingInstall() const;

private:
  QString m_executablePath;
  QString m_downloadFolder;
};

} // namespace brindlewick
