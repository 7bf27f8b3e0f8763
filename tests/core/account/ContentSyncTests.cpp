// The account's content sync against the stand-in over TLS: a content library on a store file
// of its own, so that "kept" means its records are byte for byte what they were.
#include "RawStoreDatabase.h"
#include "ReleaseGenerator.h"
#include "StandInAccountTest.h"
#include "content/ContentRepository.h"

#include <gtest/gtest.h>

#include <functional>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString version = u"1.0.0"_s;
const QString manifestRoute = u"/api/reader/content/manifest"_s;
const QString releaseRoute = u"/api/reader/content/releases/{id}"_s;

// A signed-in reader at the stand-in, and a content library on a file of its own.
class ContentSyncTest : public StandInAccountTest {
protected:
  QString path;
  std::unique_ptr<LocalStore> store;
  std::unique_ptr<ContentRepository> repository;

  // A new session and an empty library on a new file; then a first sync, which installs the
  // current release with its tag.
  void startOver() {
    token = service.accounts().openSession(reader);
    controller = account.open(token);
    ASSERT_EQ(run(controller->refresh()), QString());
    repository.reset();
    path = account.folder.filePath(QUuid::createUuid().toString(QUuid::Id128));
    store = std::make_unique<LocalStore>(false, path);
    repository = std::make_unique<ContentRepository>(*store, version, false);
    ASSERT_EQ(sync(), std::pair(QString(), u"manifest untagged, release"_s));
    EXPECT_EQ(repository->manifestETag(), currentTag());
  }
  // Runs one sync; returns how it ended ("" for success) and its requests.
  std::pair<QString, QString> sync() {
    const QByteArray stored = repository->manifestETag().value_or(QString()).toLatin1();
    service.clearRequestLog();
    const QString outcome = run(controller->syncContent(*repository));
    EXPECT_FALSE(controller->isBusy());
    return {outcome, contentRequests(service.requestLog(), manifestRoute, stored)};
  }
  void fault(const QString& route, StandInFault fault) { service.addFault("GET", route, std::move(fault)); }
  QString currentTag() const { return QString::fromLatin1(service.content().current()->etag); }
};

GeneratedRelease generated(int seed) {
  ReleaseShape shape;
  shape.seed = seed;
  shape.releaseId = generatedId(9, seed);
  return generateRelease(5, shape);
}

struct Row {
  const char* name;
  std::function<void()> arrange;
  QString requests, outcome;
  enum { kept, installed, installedUntagged } content = kept;
};

TEST_F(ContentSyncTest, EveryOutcomeKeepsOrReplacesTheLibraryWhole) {
  const GeneratedRelease next = generated(1), later = generated(2);
  const auto publishNext = [&] { service.content().publish(next.body); };
  const QString retried = u"manifest stored tag, release, manifest untagged, release"_s;
  const std::vector<Row> rows = {
      {"unchanged: 304", [] {}, u"manifest stored tag"_s, QString()},
      {"an equal manifest under another tag",
       [&] {
         fault(manifestRoute,
               {.body = service.content().current()->manifestBody, .headers = {{"ETag", "\"other\""}}});
       },
       u"manifest stored tag"_s, QString()},
      {"a new release, its manifest without a tag",
       [&] { publishNext(), fault(manifestRoute, {.removedHeaders = {"ETag"}}); },
       u"manifest stored tag, release"_s, QString(), Row::installedUntagged},
      {"release gone twice",
       [&] { publishNext(), service.content().unpublish(next.manifest.releaseId, 404); }, retried,
       AccountError::http(404).description()},
      // The second manifest reply announces another release under another tag: that one counts.
      {"release gone once, then another published",
       [&] {
         publishNext();
         fault(releaseRoute, {.status = 410, .onRequest = [&](const LoggedRequest&) {
                                service.content().publish(later.body);
                              }});
       },
       retried, QString(), Row::installed},
      {"401 on the manifest", [&] { fault(manifestRoute, {.status = 401}); }, u"manifest stored tag"_s,
       notSignedIn},
      {"401 on the release", [&] { publishNext(), fault(releaseRoute, {.status = 401}); },
       u"manifest stored tag, release"_s, notSignedIn},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    service.clearFaults();
    service.content().publishSampleRelease();
    startOver();
    harness.advance(60);
    const QMap<QString, QByteArray> before = RawStoreDatabase(path).records();
    row.arrange();
    EXPECT_EQ(sync(), std::pair(row.outcome, row.requests));
    if (row.content == Row::kept) {
      EXPECT_EQ(RawStoreDatabase(path).records(), before);
    } else {
      EXPECT_EQ(repository->release(), service.content().current()->release);
      EXPECT_EQ(repository->manifest(), service.content().current()->manifest);
      EXPECT_EQ(repository->manifestETag(),
                row.content == Row::installed ? std::optional(currentTag()) : std::nullopt);
    }
    const bool revoked = row.outcome == notSignedIn;
    EXPECT_EQ(controller->cache()->accessRevoked, revoked);
    EXPECT_EQ(AccountCache::fromJson(*account.cacheRecord(token)).accessRevoked, revoked);
  }
}

TEST_F(ContentSyncTest, ASignOutDuringTheDownloadLeavesTheLibraryAndTheNextOperationAlone) {
  startOver();
  const QMap<QString, QByteArray> before = RawStoreDatabase(path).records();
  const GeneratedRelease next = generated(1);
  service.content().publish(next.body);
  fault(releaseRoute, {.hold = true});
  const auto first = startTask(controller->syncContent(*repository));
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  ASSERT_FALSE(finishTask(controller->signOut()).error);

  // Signed in again, a second sync waits for its manifest while the first one's reply comes.
  service.grants().setAutoApproveAfter(0);
  SignInDriver driver;
  ASSERT_FALSE(signIn(*controller, harness, driver).error);
  fault(manifestRoute, {.delay = 1});
  service.clearRequestLog();
  const auto second = startTask(controller->syncContent(*repository));
  ASSERT_TRUE(waitUntil([&] { return account.requestsTo(manifestRoute) == 1; }));
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(first));
  EXPECT_EQ(failureText(first->error), AccountError::superseded().description());
  EXPECT_EQ(RawStoreDatabase(path).records(), before);
  EXPECT_TRUE(controller->isBusy() && !second->finished);

  harness.advance(1);
  ASSERT_TRUE(waitUntilFinished(second));
  EXPECT_FALSE(second->error || controller->isBusy());
  EXPECT_EQ(repository->manifest(), next.manifest);
}

} // namespace
