#include "desktop/LoginItemController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace brindlewick {

namespace {

// An entry is a few hundred bytes; anything far larger is not one we wrote.
constexpr qint64 entrySizeLimit = 64 * 1024;

struct DesktopEntry {
  std::optional<QString> exec;
  bool disabled = false; // Hidden, or switched off in GNOME's settings
};

DesktopEntry parseEntry(const QByteArray& text) {
  DesktopEntry entry;
  bool inMainGroup = false;
  for (const QByteArray& rawLine : text.split('\n')) {
    const QString line = QString::fromUtf8(rawLine).trimmed();
    if (line.startsWith(u'[')) {
      inMainGroup = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (!inMainGroup || line.startsWith(u'#') || equals < 0)
      continue;
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (key == QStringLiteral("Exec"))
      entry.exec = value;
    else if (key == QStringLiteral("Hidden"))
      entry.disabled = entry.disabled || value == QStringLiteral("true");
    // GNOME's settings switch an autostart entry off this way instead of hiding it.
    else if (key == QStringLiteral("X-GNOME-Autostart-enabled"))
      entry.disabled = entry.disabled || value == QStringLiteral("false");
  }
  return entry;
}

// Undoes the escapes of a string value (\s \n \t \r \\).
QString unescapeValue(const QString& value) {
  QString result;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] != u'\\' || i + 1 == value.size()) {
      result += value[i];
      continue;
    }
    const QChar next = value[++i];
    if (next == u's')
      result += u' ';
    else if (next == u'n')
      result += u'\n';
    else if (next == u't')
      result += u'\t';
    else if (next == u'r')
      result += u'\r';
    else if (next == u'\\')
      result += u'\\';
    else
      result += QStringLiteral("\\") + next;
  }
  return result;
}

// The first argument of an Exec line whose string escapes are already undone.
std::optional<QString> firstArgument(const QString& exec) {
  QString argument;
  qsizetype i = 0;
  while (i < exec.size() && exec[i].isSpace())
    ++i;
  if (i < exec.size() && exec[i] == u'"') {
    for (++i; i < exec.size(); ++i) {
      const QChar c = exec[i];
      if (c == u'"')
        return argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
      if (c == u'\\' && i + 1 < exec.size() && QStringLiteral("\"`$\\").contains(exec[i + 1]))
        argument += exec[++i];
      else
        argument += c;
    }
    return std::nullopt; // unterminated quote
  }
  for (; i < exec.size() && !exec[i].isSpace(); ++i)
    argument += exec[i];
  if (argument.isEmpty())
    return std::nullopt;
  return argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

bool hasControlCharacters(const QString& text) {
  return std::any_of(text.cbegin(), text.cend(),
                     [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}

} // namespace

// MARK: XdgAutostartService

QString XdgAutostartService::defaultAutostartFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/autostart");
}

XdgAutostartService::XdgAutostartService(QString autostartFolder, QString executable)
    : m_folder(std::move(autostartFolder)), m_executable(std::move(executable)) {}

QString XdgAutostartService::entryPath() const {
  return QDir(m_folder).filePath(entryName);
}

QString XdgAutostartService::resolvedExecutable() const {
  const QString path = m_executable.isEmpty() ? QCoreApplication::applicationFilePath() : m_executable;
  const QFileInfo info(path);
  return !path.isEmpty() && info.isFile() ? info.canonicalFilePath() : QString();
}

QByteArray XdgAutostartService::entryText(const QString& program) {
  // Quoted as an Exec argument, then escaped as a string value (so one backslash of the
  // path becomes four), and percent signs doubled so none reads as a field code.
  QString quoted = QStringLiteral("\"");
  for (QChar c : program) {
    if (QStringLiteral("\"`$\\").contains(c))
      quoted += u'\\';
    quoted += c;
  }
  quoted += u'"';
  quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
      .replace(QStringLiteral("%"), QStringLiteral("%%"));
  return QStringLiteral("[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Brindlewick\n"
                        "Exec=%1\n"
                        "Terminal=false\n"
                        "X-GNOME-Autostart-enabled=true\n")
      .arg(quoted)
      .toUtf8();
}

std::optional<QString> XdgAutostartService::programOf(const QByteArray& entry) {
  const DesktopEntry parsed = parseEntry(entry);
  if (!parsed.exec)
    return std::nullopt;
  return firstArgument(unescapeValue(*parsed.exec));
}

LoginItemStatus XdgAutostartService::status() const {
  const QString executable = resolvedExecutable();
  if (executable.isEmpty())
    return LoginItemStatus::notFound;
  QFile file(entryPath());
  if (!file.open(QIODevice::ReadOnly))
    return LoginItemStatus::notRegistered;
  const QByteArray text = file.read(entrySizeLimit);
  if (parseEntry(text).disabled)
    return LoginItemStatus::notRegistered;
  const auto program = programOf(text);
  if (program && QFileInfo(*program).canonicalFilePath() == executable)
    return LoginItemStatus::enabled;
  return LoginItemStatus::notRegistered;
}

std::optional<QString> XdgAutostartService::registerItem() {
  const QString executable = resolvedExecutable();
  if (executable.isEmpty())
    return QStringLiteral("The location of this program could not be found.");
  if (hasControlCharacters(executable))
    return QStringLiteral("The location of this program cannot be written into an autostart entry.");
  if (!QDir().mkpath(m_folder))
    return QStringLiteral("The autostart folder %1 could not be created.").arg(m_folder);
  QSaveFile file(entryPath());
  // A launcher entry holds nothing private: it keeps the desktop's usual mode (0644), which
  // the program's own umask would narrow.
  if (!file.open(QIODevice::WriteOnly) ||
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                           QFileDevice::ReadOther) ||
      file.write(entryText(executable)) < 0 || !file.commit())
    return QStringLiteral("The autostart entry %1 could not be written (%2).")
        .arg(entryPath(), file.errorString());
  return std::nullopt;
}

