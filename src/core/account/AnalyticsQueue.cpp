#include "account/AnalyticsQueue.h"

#include "account/AccountContracts.h"
#include "account/SyncService.h"
#include "foundation/Json.h"

#include <QHash>
#include <QPointer>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <utility>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

const QString savedType = u"saved"_s;
const QSet<QString> eventTypes{u"shown"_s, savedType, u"next"_s, u"dismissed"_s, u"deep_dive"_s};
const QString uploadFailurePrefix = u"Optional analytics upload failed; queued for a later refresh. "_s;

// The time rounded down to its 10-minute step since 1970, in whole seconds with "Z".
QString eventTime(Date at) {
  const double steps = std::floor(at.unixSeconds() / double(AnalyticsQueue::timeStepSeconds));
  return AccountCoding::formatDate(Date::fromUnixSeconds(steps * double(AnalyticsQueue::timeStepSeconds)));
}

QByteArray encodeEvents(const QList<AnalyticsEvent>& events) {
  return Json::serialize(JsonCoding<QList<AnalyticsEvent>>::encode(events));
}

QByteArray encodeImpressions(const QSet<QString>& impressions) {
  QStringList sorted(impressions.begin(), impressions.end());
  sorted.sort();
  return Json::serialize(JsonCoding<QStringList>::encode(sorted));
}

} // namespace

AnalyticsEvent AnalyticsEvent::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  return AnalyticsEvent{reader.string(u"id"),        reader.string(u"impressionId"),
                        reader.string(u"type"),      reader.string(u"loreId"),
                        reader.int64(u"revision"),   reader.string(u"occurredAt"),
                        reader.string(u"appVersion")};
}

QJsonObject AnalyticsEvent::toJson() const {
  return QJsonObject{{u"id"_s, id},
                     {u"impressionId"_s, impressionId},
                     {u"type"_s, type},
                     {u"loreId"_s, loreId},
                     {u"revision"_s, revision},
                     {u"occurredAt"_s, occurredAt},
                     {u"appVersion"_s, appVersion}};
}

const char* AnalyticsError::what() const noexcept {
  return "Unknown analytics event. Nothing was queued.";
}

AnalyticsQueue::AnalyticsQueue(LocalStore& store, bool consent, QObject* parent)
    : QObject(parent), m_store(store), m_consent(consent) {
  m_events = store.load<QList<AnalyticsEvent>>(queueKey).value_or(QList<AnalyticsEvent>());
  const QStringList saved = store.load<QStringList>(savedKey).value_or(QStringList());
  m_savedImpressions = QSet<QString>(saved.begin(), saved.end());
  if (!consent)
    setConsent(false);
}

AnalyticsQueue::~AnalyticsQueue() {
  if (m_upload)
    m_upload->cancel();
}

void AnalyticsQueue::setConsent(bool granted) {
  if (granted && m_consent)
    return;
  ++m_consentGeneration;
  if (const std::shared_ptr<AnalyticsUpload> running = std::exchange(m_upload, nullptr))
    running->cancel();
  const bool changed = m_consent != granted;
  m_consent = granted;
  if (!granted) {
    // Withdrawn means gone: the queue empties at once, even if the store then fails.
    m_savedImpressions.clear();
    setEvents({});
  }
  if (changed)
    Q_EMIT consentChanged();
  if (!granted)
    m_store.commit({}, {queueKey, savedKey});
}

void AnalyticsQueue::record(const QString& type, const DropSnapshot& snapshot, const QString& impressionID,
                            const QString& appVersion, Date at) {
  if (!m_consent)
    return;
  if (!eventTypes.contains(type))
    throw AnalyticsError::invalidEvent();
  const bool saved = type == savedType;
  if (saved && m_savedImpressions.contains(impressionID))
    return;

  const AnalyticsEvent event{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                             impressionID,
                             type,
                             snapshot.lore.id,
                             snapshot.lore.revision,
                             eventTime(at),
                             appVersion};
  QList<AnalyticsEvent> events = m_events;
  events.append(event);
  if (events.size() > maximumEvents)
    events.remove(0, events.size() - maximumEvents);
  QSet<QString> impressions = m_savedImpressions;
  if (saved)
    impressions.insert(impressionID);

  m_store.commit({{queueKey, encodeEvents(events)}, {savedKey, encodeImpressions(impressions)}}, {});
  m_savedImpressions = std::move(impressions);
  setEvents(std::move(events));
}

