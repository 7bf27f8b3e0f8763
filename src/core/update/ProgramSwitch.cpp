#include "update/ProgramSwitch.h"

#include "update/InstallFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace brindlewick::ProgramSwitch {

namespace {

Q_LOGGING_CATEGORY(switchLog, "brindlewick.update")

using namespace InstallFolders;

int exchangeNames(const QString& first, const QString& second) {
  return ::renameat2(AT_FDCWD, QFile::encodeName(first).constData(), AT_FDCWD,
                     QFile::encodeName(second).constData(), RENAME_EXCHANGE);
}

bool exchangeUnsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Counts the steps and reports each one.
class StepCounter {
public:
  explicit StepCounter(const Steps& steps) : m_steps(steps) {}
  void operator()() {
    ++m_count;
    if (m_steps.done)
      m_steps.done(m_count);
  }

private:
  const Steps& m_steps;
  int m_count = 0;
};

bool isHiddenProgramFolder(const InstallLocation& location, const QString& path) {
  const QFileInfo info(path);
  return info.absolutePath() == location.libFolder &&
         info.fileName().startsWith(InstallLocation::hiddenProgramPrefix) && isRealFolder(path);
}

// Moves `folder` to a new hidden name beside the program folder (renamed onto an empty folder
// made for it, so no other name is taken); returns that name.
QString moveToHiddenName(const InstallLocation& location, const QString& folder, StepCounter& step) {
  if (isHiddenProgramFolder(location, folder))
    return QFileInfo(folder).fileName();
  QByteArray name = QFile::encodeName(location.hiddenProgramTemplate());
  if (::mkdtemp(name.data()) == nullptr)
    throw ProgramSwitchError(QStringLiteral("no folder could be made in %1: %2")
                                 .arg(location.libFolder, systemError())
                                 .toStdString());
  const QString hidden = QFile::decodeName(name);
  try {
    renameEntry(folder, hidden);
  } catch (const std::runtime_error&) {
    ::rmdir(name.constData());
    throw;
  }
  step();
  return QFileInfo(hidden).fileName();
}

QString discardPath(const QString& discardFolder) {
  return QDir(discardFolder).filePath(QStringLiteral("replaced"));
}

// The program folder is a link: one rename of a new link over it.
QString switchLink(const InstallLocation& location, const QString& incoming, bool keepReplaced,
                   const QString& discardFolder, StepCounter& step) {
  const QString old = currentFolder(location);
  if (!isHiddenProgramFolder(location, old))
    throw ProgramSwitchError(
        QStringLiteral("%1 is a link that no update made").arg(location.programFolder).toStdString());
  const QString hidden = moveToHiddenName(location, incoming, step);
  if (keepReplaced) {
    pointLink(location.previousFolder(), QFileInfo(old).fileName());
    step();
  }
  pointLink(location.programFolder, hidden);
  step();
  if (keepReplaced)
    return old;
  const QString discarded = discardPath(discardFolder);
  renameEntry(old, discarded);
  step();
  return discarded;
}

// Without an exchange, a real program folder becomes a link: the command leads into the new
// folder directly while the program folder's name changes from the folder to the link.
QString convertToLink(const InstallLocation& location, const QString& incoming, bool keepReplaced,
                      const QString& discardFolder, StepCounter& step) {
  const QString command = location.command();
  if (linkText(command) != location.commandText())
    throw ProgramSwitchError(
        QStringLiteral("this filesystem cannot exchange two folders in one step, and %1 is not the link an "
                       "install makes")
            .arg(command)
            .toStdString());
  const QString hidden = moveToHiddenName(location, incoming, step);
  const QString hiddenPath = QDir(location.libFolder).filePath(hidden);
  const QString replaced = keepReplaced ? location.previousFolder() : discardPath(discardFolder);
  int reached = 0;
  try {
    pointLink(command, location.commandTextInto(hidden));
    reached = 1;
    step();
    renameEntry(location.programFolder, replaced);
    reached = 2;
    step();
    pointLink(location.programFolder, hidden);
    reached = 3;
    step();
  } catch (const std::runtime_error&) {
    // Everything back the way it was, last step first.
    if (reached >= 2)
      ::rename(QFile::encodeName(replaced).constData(), QFile::encodeName(location.programFolder).constData());
    if (reached >= 1) {
      try {
        pointLink(command, location.commandText());
      } catch (const std::runtime_error& error) {
        qCWarning(switchLog) << "the command could not be given back its link:" << error.what();
      }
    }
    ::rename(QFile::encodeName(hiddenPath).constData(), QFile::encodeName(incoming).constData());
    throw;
  }
  try {
    pointLink(command, location.commandText());
    step();
  } catch (const std::runtime_error& error) {
    // The command starts the new program all the same; the next start gives it its usual text.
    qCWarning(switchLog) << error.what();
  }
  return replaced;
}

} // namespace

