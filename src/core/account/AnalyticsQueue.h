#pragma once

#include "account/RequestProvider.h"
#include "content/ContentContracts.h"
#include "content/ContentSnapshots.h"
#include "content/LocalStore.h"
#include "foundation/Cancellation.h"
#include "foundation/Completion.h"
#include "foundation/Date.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <variant>

namespace brindlewick {

// One anonymous reading event, as queued and as uploaded; JSON keys are the field names.
struct AnalyticsEvent {
  // An upper-case UUID, new for each event.
  QString id;
  // The showing of a drop the event belongs to.
  QString impressionId;
  // "shown", "saved", "next", "dismissed" or "deep_dive".
  QString type;
  QString loreId;
  qint64 revision = 0;
  // UTC in whole seconds with "Z", on a 10-minute step: 09:49:59 is written 09:40:00.
  QString occurredAt;
  QString appVersion;

  static AnalyticsEvent fromJson(const QJsonValue& value, const QString& path = {});
  QJsonObject toJson() const;
  friend bool operator==(const AnalyticsEvent&, const AnalyticsEvent&) = default;
};

// The analytics queue's error: an event type it does not know.
class AnalyticsError : public std::exception {
public:
  static AnalyticsError invalidEvent() { return AnalyticsError(); }

  // "Unknown analytics event. Nothing was queued."
  QString description() const { return QString::fromUtf8(what()); }
  const char* what() const noexcept override;
};

// One running batch upload of an AnalyticsQueue. The queue keeps it while it runs; the caller
// may cancel it or await its end.
class AnalyticsUpload {
public:
  // Stops the upload silently: the batch stays queued.
  void cancel() { m_cancellation.cancel(); }
  bool isFinished() const { return m_finished.isSettled(); }
  // Settles when the upload has ended, however it ended (the queue's message tells of a
  // failure). One coroutine may await it.
  Completion<std::monostate> finished() const { return m_finished; }

private:
  friend class AnalyticsQueue;
  CancellationSource m_cancellation;
  Completion<std::monostate> m_finished;
};

// A consent-gated, persistent queue of small anonymous reading events, uploaded to the
// reading service in batches of 50. Without consent nothing is recorded, and withdrawing it
// empties the queue in memory and in the store at once; an upload in flight then changes
// nothing when its reply comes.
//
// Recording, pruning and uploading write the store first ("analytics-queue", "analytics-saved")
// and only then change the queue in memory, so a failed write changes nothing. Confined to the
// main thread;
// the store must outlive the queue. Each property signals when it changes.
class AnalyticsQueue final : public QObject {
  Q_OBJECT

public:
  static constexpr qsizetype maximumEvents = 500;
  static constexpr qsizetype batchSize = 50;
  static constexpr qint64 replyLimit = 16384;
  // Event times are rounded down to this step, so that an event does not tell the minute.
  static constexpr qint64 timeStepSeconds = 600;
  // Events dated outside [now - 30 days, now + 5 minutes] are pruned.
  static constexpr double retentionSeconds = 2592000;
  static constexpr double clockSkewSeconds = 300;
  static inline const QString queueKey = QStringLiteral("analytics-queue");
  static inline const QString savedKey = QStringLiteral("analytics-saved");
  static inline const QString batchPath = QStringLiteral("/api/v1/analytics/batch");

  // Loads the queue from `store` (missing records: empty); throws the store's or the
  // decoder's error for a record that cannot be read. Without consent both records are then
  // removed, and a failure to remove them is thrown.
  AnalyticsQueue(LocalStore& store, bool consent, QObject* parent = nullptr);
  // Cancels a running upload.
  ~AnalyticsQueue() override;

  bool consent() const { return m_consent; }
  // Oldest first, at most maximumEvents.
  const QList<AnalyticsEvent>& events() const { return m_events; }
  // The last upload problem; cleared by a successful upload.
  const std::optional<QString>& message() const { return m_message; }

  // Granting consent again changes nothing. Any other change cancels a running upload and
  // makes its late reply count for nothing; a withdrawal empties the queue and removes both
  // records in one commit (the store's failure is thrown, the queue in memory is empty anyway).
  void setConsent(bool granted);

  // Queues one event. Without consent nothing happens, whatever the type; an unknown type
  // throws AnalyticsError; a second "saved" for one impression is ignored. Past
  // maximumEvents the oldest go. Throws the encoder's or the store's error, changing nothing.
  void record(const QString& type, const DropSnapshot& snapshot, const QString& impressionID,
              const QString& appVersion, Date at);

  // Drops events whose drop the release no longer carries at that revision, and events dated
  // outside the retention window around `at`; returns how many went. Throws the store's
  // error, changing nothing.
  int prune(const ContentRelease& release, Date at);

  // Uploads the oldest batch through `sender`, which must outlive the upload, and returns
  // the running upload; none without consent, without events or while an upload runs. On
  // success the batch leaves the queue (events recorded meanwhile stay); on failure it stays
  // and `message` says why.
  std::shared_ptr<AnalyticsUpload> upload(RequestProvider& sender);

Q_SIGNALS:
  void consentChanged();
  void eventsChanged();
  void messageChanged();

private:
  QCoro::Task<> performUpload(RequestProvider& sender, QList<AnalyticsEvent> batch, quint64 generation,
                              std::shared_ptr<AnalyticsUpload> upload);
  // Consent is still given and has not changed since `generation`.
  bool isCurrent(quint64 generation) const { return m_consent && m_consentGeneration == generation; }

  void setEvents(QList<AnalyticsEvent> events);
  void setMessage(std::optional<QString> message);

  LocalStore& m_store;
  bool m_consent;
  QList<AnalyticsEvent> m_events;
  std::optional<QString> m_message;
  // Impressions that already have their "saved" event; emptied only by a withdrawal.
  QSet<QString> m_savedImpressions;
  // Raised by every consent change: an upload of an earlier generation changes nothing.
  quint64 m_consentGeneration = 0;
  std::shared_ptr<AnalyticsUpload> m_upload;
};

} // namespace brindlewick
