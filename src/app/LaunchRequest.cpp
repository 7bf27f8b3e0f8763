#include "app/LaunchRequest.h"

#include "foundation/Json.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace brindlewick {

namespace {

const QString kindKey = QStringLiteral("kind");
const QString linksKey = QStringLiteral("links");
const QString actionKey = QStringLiteral("action");
const QString startupIdKey = QStringLiteral("startupId");
const QString activationTokenKey = QStringLiteral("activationToken");

constexpr QStringView argumentPrefix = u"--";

template <typename E> E readCase(const QJsonObject& object, const QString& key) {
  const std::optional<E> value = fromRawValue<E>(Json::toString(object.value(key), key));
  if (!value)
    throw JsonDecodingError(key, QStringLiteral("no such case"));
  return *value;
}

} // namespace

QString LaunchRequest::argument(LaunchAction action) {
  return argumentPrefix.toString() + rawValue(action);
}

std::optional<LaunchAction> LaunchRequest::actionForArgument(QStringView argument) {
  if (!argument.startsWith(argumentPrefix))
    return std::nullopt;
  return fromRawValue<LaunchAction>(argument.mid(argumentPrefix.size()));
}

bool LaunchRequest::needsRunningCopy() const {
  return kind == Kind::action && (action == LaunchAction::focusReader || action == LaunchAction::dismiss);
}

bool LaunchRequest::opensReaderWindow() const {
  switch (kind) {
  case Kind::reopen: return true;
  case Kind::action: return !needsRunningCopy();
  case Kind::openLinks: return std::any_of(links.begin(), links.end(), &LaunchRequest::isReaderLink);
  }
  return false;
}

bool LaunchRequest::isReaderLink(QStringView link) {
  // QUrl lower-cases the scheme, so "BrindleWick:" would pass it; the raw text decides.
  return link.startsWith(QLatin1String("brindlewick:"));
}

LaunchRequest LaunchRequest::fromArguments(const QStringList& arguments) {
  LaunchRequest request;
  const QStringList given = arguments.mid(1);
  if (given.isEmpty())
    return request;
  if (given.size() == 1) {
    if (const auto action = actionForArgument(given.front())) {
      request.kind = Kind::action;
      request.action = *action;
      return request;
    }
  }
  request.kind = Kind::openLinks;
  request.links = given;
  return request;
}

QByteArray LaunchRequest::toJson() const {
  QJsonObject object{
      {kindKey, rawValue(kind)}, {startupIdKey, startupId}, {activationTokenKey, activationToken}};
  if (kind == Kind::openLinks)
    object.insert(linksKey, QJsonArray::fromStringList(links));
  if (kind == Kind::action)
    object.insert(actionKey, rawValue(action));
  return Json::serialize(object);
}

std::optional<LaunchRequest> LaunchRequest::fromJson(const QByteArray& json) {
  try {
    const QJsonObject object = Json::parseObject(json);
    LaunchRequest request;
    request.kind = readCase<Kind>(object, kindKey);
    request.startupId = Json::toString(object.value(startupIdKey), startupIdKey);
    request.activationToken = Json::toString(object.value(activationTokenKey), activationTokenKey);
    qsizetype keys = 3;
    if (request.kind == Kind::openLinks) {
      for (const QJsonValue& link : Json::toArray(object.value(linksKey), linksKey))
        request.links.append(Json::toString(link, linksKey));
      ++keys;
    } else if (request.kind == Kind::action) {
      request.action = readCase<LaunchAction>(object, actionKey);
      ++keys;
    }
    if (object.size() != keys)
      return std::nullopt;
    return request;
  } catch (const JsonDecodingError&) {
    return std::nullopt;
  }
}

} // namespace brindlewick