Steps systemSteps() {
  return Steps{exchangeNames, {}};
}

QString currentFolder(const InstallLocation& location) {
  if (!isLink(location.programFolder))
    return location.programFolder;
  return QFileInfo(location.programFolder).canonicalFilePath();
}

QString putInPlace(const InstallLocation& location, const QString& incoming, bool keepReplaced,
                   const QString& discardFolder, const Steps& steps) {
  StepCounter step(steps);
  try {
    if (keepReplaced && exists(location.previousFolder()))
      throw ProgramSwitchError(
          QStringLiteral("%1 is in the way").arg(location.previousFolder()).toStdString());
    if (isLink(location.programFolder))
      return switchLink(location, incoming, keepReplaced, discardFolder, step);
    if (!isRealFolder(location.programFolder))
      throw ProgramSwitchError(
          QStringLiteral("there is no program folder at %1").arg(location.programFolder).toStdString());
    // The folder worth keeping never waits in the staging folder: the incoming one takes the
    // previous folder's name before the exchange, or the replaced one goes to the staging
    // folder after it.
    QString waiting = incoming;
    if (keepReplaced) {
      renameEntry(incoming, location.previousFolder());
      waiting = location.previousFolder();
      step();
    }
    if (steps.exchange(waiting, location.programFolder) == 0) {
      syncFolder(location.libFolder);
      step();
      if (keepReplaced)
        return waiting;
      const QString discarded = discardPath(discardFolder);
      renameEntry(waiting, discarded);
      step();
      return discarded;
    }
    const int error = errno;
    if (!exchangeUnsupported(error)) {
      if (waiting != incoming)
        ::rename(QFile::encodeName(waiting).constData(), QFile::encodeName(incoming).constData());
      errno = error;
      throw ProgramSwitchError(systemError().toStdString());
    }
    try {
      return convertToLink(location, waiting, keepReplaced, discardFolder, step);
    } catch (const std::runtime_error&) {
      if (waiting != incoming)
        ::rename(QFile::encodeName(waiting).constData(), QFile::encodeName(incoming).constData());
      throw;
    }
  } catch (const ProgramSwitchError&) {
    throw;
  } catch (const std::runtime_error& error) {
    throw ProgramSwitchError(error.what());
  }
}

bool repair(const InstallLocation& location, const QString& discardFolder, const Steps& steps) {
  const QString command = location.command();
  const QString text = linkText(command);
  const QString prefix = QStringLiteral("../%1/%2").arg(InstallLocation::libFolderName,
                                                         InstallLocation::hiddenProgramPrefix);
  if (!text.startsWith(prefix))
    return false;
  const QString hidden = text.section(QLatin1Char('/'), 2, 2);
  const QString hiddenPath = QDir(location.libFolder).filePath(hidden);
  if (text != location.commandTextInto(hidden) || !isRealFolder(hiddenPath))
    return false;
  StepCounter step(steps);
  try {
    if (isRealFolder(location.programFolder)) {
      const bool keep = !exists(location.previousFolder());
      renameEntry(location.programFolder, keep ? location.previousFolder() : discardPath(discardFolder));
      step();
    }
    if (linkText(location.programFolder) != hidden) {
      pointLink(location.programFolder, hidden);
      step();
    }
    pointLink(command, location.commandText());
    step();
  } catch (const std::runtime_error& error) {
    qCWarning(switchLog) << "an interrupted update could not be completed:" << error.what();
  }
  return true;
}

} // namespace brindlewick::ProgramSwitch
