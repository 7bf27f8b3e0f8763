#include "model/ApplicationDefaults.h"

#include "foundation/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <utility>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(lcDefaults, "app.brindlewick.ApplicationDefaults")

// The settings hold two flags; anything much larger is not ours.
constexpr qint64 maximumFileBytes = 65536;

} // namespace

QString ApplicationDefaults::defaultFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/app.brindlewick/application-defaults.json");
}

ApplicationDefaults::ApplicationDefaults(QString filePath) : m_filePath(std::move(filePath)) {
  // An earlier version left it open to every local user.
  PrivateFiles::tighten(m_filePath);
}

std::optional<QJsonObject> ApplicationDefaults::load() const {
  QFile file(m_filePath);
  if (!file.exists()) {
    m_unreadableReported = false;
    return QJsonObject{};
  }
  QJsonDocument document;
  if (file.open(QIODevice::ReadOnly) && file.size() <= maximumFileBytes)
    document = QJsonDocument::fromJson(file.read(maximumFileBytes + 1));
  if (!document.isObject()) {
    if (!std::exchange(m_unreadableReported, true))
      qCWarning(lcDefaults, "%s cannot be read; it is left as it is and no setting is saved until it can be",
                qUtf8Printable(QDir::toNativeSeparators(m_filePath)));
    return std::nullopt;
  }
  m_unreadableReported = false;
  return document.object();
}

QJsonObject ApplicationDefaults::read() const {
  if (std::optional<QJsonObject> stored = load())
    m_lastRead = std::move(*stored);
  return m_lastRead;
}

std::optional<bool> ApplicationDefaults::boolean(const QString& key) const {
  const QJsonValue value = read().value(key);
  if (!value.isBool())
    return std::nullopt;
  return value.toBool();
}

bool ApplicationDefaults::setBoolean(const QString& key, bool value) {
  return write(key, value);
}

std::optional<double> ApplicationDefaults::number(const QString& key) const {
  const QJsonValue value = read().value(key);
  if (!value.isDouble() || !std::isfinite(value.toDouble()))
    return std::nullopt;
  return value.toDouble();
}

bool ApplicationDefaults::setNumber(const QString& key, double value) {
  return std::isfinite(value) && write(key, value);
}

std::optional<QString> ApplicationDefaults::string(const QString& key) const {
  const QJsonValue value = read().value(key);
  if (!value.isString())
    return std::nullopt;
  return value.toString();
}

bool ApplicationDefaults::setString(const QString& key, const QString& value) {
  return write(key, value);
}

std::optional<QRect> ApplicationDefaults::frame(const QString& key) const {
  const QJsonObject object = read().value(key).toObject();
  int parts[4] = {};
  const char* names[4] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    const QJsonValue value = object.value(QLatin1String(names[i]));
    const double number = value.toDouble(-1e12);
    if (!value.isDouble() || number != std::floor(number) || std::abs(number) > 1e6)
      return std::nullopt;
    parts[i] = static_cast<int>(number);
  }
  if (parts[2] <= 0 || parts[3] <= 0)
    return std::nullopt;
  return QRect(parts[0], parts[1], parts[2], parts[3]);
}

bool ApplicationDefaults::setFrame(const QString& key, const QRect& frame) {
  return write(key, QJsonObject{{QStringLiteral("x"), frame.x()},
                                {QStringLiteral("y"), frame.y()},
                                {QStringLiteral("width"), frame.width()},
                                {QStringLiteral("height"), frame.height()}});
}

bool ApplicationDefaults::write(const QString& key, const QJsonValue& value) {
  std::optional<QJsonObject> stored = load();
  if (!stored)
    return false;
  m_lastRead = std::move(*stored);
  QJsonObject object = m_lastRead;
  if (object.value(key) == value)
    return true;
  object.insert(key, value);
  if (PrivateFiles::createFolder(QFileInfo(m_filePath).absolutePath()))
    return false;
  QSaveFile file(m_filePath);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  // The temporary file takes the mode of the file it replaces, or the umask's for a new one.
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  file.write(QJsonDocument(object).toJson());
  if (!file.commit())
    return false;
  m_lastRead = std::move(object);
  return true;
}

} // namespace brindlewick
