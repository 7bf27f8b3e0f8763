#include "StandInHttp.h"

#include "account/AccountContracts.h"
#include "foundation/Json.h"

#include <QJsonDocument>

namespace brindlewick {

std::optional<QByteArray> LoggedRequest::header(QByteArrayView name) const {
  for (const auto& [key, value] : headers) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) {
      return value;
    }
  }
  return std::nullopt;
}

std::optional<QString> LoggedRequest::queryItem(QStringView name) const {
  const QByteArray raw = query.toUtf8();
  for (const QByteArray& item : raw.split('&')) {
    const qsizetype equals = item.indexOf('=');
    const QByteArray key = equals < 0 ? item : item.left(equals);
    if (QString::fromUtf8(QByteArray::fromPercentEncoding(key)) == name) {
      return QString::fromUtf8(
          QByteArray::fromPercentEncoding(equals < 0 ? QByteArray() : item.mid(equals + 1)));
    }
  }
  return std::nullopt;
}

std::optional<QString> LoggedRequest::bearerToken() const {
  const auto authorization = header("Authorization");
  if (!authorization || !authorization->startsWith("Bearer ")) {
    return std::nullopt;
  }
  return QString::fromUtf8(authorization->mid(7));
}

QString LoggedRequest::lastSegment() const {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

StandInReply StandInReply::json(int status, QByteArray body) {
  StandInReply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

StandInReply StandInReply::json(int status, const QJsonObject& object) {
  return json(status, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

StandInReply StandInReply::error(int status, QLatin1StringView code) {
  return json(status, QJsonObject{{QStringLiteral("error"), code}});
}

StandInReply StandInReply::unauthorized() {
  return error(401, QLatin1StringView("invalid_token"));
}

StandInReply StandInReply::empty(int status) {
  StandInReply reply;
  reply.status = status;
  reply.contentType.clear();
  return reply;
}

StandInReply StandInReply::html(int status, const QString& page) {
  StandInReply reply;
  reply.status = status;
  reply.body = page.toUtf8();
  reply.contentType = "text/html; charset=utf-8";
  return reply;
}

void StandInReply::setHeader(const QByteArray& name, const QByteArray& value) {
  removeHeader(name);
  headers.append({name, value});
}

void StandInReply::removeHeader(QByteArrayView name) {
  headers.removeIf([&](const auto& header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
}

namespace StandInWire {

std::optional<Date> wholeSecondDate(const QString& text) {
  const std::optional<Date> date = AccountCoding::parseDate(text);
  // Only the one form writes back to the same text: no fraction, no offset, no lower-case "z".
  if (!date || AccountCoding::formatDate(*date) != text) {
    return std::nullopt;
  }
  return date;
}

bool isUpperCaseUuid(QStringView text) {
  const std::optional<QUuid> id = AccountCoding::parseID(text);
  return id && AccountCoding::wireID(*id) == text;
}

std::optional<QJsonObject> object(const QByteArray& body) {
  try {
    const QJsonValue value = Json::parse(body);
    if (value.isObject()) {
      return value.toObject();
    }
  } catch (const JsonDecodingError&) {
  }
  return std::nullopt;
}

bool hasKeys(const QJsonObject& object, std::initializer_list<QLatin1StringView> keys) {
  if (object.size() != static_cast<qsizetype>(keys.size())) {
    return false;
  }
  for (const QLatin1StringView key : keys) {
    if (!object.contains(key)) {
      return false;
    }
  }
  return true;
}

QByteArray quoted(const QString& text) {
  return Json::serialize(QJsonValue(text));
}

QString randomToken(QRandomGenerator& random, int bytes) {
  QByteArray raw(bytes, Qt::Uninitialized);
  for (char& byte : raw) {
    byte = static_cast<char>(random.bounded(256));
  }
  return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace StandInWire

} // namespace brindlewick
