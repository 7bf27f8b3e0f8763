// The content sync service against the stand-in over TLS, on a real store file.
#include "RawStoreDatabase.h"
#include "ReleaseGenerator.h"
#include "StandInAccountTest.h"
#include "account/SyncService.h"
#include "account/TransportRequestProvider.h"
#include "service/ServiceError.h"

#include <gtest/gtest.h>

#include <functional>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString version = u"1.0.0"_s;
const std::string failed = "Sync failed; last-good content was retained. ";
const std::string upToDate = "Your content is up to date.";
const std::string updated = "Content updated. Saved revisions are unchanged.";
const QString manifestRoute = u"/api/v1/content/manifest"_s;
const QString releaseRoute = u"/api/v1/content/releases/{id}"_s;

// The reader's account at the stand-in; the service syncs into the account's store file.
class SyncServiceTest : public StandInAccountTest {
protected:
  const QString path = account.folder.filePath(u"Brindlewick.store"_s);
  ContentRepository repository{*account.store, version, false};
  std::optional<QString> session;
  TransportRequestProvider provider{*account.client, [this] { return session; }};
  std::unique_ptr<SyncService> sync =
      std::make_unique<SyncService>(repository, provider, version, harness.clock());

  // Runs one sync and returns its requests.
  std::string run() {
    const QByteArray stored = repository.manifestETag().value_or(QString()).toLatin1();
    service.clearRequestLog();
    EXPECT_TRUE(finishTask(sync->sync()).finished && !sync->isBusy());
    return contentRequests(service.requestLog(), manifestRoute, stored).toStdString();
  }
  std::string message() const { return sync->message().value_or(QString()).toStdString(); }
  void fault(const QString& route, StandInFault fault) { service.addFault("GET", route, std::move(fault)); }
  const PublishedContent::Release& current() { return *service.content().current(); }
};

// Each row starts from what a first sync installed, a minute later.
struct Row {
  const char* name;
  std::function<void()> arrange;
  std::string requests, message;
  int installs = 0; // 0: the store is kept as it was; 1: the next release with its tag; -1: without
};

TEST_F(SyncServiceTest, EveryOutcomeKeepsOrReplacesTheReleaseWhole) {
  const GeneratedRelease next = generateRelease(5);
  const auto publishNext = [&] { service.content().publish(next.body); };
  const std::string retried = "manifest stored tag, release, manifest untagged, release";
  const std::vector<Row> rows = {
      {"unchanged: 304", [] {}, "manifest stored tag", upToDate},
      {"equal manifest, other tag",
       [&] {
         fault(manifestRoute, {.body = current().manifestBody, .headers = {{"ETag", "x"}}});
       },
       "manifest stored tag", upToDate},
      {"manifest without tag", [&] { publishNext(), fault(manifestRoute, {.removedHeaders = {"ETag"}}); },
       "manifest stored tag, release", updated, -1},
      {"release gone twice",
       [&] { publishNext(), service.content().unpublish(next.manifest.releaseId, 404); }, retried,
       failed + ServiceError::releaseUnavailable().what()},
      {"gone once", [&] { publishNext(), fault(releaseRoute, {.status = 410}); }, retried, updated, 1},
      {"manifest 404: no retry", [&] { fault(manifestRoute, {.status = 404}); }, "manifest stored tag",
       failed + "The content service returned HTTP 404."},
      {"no session: nothing sent", [&] { session.reset(); }, "", failed + AccountError::notSignedIn().what()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    service.clearFaults();
    service.content().publishSampleRelease();
    session = service.accounts().openSession(reader);
    run();
    ASSERT_EQ(repository.manifestETag(), QString::fromLatin1(current().etag));
    const std::optional<Date> firstSuccess = sync->lastSuccess();
    harness.advance(60);
    const QMap<QString, QByteArray> before = RawStoreDatabase(path).records();

    row.arrange();
    EXPECT_EQ(run(), row.requests);
    EXPECT_EQ(message(), row.message);
    EXPECT_EQ(sync->lastSuccess(),
              row.message == upToDate || row.message == updated ? harness.now() : firstSuccess);
    if (!row.installs) {
      EXPECT_EQ(RawStoreDatabase(path).records(), before);
    } else {
      const QString tag = QString::fromLatin1(current().etag);
      EXPECT_EQ(repository.manifest(), next.manifest);
      EXPECT_EQ(repository.manifestETag(), row.installs > 0 ? std::optional(tag) : std::nullopt);
    }
  }
}

TEST_F(SyncServiceTest, ASyncDuringARunSendsNothingAndTheServiceMayGo) {
  session = service.accounts().openSession(reader);
  fault(manifestRoute, {.hold = true});
  const auto first = startTask(sync->sync());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_TRUE(finishTask(sync->sync()).finished);
  EXPECT_EQ(service.requestLog().size(), 1);
  EXPECT_TRUE(sync->isBusy());

  // Gone while its reply is held: the late reply touches nothing.
  sync.reset();
  service.releaseHeld();
  EXPECT_TRUE(waitUntilFinished(first));
  EXPECT_FALSE(repository.release());
}

} // namespace
