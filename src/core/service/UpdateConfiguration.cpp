#include "service/UpdateConfiguration.h"

#include "service/BuildConfiguration.h"

namespace brindlewick {

const char* UpdateConfigurationError::what() const noexcept {
  switch (m_kind) {
  case Kind::invalidConfiguration:
    return "Configure both an HTTPS update feed and a base64-encoded 32-byte Ed25519 public key.";
  }
  return "";
}

namespace {

constexpr qsizetype ed25519KeyBytes = 32;

// Strict base64: the standard alphabet, '=' padding to a multiple of 4 characters, nothing
// else. Qt's strict mode refuses other characters and misplaced padding but takes unpadded
// text, which a key must not be.
std::optional<QByteArray> decodeBase64(const QString& text) {
  if (text.size() % 4 != 0)
    return std::nullopt;
  auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded)
    return std::nullopt;
  return std::move(decoded.decoded);
}

} // namespace

std::optional<UpdateConfiguration> UpdateConfiguration::load(const QJsonValue& feed,
                                                             const QJsonValue& publicKey) {
  const QString feedText = feed.isString() ? feed.toString() : QString();
  const QString keyText = publicKey.isString() ? publicKey.toString() : QString();
  if (feedText.isEmpty() && keyText.isEmpty())
    return std::nullopt;

  const std::optional<QUrl> feedURL = BuildConfiguration::url(QJsonValue(feedText));
  if (!feedURL)
    throw UpdateConfigurationError();
  const std::optional<QByteArray> key = decodeBase64(keyText);
  if (!key || key->size() != ed25519KeyBytes)
    throw UpdateConfigurationError();
  return UpdateConfiguration{*feedURL, keyText};
}

} // namespace brindlewick
