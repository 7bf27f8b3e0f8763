#include "update/UpdateTrial.h"

#include "foundation/Json.h"
#include "update/ProgramSwitch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <stdexcept>
#include <unistd.h>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(trialLog, "brindlewick.update")

using namespace InstallFolders;

constexpr qint64 maximumRecordBytes = 64 * 1024;

// The kernel's start time of a process (in clock ticks since boot), which tells it from a
// later process given the same number.
std::optional<quint64> processStart(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly))
    return std::nullopt;
  const QByteArray line = stat.readAll();
  const qsizetype end = line.lastIndexOf(')');
  if (end < 0)
    return std::nullopt;
  // After the name: the state is field 3 and the start time field 22.
  const QList<QByteArray> fields = line.mid(end + 2).split(' ');
  if (fields.size() < 20 || fields[0] == "Z" || fields[0] == "X")
    return std::nullopt;
  bool ok = false;
  const quint64 start = fields[19].toULongLong(&ok);
  return ok ? std::optional<quint64>(start) : std::nullopt;
}

bool stillRunning(qint64 pid, std::optional<quint64> start) {
  const std::optional<quint64> now = processStart(pid);
  return now && (!start || *now == *start);
}

std::optional<Identity> identityOfRunning(const QString& executablePath) {
  const QString canonical = QFileInfo(executablePath).canonicalFilePath();
  return canonical.isEmpty() ? std::nullopt : identityOf(QFileInfo(canonical).absolutePath());
}

QString canonicalOf(const QString& path) {
  return QFileInfo(path).canonicalFilePath();
}

// The folder to put back: the previous folder (or what it links to), or a hidden program
// folder that a switch cut short left under its own name.
QString findFallback(const InstallLocation& location, const Identity& fallback) {
  const QString previous = location.previousFolder();
  if (resolvedIdentityOf(previous) == fallback)
    return isLink(previous) ? canonicalOf(previous) : previous;
  const QDir lib(location.libFolder);
  for (const QString& name :
       lib.entryList({InstallLocation::hiddenProgramPrefix + QLatin1Char('*')},
                     QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot)) {
    if (identityOf(lib.filePath(name)) == fallback)
      return lib.filePath(name);
  }
  return {};
}

// Hidden program folders nothing leads to any more (a switch cut short before its link).
void removeUnusedPrograms(const InstallLocation& location, std::optional<Identity> running) {
  const QDir lib(location.libFolder);
  const std::optional<Identity> inPlace = resolvedIdentityOf(location.programFolder);
  const std::optional<Identity> previous = resolvedIdentityOf(location.previousFolder());
  const std::optional<Identity> commanded = resolvedIdentityOf(
      QFileInfo(location.command()).absolutePath() + QLatin1Char('/') + linkText(location.command()));
  for (const QString& name :
       lib.entryList({InstallLocation::hiddenProgramPrefix + QLatin1Char('*')},
                     QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot)) {
    const QString path = lib.filePath(name);
    const std::optional<Identity> identity = identityOf(path);
    if (!identity || identity == running || identity == inPlace || identity == previous)
      continue;
    if (commanded && resolvedIdentityOf(QDir(path).filePath(location.executableName)) == commanded)
      continue;
    removeEntry(path);
  }
}

} // namespace

UpdateTrial::UpdateTrial(QString executablePath)
    : m_location(InstallLocation::of(executablePath)), m_running(identityOfRunning(executablePath)) {}

std::optional<UpdateTrial::Record> UpdateTrial::read(const InstallLocation& location) {
  QFile file(location.trialPath());
  if (QFileInfo(file.fileName()).isSymLink() || !file.open(QIODevice::ReadOnly))
    return std::nullopt;
  const QByteArray bytes = file.read(maximumRecordBytes + 1);
  if (bytes.size() > maximumRecordBytes)
    return std::nullopt;
  QJsonObject object;
  try {
    object = Json::parseObject(bytes);
  } catch (const JsonDecodingError&) {
    return std::nullopt;
  }
  Record record;
  const QString state = object.value(QStringLiteral("state")).toString();
  if (state != QLatin1String("trial") && state != QLatin1String("failed"))
    return std::nullopt;
  record.state = state == QLatin1String("trial") ? Record::State::trial : Record::State::failed;
  record.version = object.value(QStringLiteral("version")).toString();
  record.folder = Identity::fromText(object.value(QStringLiteral("folder")).toString());
  record.fallback = Identity::fromText(object.value(QStringLiteral("fallback")).toString());
  record.reason = object.value(QStringLiteral("reason")).toString();
  if (object.value(QStringLiteral("attemptPid")).isDouble())
    record.attemptPid = qint64(object.value(QStringLiteral("attemptPid")).toDouble());
  bool ok = false;
  const quint64 start = object.value(QStringLiteral("attemptStart")).toString().toULongLong(&ok);
  if (ok)
    record.attemptStart = start;
  return record;
}

