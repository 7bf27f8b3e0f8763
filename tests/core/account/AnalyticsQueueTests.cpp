// The analytics queue on a real store file; uploads to the stand-in over TLS.
#include "AccountFixtures.h"
#include "RawStoreDatabase.h"
#include "RequiredValue.h"
#include "StandInAccountTest.h"
#include "account/AnalyticsQueue.h"
#include "account/TransportRequestProvider.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const Date twentyToTen = requiredValue(AccountCoding::parseDate(u"2026-03-01T09:40:00Z"_s), "parseDate");

// The queue on the account's store file; the reader's account at the stand-in takes uploads.
class AnalyticsQueueTest : public StandInAccountTest {
protected:
  const QString path = account.folder.filePath(u"Brindlewick.store"_s);
  LocalStore& store = *account.store;
  std::unique_ptr<AnalyticsQueue> queue = std::make_unique<AnalyticsQueue>(store, true);
  const DropSnapshot drop = AccountFixtures::snapshot(1);

  void record(const char* type, const QString& impression, Date at = twentyToTen.addingSeconds(599)) {
    queue->record(QString::fromLatin1(type), drop, impression, u"1.0.0"_s, at);
  }
  QMap<QString, QByteArray> records() { return RawStoreDatabase(path).records(); }
  std::optional<QList<AnalyticsEvent>> stored() const {
    return store.load<QList<AnalyticsEvent>>(AnalyticsQueue::queueKey);
  }
  std::string types() const {
    QStringList types;
    for (const AnalyticsEvent& event : queue->events())
      types << event.type;
    return types.join(u' ').toStdString();
  }
};

TEST_F(AnalyticsQueueTest, RecordsOnlyWithConsentAndOneSavedPerImpression) {
  queue = std::make_unique<AnalyticsQueue>(store, false);
  EXPECT_NO_THROW(record("read", u"i1"_s));
  record("shown", u"i1"_s);
  EXPECT_EQ(types(), "");
  EXPECT_TRUE(records().isEmpty());

  queue->setConsent(true);
  for (const char* type : {"saved", "saved", "shown", "shown"})
    record(type, u"i1"_s);
  record("saved", u"i2"_s);
  EXPECT_EQ(types(), "saved shown shown saved");
  const QMap<QString, QByteArray> before = records();
  EXPECT_THROW(record("read", u"i3"_s), AnalyticsError);
  EXPECT_STREQ(AnalyticsError::invalidEvent().what(), "Unknown analytics event. Nothing was queued.");
  EXPECT_EQ(records(), before);

  const AnalyticsEvent first = queue->events().first();
  EXPECT_EQ(first.occurredAt.toStdString(), "2026-03-01T09:40:00Z"); // recorded at 09:49:59

  // A restart reads the same queue back and still knows which impressions were saved.
  const QList<AnalyticsEvent> events = queue->events();
  queue = std::make_unique<AnalyticsQueue>(store, true);
  record("saved", u"i1"_s);
  EXPECT_EQ(queue->events(), events);
  queue->setConsent(false);
  EXPECT_EQ(types(), "");
  EXPECT_TRUE(records().isEmpty());
}

TEST_F(AnalyticsQueueTest, TheFiveHundredAndFirstPushesOutTheOldestAndAFailedCommitChangesNothing) {
  QList<AnalyticsEvent> full;
  for (int i = 0; i < 500; ++i)
    full.append({QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), u"i%1"_s.arg(i), u"shown"_s,
                 drop.lore.id, 1, u"2026-03-01T09:40:00Z"_s, u"1.0.0"_s});
  store.save(full, AnalyticsQueue::queueKey);
  queue = std::make_unique<AnalyticsQueue>(store, true);
  record("next", u"i500"_s);
  ASSERT_EQ(queue->events().size(), 500);
  EXPECT_EQ(queue->events().first(), full[1]);
  EXPECT_EQ(stored(), queue->events());

  const QList<AnalyticsEvent> events = queue->events();
  RawStoreDatabase raw(path);
  raw.scalar(u"CREATE TRIGGER refuse BEFORE UPDATE ON records BEGIN SELECT RAISE(ABORT, 'full'); END"_s);
  EXPECT_THROW(record("saved", u"i1"_s), LocalStoreError);
  EXPECT_EQ(queue->events(), events);
  raw.scalar(u"DROP TRIGGER refuse"_s);
  record("saved", u"i1"_s); // the refused "saved" was not remembered either
  EXPECT_EQ(queue->events().last().type, u"saved"_s);
}

