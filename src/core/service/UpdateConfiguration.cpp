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

bool isBase64Digit(QChar c) {
  const char16_t u = c.unicode();
  return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+' ||
         u == u'/';
}

} // namespace

std::optional<QByteArray> UpdateConfiguration::decodeBase64(const QString& text) {
  if (text.size() % 4 != 0)
    return std::nullopt;
  qsizetype digits = text.size();
  while (digits > 0 && text.size() - digits < 2 && text[digits - 1] == QLatin1Char('='))
    --digits;
  for (qsizetype i = 0; i < digits; ++i) {
    if (!isBase64Digit(text[i]))
      return std::nullopt;
  }
  auto decoded = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded)
    return std::nullopt;
  return std::move(decoded.decoded);
}

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
