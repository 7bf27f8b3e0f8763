#include "model/ApplicationDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

namespace brindlewick {

namespace {

// The settings hold two flags; anything much larger is not ours.
constexpr qint64 maximumFileBytes = 65536;

} // namespace

QString ApplicationDefaults::defaultFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/app.brindlewick/application-defaults.json");
}

ApplicationDefaults::ApplicationDefaults(QString filePath) : m_filePath(std::move(filePath)) {}

QJsonObject ApplicationDefaults::read() const {
  QFile file(m_filePath);
  if (!file.open(QIODevice::ReadOnly) || file.size() > maximumFileBytes)
    return {};
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
  return document.isObject() ? document.object() : QJsonObject{};
}

std::optional<bool> ApplicationDefaults::boolean(const QString& key) const {
  const QJsonValue value = read().value(key);
  if (!value.isBool())
    return std::nullopt;
  return value.toBool();
}

bool ApplicationDefaults::setBoolean(const QString& key, bool value) {
  QJsonObject object = read();
  object.insert(key, value);
  if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
    return false;
  QSaveFile file(m_filePath);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  file.write(QJsonDocument(object).toJson());
  return file.commit();
}

} // namespace brindlewick
