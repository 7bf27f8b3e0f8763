#pragma once

#include "foundation/Date.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QRandomGenerator>
#include <QString>

#include <initializer_list>
#include <optional>

namespace brindlewick {

// One request as the stand-in received it, before any route ran.
struct LoggedRequest {
  QByteArray method;
  QString path;  // without the query
  QString query; // as sent, still percent-encoded, without the "?"
  QList<QPair<QByteArray, QByteArray>> headers;
  QByteArray body;

  // The value of a header, its name compared without regard to case.
  std::optional<QByteArray> header(QByteArrayView name) const;
  // The first query item of that name, percent-decoded and nothing else: a "+" stays a "+",
  // as it does for a client that percent-encodes its values.
  std::optional<QString> queryItem(QStringView name) const;
  // The token of an "Authorization: Bearer …" header.
  std::optional<QString> bearerToken() const;
  // The path's last segment: the id of "/api/reader/items/{id}".
  QString lastSegment() const;
};

// What a route answers.
struct StandInReply {
  int status = 200;
  QList<QPair<QByteArray, QByteArray>> headers = {};
  QByteArray body = {};
  QByteArray contentType = "application/json";

  static StandInReply json(int status, QByteArray body);
  static StandInReply json(int status, const QJsonObject& object);
  // The error body of the service: {"error": code}.
  static StandInReply error(int status, QLatin1StringView code);
  // 401 for a request without an open session.
  static StandInReply unauthorized();
  // A reply without a body (204, 304).
  static StandInReply empty(int status);
  static StandInReply html(int status, const QString& page);

  // Replaces every header of that name (compared without regard to case) with one value.
  void setHeader(const QByteArray& name, const QByteArray& value);
  void removeHeader(QByteArrayView name);
};

// The formats the service's JSON uses.
namespace StandInWire {

// A date in exactly the form the service writes (2026-03-01T09:30:00Z: UTC, whole seconds,
// "Z"), or nothing.
std::optional<Date> wholeSecondDate(const QString& text);
// 8-4-4-4-12 hexadecimal digits, the letters upper case.
bool isUpperCaseUuid(QStringView text);
// A strictly parsed JSON object, or nothing for anything else.
std::optional<QJsonObject> object(const QByteArray& body);
// The object's keys are exactly these.
bool hasKeys(const QJsonObject& object, std::initializer_list<QLatin1StringView> keys);
// A JSON string literal, quotes and escapes included.
QByteArray quoted(const QString& text);
// `bytes` random bytes as unpadded base64url: a secret that needs no escaping anywhere.
QString randomToken(QRandomGenerator& random, int bytes = 32);

} // namespace StandInWire

} // namespace brindlewick
