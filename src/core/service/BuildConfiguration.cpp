#include "service/BuildConfiguration.h"

#include "foundation/Json.h"
#include "service/UpdateConfiguration.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace brindlewick {

const char* ConfigurationError::what() const noexcept {
  switch (m_kind) {
  case Kind::invalidURL:
    return "Build configuration requires HTTPS URLs without credentials, query, or fragment.";
  case Kind::missingAPI:
    return "This build has no configured API service. Sign-in and cloud sync are unavailable.";
  }
  return "";
}

ConfigurationFileError::ConfigurationFileError(const QString& path, const QString& problem)
    : m_what(QStringLiteral("The build configuration file %1 could not be read: %2")
                 .arg(path, problem)
                 .toUtf8()) {}

namespace {

// The configuration is small; anything much larger is not a file this build wrote.
constexpr qint64 maximumFileSize = 65536;

} // namespace

BuildConfiguration::BuildConfiguration(const QJsonObject& values)
    : m_apiBaseURL(url(values.value(apiBaseURLKey))), m_supportURL(url(values.value(supportURLKey))) {
  const QJsonValue version = values.value(versionKey);
  m_version = version.isString() ? version.toString() : fallbackVersion;
  for (const QString& key : {UpdateConfiguration::feedKey, UpdateConfiguration::publicKeyKey}) {
    if (values.contains(key))
      m_updateEntries.insert(key, values.value(key));
  }
}

BuildConfiguration BuildConfiguration::fromJson(const QByteArray& bytes, const QString& path) {
  QJsonObject values;
  try {
    values = Json::parseObject(bytes);
  } catch (const JsonDecodingError& error) {
    throw ConfigurationFileError(path, error.description());
  }
  return BuildConfiguration(values);
}

BuildConfiguration BuildConfiguration::fromFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw ConfigurationFileError(path, file.errorString());
  const QByteArray bytes = file.read(maximumFileSize + 1);
  if (bytes.size() > maximumFileSize)
    throw ConfigurationFileError(path,
                                 QStringLiteral("the file is larger than %1 bytes").arg(maximumFileSize));
  if (file.error() != QFileDevice::NoError)
    throw ConfigurationFileError(path, file.errorString());
  return fromJson(bytes, path);
}

QString BuildConfiguration::defaultFilePath() {
  return QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
}

std::optional<QUrl> BuildConfiguration::url(const QJsonValue& value) {
  if (!value.isString())
    return std::nullopt;
  const QString text = value.toString();
  if (text.isEmpty())
    return std::nullopt;

  // QUrl lower-cases the scheme it reports, so the case-sensitive test runs on the text as
  // written; QUrl then only judges the structure, strictly.
  const QUrl parsed(text, QUrl::StrictMode);
  if (!text.startsWith(QLatin1String("https:")) || !isServiceAddress(parsed))
    throw ConfigurationError(ConfigurationError::Kind::invalidURL);
  return parsed;
}

bool BuildConfiguration::isServiceAddress(const QUrl& url) {
  return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() &&
         url.userInfo().isNull() && !url.hasQuery() && !url.hasFragment();
}

} // namespace brindlewick
