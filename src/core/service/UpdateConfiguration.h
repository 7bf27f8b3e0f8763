#pragma once

#include <QJsonValue>
#include <QString>
#include <QUrl>

#include <exception>
#include <optional>

namespace brindlewick {

// A half-configured updater: a feed without a usable signing key, or a key without a feed.
class UpdateConfigurationError : public std::exception {
public:
  enum class Kind { invalidConfiguration };

  explicit UpdateConfigurationError(Kind kind = Kind::invalidConfiguration) : m_kind(kind) {}

  Kind kind() const { return m_kind; }
  QString description() const { return QString::fromUtf8(what()); }
  const char* what() const noexcept override;

  friend bool operator==(const UpdateConfigurationError&, const UpdateConfigurationError&) = default;

private:
  Kind m_kind;
};

// Where updates come from and the key their signatures are checked with, validated as a pair
// before anything acts on them. The two values come from the build's configuration file;
// a build that sets neither has no updater, which is not an error.
struct UpdateConfiguration {
  static inline const QString feedKey = QStringLiteral("SUFeedURL");
  static inline const QString publicKeyKey = QStringLiteral("SUPublicEDKey");

  // An https address with a host and without user, password, query or fragment.
  QUrl feed;
  // The Ed25519 public key as written: strict base64 (standard alphabet, padded, no white
  // space) of exactly 32 bytes.
  QString publicKey;

  // Reads the two raw values; a value that is absent or not a string counts as empty.
  // Both empty: none. A feed that breaks the HTTPS rule throws that rule's ConfigurationError;
  // a missing feed beside a key, or a key that is not base64 of 32 bytes, throws
  // UpdateConfigurationError.
  static std::optional<UpdateConfiguration> load(const QJsonValue& feed, const QJsonValue& publicKey);

  friend bool operator==(const UpdateConfiguration&, const UpdateConfiguration&) = default;
};

} // namespace brindlewick