QCoro::Task<std::optional<QString>> XdgAutostartService::unregisterItem() {
  QFile file(entryPath());
  if (!QFileInfo::exists(entryPath()) || file.remove())
    co_return std::nullopt;
  co_return QStringLiteral("The autostart entry %1 could not be removed (%2).")
      .arg(entryPath(), file.errorString());
}

// MARK: LoginItemController

LoginItemController::LoginItemController(QObject* parent)
    : LoginItemController(std::make_shared<XdgAutostartService>(), parent) {}

LoginItemController::LoginItemController(std::shared_ptr<LoginItemService> service, QObject* parent)
    : QObject(parent), m_service(std::move(service)), m_status(m_service->status()) {}

void LoginItemController::refresh() {
  const LoginItemStatus status = m_service->status();
  if (status == m_status)
    return;
  m_status = status;
  Q_EMIT statusChanged();
}

QCoro::Task<void> LoginItemController::setEnabled(bool enabled) {
  QPointer<LoginItemController> self(this);
  // Held here so the service outlives a wait that the controller might not.
  const std::shared_ptr<LoginItemService> service = m_service;
  std::optional<QString> error;
  try {
    if (enabled) {
      error = service->registerItem();
    } else {
      error = co_await service->unregisterItem();
    }
  } catch (const std::exception& failure) {
    error = QString::fromUtf8(failure.what());
  }
  if (self)
    finish(error);
}

void LoginItemController::finish(const std::optional<QString>& error) {
  refresh();
  if (error)
    setMessage(failurePrefix + *error);
  else if (m_status == LoginItemStatus::requiresApproval)
    setMessage(approvalMessage);
  else
    setMessage(std::nullopt);
}

void LoginItemController::setMessage(const std::optional<QString>& message) {
  if (message == m_message)
    return;
  m_message = message;
  Q_EMIT messageChanged();
}

} // namespace brindlewick