TEST_F(AnalyticsQueueTest, PruningKeepsCurrentRevisionsWithinTheWindow) {
  const qint64 revision = drop.lore.revision;
  const struct {
    const char* name;
    std::optional<qint64> revision; // of the drop in the release; none: not in it
    double pruneAfter;              // seconds after the event's time
    int dropped;
  } rows[] = {{"current", revision, 0, 0},
              {"revision changed", revision + 1, 0, 1},
              {"left the release", std::nullopt, 0, 1},
              {"6 minutes ahead", revision, -360, 1},
              {"5 minutes ahead", revision, -300, 0},
              {"30 days old", revision, 2592000, 0},
              {"30 days and a second", revision, 2592001, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    queue->setConsent(false);
    queue->setConsent(true);
    record("shown", u"i1"_s, twentyToTen);
    ContentRelease release;
    if (row.revision)
      release.lore.append(drop.lore), release.lore.last().revision = *row.revision;
    EXPECT_EQ(queue->prune(release, twentyToTen.addingSeconds(row.pruneAfter)), row.dropped);
    EXPECT_EQ(queue->events().size(), 1 - row.dropped);
    EXPECT_EQ(stored(), queue->events());
  }
}

class AnalyticsUploadTest : public AnalyticsQueueTest {
protected:
  TransportRequestProvider provider{*account.client,
                                    [this] { return service.accounts().openSession(reader); }};
  static QCoro::Task<> finished(std::shared_ptr<AnalyticsUpload> upload) { co_await upload->finished(); }
};

TEST_F(AnalyticsUploadTest, SendsTheOldestFiftyAndKeepsTheBatchOnFailure) {
  for (int i = 0; i < 120; ++i)
    record("shown", u"i%1"_s.arg(i));
  const QList<AnalyticsEvent> all = queue->events();
  const auto upload = queue->upload(provider);
  ASSERT_TRUE(upload);
  EXPECT_FALSE(queue->upload(provider)) << "one upload at a time";
  ASSERT_TRUE(finishTask(finished(upload)).finished);
  ASSERT_EQ(service.analyticsEvents().size(), 50);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(service.analyticsEvents()[i], all[i].toJson());
  EXPECT_EQ(queue->events(), all.mid(50));
  EXPECT_EQ(stored(), all.mid(50));
  EXPECT_FALSE(queue->message());

  service.addFault("POST", AnalyticsQueue::batchPath, {.status = 503});
  ASSERT_TRUE(finishTask(finished(queue->upload(provider))).finished);
  EXPECT_EQ(queue->events(), all.mid(50));
  EXPECT_EQ(
      queue->message().value_or(QString()).toStdString(),
      "Optional analytics upload failed; queued for a later refresh. The content service returned HTTP 503.");
}

TEST_F(AnalyticsUploadTest, AWithdrawalWinsOverTheReplyInFlight) {
  record("shown", u"i1"_s);
  service.addFault("POST", AnalyticsQueue::batchPath, {.times = StandInFault::always, .hold = true});
  const auto upload = queue->upload(provider);
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  queue->setConsent(false);
  service.releaseHeld();
  ASSERT_TRUE(finishTask(finished(upload)).finished);
  EXPECT_EQ(types(), "");
  EXPECT_FALSE(queue->message());
  EXPECT_TRUE(records().isEmpty());

  // A queue that goes while its reply is held leaves an upload that just ends.
  queue->setConsent(true);
  record("shown", u"i2"_s);
  const auto orphan = queue->upload(provider);
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  queue.reset();
  service.releaseHeld();
  EXPECT_TRUE(finishTask(finished(orphan)).finished);
}

} // namespace
