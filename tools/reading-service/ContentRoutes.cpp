#include "ContentRoutes.h"

#include "ReadingService.h"
#include "foundation/Json.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype largestBatch = 50;
constexpr double eventTimeStep = 600; // event times are rounded down to ten minutes

StandInReply manifest(ReadingService& service, const LoggedRequest& request,
                      const StandInAccounts::Session&) {
  const PublishedContent::Release* current = service.content().current();
  if (!current) {
    return StandInReply::error(404, "not_found"_L1);
  }
  StandInReply reply = request.header("If-None-Match") == current->etag
                           ? StandInReply::empty(304)
                           : StandInReply::json(200, current->manifestBody);
  reply.setHeader("ETag", current->etag);
  return reply;
}

StandInReply release(ReadingService& service, const LoggedRequest& request, const StandInAccounts::Session&) {
  const QString id = request.lastSegment();
  if (const PublishedContent::Release* served = service.content().release(id)) {
    return StandInReply::json(200, served->body);
  }
  if (const auto gone = service.content().goneStatus(id)) {
    return StandInReply::error(*gone, "release_unavailable"_L1);
  }
  return StandInReply::error(404, "not_found"_L1);
}

bool isEvent(const QJsonValue& value) {
  static const QStringList types{u"shown"_s, u"saved"_s, u"next"_s, u"dismissed"_s, u"deep_dive"_s};
  const QJsonObject event = value.toObject();
  const auto occurredAt = StandInWire::wholeSecondDate(event.value("occurredAt"_L1).toString());
  return StandInWire::hasKeys(event, {"id"_L1, "impressionId"_L1, "type"_L1, "loreId"_L1, "revision"_L1,
                                      "occurredAt"_L1, "appVersion"_L1}) &&
         StandInWire::isUpperCaseUuid(event.value("id"_L1).toString()) &&
         event.value("impressionId"_L1).isString() && types.contains(event.value("type"_L1).toString()) &&
         event.value("loreId"_L1).isString() && Json::isInteger(event.value("revision"_L1)) && occurredAt &&
         std::fmod(occurredAt->unixSeconds(), eventTimeStep) == 0 && event.value("appVersion"_L1).isString();
}

StandInReply analyticsBatch(ReadingService& service, const LoggedRequest& request,
                            const StandInAccounts::Session&) {
  const auto body = StandInWire::object(request.body);
  const QJsonArray events = body ? body->value("events"_L1).toArray() : QJsonArray();
  if (!body || !StandInWire::hasKeys(*body, {"consent"_L1, "events"_L1}) ||
      body->value("consent"_L1) != true || !body->value("events"_L1).isArray() ||
      events.size() > largestBatch || !std::all_of(events.begin(), events.end(), isEvent)) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  for (const QJsonValue& event : events) {
    service.analyticsEvents().append(event.toObject());
  }
  return StandInReply::json(200, QJsonObject{{u"accepted"_s, events.size()}});
}

} // namespace

void installContentRoutes(ReadingService& service) {
  for (const QString& prefix : {u"/api/reader/content/"_s, u"/api/v1/content/"_s}) {
    service.serveSignedIn("GET", prefix + u"manifest"_s, manifest);
    service.serveSignedIn("GET", prefix + u"releases/{id}"_s, release);
  }
  service.serveSignedIn("POST", u"/api/v1/analytics/batch"_s, analyticsBatch);
}

} // namespace brindlewick