void UpdateTrial::write(const InstallLocation& location, const Record& record) {
  QJsonObject object{{QStringLiteral("state"), record.state == Record::State::trial
                                                   ? QStringLiteral("trial")
                                                   : QStringLiteral("failed")},
                     {QStringLiteral("version"), record.version}};
  if (record.folder)
    object.insert(QStringLiteral("folder"), record.folder->text());
  if (record.fallback)
    object.insert(QStringLiteral("fallback"), record.fallback->text());
  if (record.attemptPid)
    object.insert(QStringLiteral("attemptPid"), double(*record.attemptPid));
  if (record.attemptStart)
    object.insert(QStringLiteral("attemptStart"), QString::number(*record.attemptStart));
  if (!record.reason.isEmpty())
    object.insert(QStringLiteral("reason"), record.reason);
  writeFileAtomically(location.trialPath(), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void UpdateTrial::remove(const InstallLocation& location) {
  if (exists(location.trialPath()))
    removeEntry(location.trialPath());
}

bool UpdateTrial::pending(const InstallLocation& location) {
  const std::optional<Record> record = read(location);
  return record && record->state == Record::State::trial && record->folder &&
         record->folder == resolvedIdentityOf(location.programFolder);
}

void UpdateTrial::removePrevious(const InstallLocation& location, std::optional<Identity> running) {
  const QString previous = location.previousFolder();
  if (!exists(previous))
    return;
  if (isLink(previous)) {
    const QString target = canonicalOf(previous);
    const QFileInfo info(target);
    if (!target.isEmpty() && info.absolutePath() == location.libFolder &&
        info.fileName().startsWith(InstallLocation::hiddenProgramPrefix) && identityOf(target) != running &&
        target != ProgramSwitch::currentFolder(location))
      removeEntry(target);
    removeEntry(previous);
    return;
  }
  if (isRealFolder(previous) && identityOf(previous) == running)
    return;
  removeEntry(previous);
}

UpdateTrial::AtStart UpdateTrial::begin() {
  if (!m_location)
    return {};
  QLockFile lock(m_location->lockPath());
  if (!lock.tryLock(2000))
    return {};
  // A switch that a kill cut short, with the command leading into the new folder directly, is
  // completed first: this start of the new program is then a start on trial like any other.
  if (QTemporaryDir discard(m_location->stagingTemplate()); discard.isValid())
    ProgramSwitch::repair(*m_location, discard.path());
  std::optional<Record> record = read(*m_location);
  if (!record)
    return {};
  if (record->state == Record::State::failed) {
    remove(*m_location);
    return {Verdict::ordinary, NotStarted{record->version, record->reason}};
  }
  // A record of a swap that never happened, or that was undone: nothing is on trial.
  if (!record->folder || !m_running || record->folder != m_running ||
      resolvedIdentityOf(m_location->programFolder) != m_running) {
    remove(*m_location);
    return {};
  }
  if (record->attemptPid && *record->attemptPid != ::getpid()) {
    // Another start tries it right now (and this one will hand its request over), or one
    // tried it and ended before it came up.
    return {stillRunning(*record->attemptPid, record->attemptStart) ? Verdict::onTrial
                                                                    : Verdict::earlierStartFailed,
            std::nullopt};
  }
  record->attemptPid = ::getpid();
  record->attemptStart = processStart(::getpid());
  try {
    write(*m_location, *record);
  } catch (const std::runtime_error& error) {
    qCWarning(trialLog) << "this start of a new version could not be recorded:" << error.what();
  }
  return {Verdict::onTrial, std::nullopt};
}

void UpdateTrial::withdraw() {
  if (!m_location)
    return;
  QLockFile lock(m_location->lockPath());
  if (!lock.tryLock(2000))
    return;
  std::optional<Record> record = read(*m_location);
  if (!record || record->state != Record::State::trial || record->attemptPid != ::getpid())
    return;
  record->attemptPid.reset();
  record->attemptStart.reset();
  try {
    write(*m_location, *record);
  } catch (const std::runtime_error& error) {
    qCWarning(trialLog) << error.what();
  }
}

void UpdateTrial::confirm() {
  if (!m_location)
    return;
  QLockFile lock(m_location->lockPath());
  // An install under way keeps what it needs; the next start clears what is left.
  if (!lock.tryLock(2000))
    return;
  const std::optional<Record> record = read(*m_location);
  if (record && record->state == Record::State::trial && record->folder == m_running)
    remove(*m_location);
  if (pending(*m_location))
    return;
  removePrevious(*m_location, m_running);
  removeUnusedPrograms(*m_location, m_running);
}

std::optional<QString> UpdateTrial::rollBack(const QString& reason) {
  if (!m_location)
    return std::nullopt;
  QLockFile lock(m_location->lockPath());
  if (!lock.tryLock(10000))
    return std::nullopt;
  const std::optional<Record> record = read(*m_location);
  if (!record || record->state != Record::State::trial || !record->fallback)
    return std::nullopt;
  const std::optional<Identity> inPlace = resolvedIdentityOf(m_location->programFolder);
  if (inPlace != record->fallback) {
    if (inPlace != record->folder)
      return std::nullopt;
    const QString fallback = findFallback(*m_location, *record->fallback);
    if (fallback.isEmpty()) {
      qCWarning(trialLog) << "the version before" << record->version << "is no longer there to put back";
      return std::nullopt;
    }
    QTemporaryDir discard(m_location->stagingTemplate());
    if (!discard.isValid())
      return std::nullopt;
    try {
      ProgramSwitch::putInPlace(*m_location, fallback, false, discard.path());
    } catch (const ProgramSwitchError& error) {
      qCWarning(trialLog) << "the previous version could not be put back:" << error.what();
      return std::nullopt;
    }
  }
  if (isLink(m_location->previousFolder()) &&
      resolvedIdentityOf(m_location->previousFolder()) == record->fallback)
    removeEntry(m_location->previousFolder());
  Record failed;
  failed.state = Record::State::failed;
  failed.version = record->version;
  failed.reason = reason;
  try {
    write(*m_location, failed);
  } catch (const std::runtime_error& error) {
    qCWarning(trialLog) << error.what();
  }
  qCWarning(trialLog) << "version" << record->version << "did not start (" << reason
                      << "); the previous one is back";
  return m_location->executable();
}

} // namespace brindlewick