int AnalyticsQueue::prune(const ContentRelease& release, Date at) {
  if (!m_consent)
    return 0;
  QHash<QString, qint64> revisions;
  revisions.reserve(release.lore.size());
  for (const Drop& drop : release.lore)
    revisions.insert(drop.id, drop.revision);
  const Date earliest = at.addingSeconds(-retentionSeconds);
  const Date latest = at.addingSeconds(clockSkewSeconds);

  QList<AnalyticsEvent> kept;
  for (const AnalyticsEvent& event : m_events) {
    const auto revision = revisions.constFind(event.loreId);
    const std::optional<Date> occurred = AccountCoding::parseDate(event.occurredAt);
    if (revision != revisions.constEnd() && *revision == event.revision && occurred &&
        *occurred >= earliest && *occurred <= latest)
      kept.append(event);
  }
  const int dropped = int(m_events.size() - kept.size());
  if (dropped > 0) {
    m_store.commit({{queueKey, encodeEvents(kept)}}, {});
    setEvents(std::move(kept));
  }
  return dropped;
}

std::shared_ptr<AnalyticsUpload> AnalyticsQueue::upload(RequestProvider& sender) {
  if (!m_consent || m_events.isEmpty() || m_upload)
    return nullptr;
  auto upload = std::make_shared<AnalyticsUpload>();
  m_upload = upload;
  performUpload(sender, m_events.first(std::min(m_events.size(), batchSize)), m_consentGeneration, upload);
  return upload;
}

QCoro::Task<> AnalyticsQueue::performUpload(RequestProvider& sender, QList<AnalyticsEvent> batch,
                                            quint64 generation, std::shared_ptr<AnalyticsUpload> upload) {
  const QPointer<AnalyticsQueue> self(this);
  const CancellationToken cancellation = upload->m_cancellation.token();
  const QByteArray body = Json::serialize(
      QJsonObject{{u"consent"_s, true}, {u"events"_s, JsonCoding<QList<AnalyticsEvent>>::encode(batch)}});

  std::exception_ptr failure;
  try {
    const APIResponse reply =
        co_await sender.authorizedRequest(batchPath, u"POST"_s, body, replyLimit, std::nullopt, cancellation);
    cancellation.throwIfCancelled();
    if (self && isCurrent(generation)) {
      if (reply.statusCode < 200 || reply.statusCode > 299)
        throw SyncError::http(reply.statusCode);
      QSet<QString> sent;
      for (const AnalyticsEvent& event : batch)
        sent.insert(event.id);
      QList<AnalyticsEvent> remaining = m_events;
      remaining.removeIf([&](const AnalyticsEvent& event) { return sent.contains(event.id); });
      m_store.commit({{queueKey, encodeEvents(remaining)}}, {});
      setEvents(std::move(remaining));
      setMessage(std::nullopt);
    }
  } catch (const CancelledError&) {
    // Cancelled by a consent change, the caller or the queue's end: the batch stays, silently.
  } catch (...) {
    failure = std::current_exception();
  }
  if (self) {
    if (failure && isCurrent(generation))
      setMessage(uploadFailurePrefix + failureDescription(failure));
    if (m_upload == upload)
      m_upload.reset();
  }
  upload->m_finished.resolve({});
}

void AnalyticsQueue::setEvents(QList<AnalyticsEvent> events) {
  if (m_events == events)
    return;
  m_events = std::move(events);
  Q_EMIT eventsChanged();
}

void AnalyticsQueue::setMessage(std::optional<QString> message) {
  if (m_message == message)
    return;
  m_message = std::move(message);
  Q_EMIT messageChanged();
}

} // namespace brindlewick
