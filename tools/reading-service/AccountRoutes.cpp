#include "AccountRoutes.h"

#include "ReadingService.h"
#include "account/AccountContracts.h"
#include "foundation/Json.h"

#include <QJsonDocument>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

using AccountCoding::formatDate;
using StandInWire::hasKeys;

QJsonObject metricsJson(const StandInAccounts::Metrics& metrics) {
  return QJsonObject{{u"savedCount"_s, metrics.savedCount},
                     {u"lovedCount"_s, metrics.lovedCount},
                     {u"readCount"_s, metrics.readCount}};
}

QJsonObject settingsJson(const StandInAccounts::Settings& settings) {
  QJsonObject object{{u"version"_s, settings.version}};
  if (settings.preferences) {
    object.insert(u"preferences"_s, settings.preferences->toJson());
  }
  return object;
}

StandInReply me(ReadingService& service, const LoggedRequest&, const StandInAccounts::Session& session) {
  const StandInAccounts::Reader reader = *service.accounts().reader(session.readerId);
  QJsonObject user{{u"id"_s, reader.id}, {u"name"_s, reader.name}, {u"email"_s, reader.email}};
  if (reader.image) {
    user.insert(u"image"_s, *reader.image);
  }
  return StandInReply::json(200,
                            QJsonObject{{u"user"_s, user},
                                        {u"sessionExpiresAt"_s, formatDate(session.expiresAt)},
                                        {u"metrics"_s, metricsJson(service.accounts().metrics(reader.id))}});
}

StandInReply items(ReadingService& service, const LoggedRequest& request,
                   const StandInAccounts::Session& session) {
  auto page = service.accounts().itemsPage(session.readerId, request.queryItem(u"cursor"));
  if (!page) {
    return StandInReply::error(400, "invalid_cursor"_L1);
  }
  return StandInReply::json(200, std::move(*page));
}

StandInReply changeItem(ReadingService& service, const LoggedRequest& request,
                        const StandInAccounts::Session& session) {
  const auto body = StandInWire::object(request.body);
  const bool saved = body && hasKeys(*body, {"saved"_L1, "revision"_L1});
  const bool loved = body && hasKeys(*body, {"loved"_L1, "revision"_L1});
  const QJsonValue value = body ? body->value(saved ? "saved"_L1 : "loved"_L1) : QJsonValue();
  const QJsonValue revision = body ? body->value("revision"_L1) : QJsonValue();
  if (!(saved || loved) || !value.isBool() || !Json::isInteger(revision)) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  const QString loreId = request.lastSegment();
  std::optional<DropSnapshot> snapshot;
  if (const auto held = service.accounts().item(session.readerId, loreId)) {
    if (held->snapshot.lore.revision != revision.toInteger()) {
      return StandInReply::error(409, "revision_conflict"_L1);
    }
  } else if (!(snapshot = service.content().snapshot(loreId, revision.toInteger()))) {
    return StandInReply::error(404, "not_found"_L1);
  }
  const auto flag = saved ? StandInAccounts::Flag::saved : StandInAccounts::Flag::loved;
  return StandInReply::json(
      200, service.accounts().setFlag(session.readerId, loreId, flag, value.toBool(), snapshot));
}

StandInReply preferences(ReadingService& service, const LoggedRequest&,
                         const StandInAccounts::Session& session) {
  return StandInReply::json(200, settingsJson(service.accounts().settings(session.readerId)));
}

StandInReply savePreferences(ReadingService& service, const LoggedRequest& request,
                             const StandInAccounts::Session& session) {
  const auto body = StandInWire::object(request.body);
  if (!body || !hasKeys(*body, {"preferences"_L1, "version"_L1}) ||
      !Json::isInteger(body->value("version"_L1)) || !body->value("preferences"_L1).isObject() ||
      body->value("preferences"_L1).toObject().contains("preferredDisplayID"_L1)) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  std::optional<ReaderPreferences> preferences;
  try {
    preferences = ReaderPreferences::fromJson(body->value("preferences"_L1));
  } catch (const std::exception&) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  const auto saved = service.accounts().savePreferences(session.readerId, *preferences,
                                                        body->value("version"_L1).toInteger());
  if (!saved) {
    return StandInReply::error(409, "version_conflict"_L1);
  }
  return StandInReply::json(200, settingsJson(*saved));
}

StandInReply activity(ReadingService& service, const LoggedRequest& request,
                      const StandInAccounts::Session& session) {
  const auto body = StandInWire::object(request.body);
  if (!body || !hasKeys(*body, {"id"_L1, "loreId"_L1, "revision"_L1, "type"_L1, "occurredAt"_L1}) ||
      !StandInWire::isUpperCaseUuid(body->value("id"_L1).toString()) ||
      body->value("loreId"_L1).toString().isEmpty() || !Json::isInteger(body->value("revision"_L1)) ||
      body->value("type"_L1) != "read"_L1 ||
      !StandInWire::wholeSecondDate(body->value("occurredAt"_L1).toString())) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  service.accounts().recordRead(session.readerId, body->value("id"_L1).toString());
  return StandInReply::json(200, QJsonObject{{u"ok"_s, true}});
}

StandInReply photo(ReadingService& service, const LoggedRequest& request) {
  return service.photo(request.lastSegment()).value_or(StandInReply::error(404, "not_found"_L1));
}

} // namespace

void installAccountRoutes(ReadingService& service) {
  service.serve("GET", u"/photos/{id}"_s, photo);
  service.serveSignedIn("GET", u"/api/reader/me"_s, me);
  service.serveSignedIn("GET", u"/api/reader/items"_s, items);
  service.serveSignedIn("PUT", u"/api/reader/items/{id}"_s, changeItem);
  service.serveSignedIn("GET", u"/api/reader/preferences"_s, preferences);
  service.serveSignedIn("PUT", u"/api/reader/preferences"_s, savePreferences);
  service.serveSignedIn("POST", u"/api/reader/activity"_s, activity);
}

} // namespace brindlewick
