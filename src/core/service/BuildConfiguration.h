#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrl>

#include <exception>
#include <optional>

namespace brindlewick {

// The error of the build configuration: an address that breaks the HTTPS rule, or a build
// without a reading service when an operation needs one.
class ConfigurationError : public std::exception {
public:
  enum class Kind { invalidURL, missingAPI };

  explicit ConfigurationError(Kind kind) : m_kind(kind) {}

  Kind kind() const { return m_kind; }
  QString description() const { return QString::fromUtf8(what()); }
  const char* what() const noexcept override;

  friend bool operator==(const ConfigurationError& a, const ConfigurationError& b) {
    return a.m_kind == b.m_kind;
  }

private:
  Kind m_kind;
};

// The build's configuration file is missing, unreadable or not a JSON object. Without it the
// application cannot know which service it belongs to, so start-up stops with this text.
class ConfigurationFileError : public std::exception {
public:
  ConfigurationFileError(const QString& path, const QString& problem);

  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QByteArray m_what;
};

// What the build fixed for this copy of the application: the reading service's address, the
// support page and the short version. The build writes these as a JSON object of key/value
// pairs into a file beside the executable; values are read once at start-up and never change.
class BuildConfiguration {
public:
  // The keys of the configuration file.
  static inline const QString apiBaseURLKey = QStringLiteral("BrindlewickAPIBaseURL");
  static inline const QString supportURLKey = QStringLiteral("BrindlewickSupportURL");
  static inline const QString versionKey = QStringLiteral("CFBundleShortVersionString");
  // The version reported when the configuration names none.
  static inline const QString fallbackVersion = QStringLiteral("0.0.1");
  // The file's name; the build puts it in the executable's folder.
  static inline const QString fileName = QStringLiteral("brindlewick-configuration.json");

  // Reads the three keys and keeps the updater's entries; an address that breaks the HTTPS
  // rule throws ConfigurationError (the API address is checked first). Other keys are ignored.
  explicit BuildConfiguration(const QJsonObject& values);

  // The configuration in a file's bytes; bytes that are not a JSON object throw ConfigurationFileError.
  static BuildConfiguration fromJson(const QByteArray& bytes, const QString& path);
  // The configuration in a file; a file that cannot be read throws ConfigurationFileError.
  static BuildConfiguration fromFile(const QString& path);
  // Where the application finds the file that the build wrote: beside its executable.
  static QString defaultFilePath();

  // One configured address: absent, non-string and empty values mean no address; anything
  // else must be an https URL with a host and without user, password, query or fragment,
  // else ConfigurationError(invalidURL). The address comes back as written.
  static std::optional<QUrl> url(const QJsonValue& value);
  // The structural part of that rule, for an address already parsed: a valid https URL with a
  // host and without user, password, query or fragment. (QUrl reports the scheme lower-cased,
  // so only url() can hold the scheme's spelling to "https".)
  static bool isServiceAddress(const QUrl& url);

  const std::optional<QUrl>& apiBaseURL() const { return m_apiBaseURL; }
  const std::optional<QUrl>& supportURL() const { return m_supportURL; }
  const QString& version() const { return m_version; }
  // The updater's two entries (UpdateConfiguration::feedKey and publicKeyKey) exactly as
  // written, absent ones left out: the updater validates them itself, so a malformed pair
  // explains itself in the settings rather than stopping start-up.
  const QJsonObject& updateEntries() const { return m_updateEntries; }

private:
  std::optional<QUrl> m_apiBaseURL;
  std::optional<QUrl> m_supportURL;
  QString m_version;
  QJsonObject m_updateEntries;
};

} // namespace brindlewick
