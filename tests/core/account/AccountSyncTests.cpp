// The reader's saves and loves, synced preferences and reading activity against the stand-in
// service over TLS, on a store file and a clock the test sets.
#include "RawStoreDatabase.h"
#include "ReleaseGenerator.h"
#include "StandInAccountTest.h"
#include "foundation/Json.h"
#include "service/ServiceError.h"

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString consent = AccountError::consentRequired().description();
const QString activityPath = u"/api/reader/activity"_s;
const QString preferencesPath = u"/api/reader/preferences"_s;
const QString eventID = u"0f8fad5b-d9cb-469f-a165-70867728950e"_s;

ReaderPreferences preferences(bool analyticsConsent) {
  ReaderPreferences preferences;
  preferences.analyticsConsent = analyticsConsent;
  preferences.onboardingComplete = true;
  return preferences;
}

class AccountSyncTest : public StandInAccountTest {
protected:
  const GeneratedRelease release = generateRelease(4);

  void SetUp() override {
    service.content().publish(release.body);
    signIn();
  }
  // A new session whose account shares readings, confirmed by a refresh.
  void signIn() {
    service.accounts().setPreferences(reader, preferences(true));
    token = service.accounts().openSession(reader);
    controller = account.open(token);
    ASSERT_EQ(run(controller->refresh()), QString());
  }
  DropSnapshot drop(int index) const { return DropSnapshot(release.release.lore[index], release.release); }
  QString read(const QString& id = eventID, double secondsAgo = 60) {
    return run(controller->recordRead(drop(0), id, harness.now().addingSeconds(-secondsAgo)));
  }
  // What the reader sees and what a restart would read.
  std::pair<std::optional<AccountCache>, std::optional<QByteArray>> state() const {
    return {controller->cache(), account.cacheRecord(token)};
  }
  QJsonObject lastBody(const QString& path) const {
    for (auto request = service.requestLog().rbegin(); request != service.requestLog().rend(); ++request)
      if (request->path == path)
        return Json::parseObject(request->body);
    return {};
  }
  void hold(const QByteArray& method, const QString& path, int times = 1) {
    service.addFault(method, path, {.times = times, .hold = true});
  }
};

TEST_F(AccountSyncTest, ASaveIsStoredAndChangesAHeldDropAtTheAccountsRevision) {
  const DropSnapshot loved = drop(1);
  service.accounts().putItem(reader, {loved, false, true, std::nullopt, harness.now(), harness.now()});
  ASSERT_EQ(run(controller->refresh()), QString());
  ASSERT_EQ(run(controller->setSaved(true, drop(0))), QString());
  DropSnapshot newer = loved;
  newer.lore.revision += 1;
  ASSERT_EQ(run(controller->setSaved(true, newer)), QString());
  EXPECT_EQ(lastBody(u"/api/reader/items/"_s + loved.lore.id),
            (QJsonObject{{u"saved"_s, true}, {u"revision"_s, loved.lore.revision}}));
  EXPECT_EQ(controller->items().last().loreId, loved.lore.id) << "a new mark moves the item to the end";

  const auto restarted = account.open();
  EXPECT_EQ(restarted->items(), controller->items());
  EXPECT_EQ(restarted->metrics().savedCount, 2);
  EXPECT_EQ(restarted->metrics().lovedCount, 1);
}

TEST_F(AccountSyncTest, AReplyThatDoesNotAnswerTheChangeOrAnIdThatIsNoUUIDChangesNothing) {
  const auto reply = [&](const DropSnapshot& snapshot, bool saved) {
    const AccountItem item{snapshot.lore.id, snapshot,      saved,        !saved,
                           harness.now(),    harness.now(), harness.now()};
    return Json::serialize(item.encode());
  };
  DropSnapshot newer = drop(0);
  newer.lore.revision += 1;
  DropSnapshot braced = drop(0);
  braced.lore.id = u"{"_s + braced.lore.id + u"}"_s;
  const std::vector<std::tuple<const char*, std::optional<QByteArray>, DropSnapshot>> rows = {
      {"another drop", reply(drop(1), true), drop(0)},
      {"another revision", reply(newer, true), drop(0)},
      {"the flag not as asked", reply(drop(0), false), drop(0)},
      {"an id in braces", std::nullopt, braced},
  };
  for (const auto& [name, body, snapshot] : rows) {
    if (body)
      service.addFault("PUT", u"/api/reader/items/{id}"_s, {.body = *body});
    const auto before = state();
    const qsizetype sent = service.requestLog().size();
    EXPECT_EQ(run(controller->setSaved(true, snapshot)), invalid) << name;
    EXPECT_EQ(state(), before) << name;
    EXPECT_EQ(service.requestLog().size(), sent + (body ? 1 : 0)) << name;
    EXPECT_FALSE(controller->isBusy()) << name;
  }
}

TEST_F(AccountSyncTest, ASignOutOrAFailingStoreLeavesTheChangeUnpublished) {
  hold("PUT", u"/api/reader/items/{id}"_s);
  const auto change = startTask(controller->setSaved(true, drop(0)));
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  ASSERT_EQ(run(controller->signOut()), QString());
  service.releaseHeld();
  waitUntilFinished(change);
  EXPECT_EQ(failureText(change->error), AccountError::superseded().description());
  EXPECT_TRUE(!controller->cache() && controller->items().isEmpty() && !controller->isBusy());

  signIn();
  RawStoreDatabase raw(account.folder.filePath(u"Brindlewick.store"_s));
  for (const char* step : {"INSERT", "UPDATE"})
    raw.scalar(
        u"CREATE TRIGGER refuse_%1 BEFORE %1 ON records BEGIN SELECT RAISE(ABORT, 'disk on fire'); END"_s.arg(
            QLatin1String(step)));
  const auto before = state();
  EXPECT_NE(run(controller->setLoved(true, drop(0))), QString());
  EXPECT_EQ(state(), before);
  EXPECT_FALSE(controller->isBusy());
}

TEST_F(AccountSyncTest, TheImportSkipsSavedDropsAndStopsAtTheFirstFailure) {
  ASSERT_EQ(run(controller->setSaved(true, drop(1))), QString());
  const auto put = [&] { return service.requestLog().size(); };
  qsizetype before = put();
  ASSERT_EQ(run(controller->importLegacySaved(
                {{drop(0), harness.now()}, {drop(1), harness.now()}, {drop(2), harness.now()}})),
            QString());
  EXPECT_EQ(put() - before, 2);

  service.addFault("PUT", u"/api/reader/items/"_s + drop(3).lore.id, {.status = 500});
  ASSERT_EQ(run(controller->setSaved(false, drop(0))), QString());
  ASSERT_EQ(run(controller->setSaved(false, drop(1))), QString());
  EXPECT_EQ(run(controller->importLegacySaved(
                {{drop(0), harness.now()}, {drop(1), harness.now()}, {drop(3), harness.now()}})),
            AccountError::http(500).description());
  EXPECT_TRUE(controller->isSaved(drop(0).lore.id) && controller->isSaved(drop(1).lore.id));
}

TEST_F(AccountSyncTest, APreferencesSaveNeverOverwritesANewerOneAndNeverSendsTheDisplay) {
  const qint64 held = controller->preferenceVersion();
  ReaderPreferences edited = preferences(true);
  edited.textScale = 1.1;
  edited.preferredDisplayID = 7;
  service.accounts().setPreferences(reader, preferences(true)); // another computer first
  const auto before = state();
  EXPECT_EQ(run(controller->savePreferences(edited)), AccountError::preferenceConflict().description());
  EXPECT_EQ(state(), before);
  EXPECT_EQ(lastBody(preferencesPath).value(u"version"_s).toInteger(), held);
  EXPECT_FALSE(
      lastBody(preferencesPath).value(u"preferences"_s).toObject().contains(u"preferredDisplayID"_s));

  ASSERT_EQ(run(controller->refresh()), QString());
  ASSERT_EQ(run(controller->savePreferences(edited)), QString());
  edited.preferredDisplayID.reset();
  EXPECT_EQ(controller->preferences(), edited);
  EXPECT_EQ(controller->preferenceVersion(), held + 2);

  // A reply that does not move the version forward is no answer to the save.
  service.addFault("PUT", preferencesPath,
                   {.body = Json::serialize(PreferencesResponse{edited, held + 2}.encode())});
  const auto saved = state();
  EXPECT_EQ(run(controller->savePreferences(preferences(true))), invalid);
  EXPECT_EQ(state(), saved);
}

TEST_F(AccountSyncTest, WithdrawnConsentStopsUploadsAtOnceAndEndsSharing) {
  // Refused as busy, the save still stops the upload at the stand-in.
  hold("PUT", u"/api/reader/items/{id}"_s);
  hold("POST", activityPath);
  const auto change = startTask(controller->setSaved(true, drop(0)));
  const auto upload = startTask(controller->recordRead(drop(0), eventID, harness.now()));
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 2; }));
  EXPECT_EQ(run(controller->savePreferences(preferences(false))), AccountError::busy().description());
  waitUntilFinished(upload);
  EXPECT_EQ(failureText(upload->error), u"cancelled"_s);
  EXPECT_EQ(account.requestsTo(activityPath), 1);
  service.releaseHeld();
  waitUntilFinished(change);
  EXPECT_EQ(read(), consent) << "suppressed until a save succeeds";

  // The cancelled upload's id is free again.
  ASSERT_EQ(run(controller->savePreferences(preferences(true))), QString());
  EXPECT_EQ(read(), QString());
  ASSERT_EQ(run(controller->refresh()), QString());
  ASSERT_GT(controller->metrics().readCount, 0);
  ASSERT_EQ(run(controller->savePreferences(preferences(false))), QString());
  EXPECT_EQ(controller->metrics().readCount, 0);
  EXPECT_EQ(read(), consent);
}

TEST_F(AccountSyncTest, AReadingIsRefusedWithoutSendingAnything) {
  const std::vector<std::tuple<const char*, std::function<void()>, QString, double>> rows = {
      {"exactly 30 days old", [] {}, QString(), 2592000},
      {"no account preferences",
       [&] {
         service.addFault("GET", preferencesPath, {.body = R"({"version":3})"});
         ASSERT_EQ(run(controller->refresh()), QString());
       },
       consent, 60},
      {"consent off in them",
       [&] {
         service.accounts().setPreferences(reader, preferences(false));
         ASSERT_EQ(run(controller->refresh()), QString());
       },
       consent, 60},
      {"access revoked",
       [&] {
         service.accounts().revokeSession(token);
         EXPECT_EQ(run(controller->refresh()), notSignedIn);
       },
       notSignedIn, 60},
      {"one second in the future", [] {}, invalid, -1},
      {"30 days and one second old", [] {}, invalid, 2592001},
  };
  for (const auto& [name, setUp, expected, secondsAgo] : rows) {
    signIn();
    setUp();
    const qsizetype sent = account.requestsTo(activityPath);
    EXPECT_EQ(read(eventID, secondsAgo), expected) << name;
    EXPECT_EQ(account.requestsTo(activityPath) - sent, expected.isEmpty() ? 1 : 0) << name;
  }
  EXPECT_EQ(read(u"0f8fad5b-d9cb-469f-a165-70867728950"_s), invalid);
  EXPECT_EQ(read(u"{0f8fad5b-d9cb-469f-a165-70867728950e}"_s), invalid);
}

TEST_F(AccountSyncTest, TwentyUploadsRunAtOnceAndOneIdUploadsOnce) {
  hold("POST", activityPath, 20);
  QList<std::shared_ptr<AsyncOutcome<void>>> uploads;
  for (int i = 0; i < 20; ++i)
    uploads << startTask(controller->recordRead(drop(0), QUuid::createUuid(), harness.now()));
  // The client sends a few at a time; all twenty are running.
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() > 0; }));
  EXPECT_EQ(read(), invalid);
  EXPECT_TRUE(waitUntil([&] {
    service.releaseHeld();
    return std::all_of(uploads.begin(), uploads.end(), [](const auto& upload) { return upload->finished; });
  }));
  EXPECT_EQ(account.requestsTo(activityPath), 20);
  for (const auto& upload : uploads)
    EXPECT_FALSE(upload->error);
  // The same id, once in upper and once in lower case, is one reading.
  hold("POST", activityPath);
  const auto first = startTask(controller->recordRead(drop(0), eventID.toUpper(), harness.now()));
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_EQ(read(), invalid);
  EXPECT_EQ(lastBody(activityPath).value(u"id"_s).toString(), eventID.toUpper());
  service.releaseHeld();
  waitUntilFinished(first);
  EXPECT_EQ(read(), QString());
}

TEST_F(AccountSyncTest, TheAcknowledgementDecides) {
  service.addFault("POST", activityPath, {.body = R"({"ok":false})"});
  EXPECT_EQ(read(), invalid);
  service.addFault("POST", activityPath, {.body = R"({"ok":true,"extra":1})"});
  EXPECT_EQ(read(), QString());
}

TEST_F(AccountSyncTest, EachRequestRevokesOnA401AndKeepsItsOwnLimit) {
  const std::vector<std::tuple<QByteArray, QString, qsizetype, std::function<QCoro::Task<>()>>> rows = {
      {"PUT", u"/api/reader/items/"_s + drop(0).lore.id, 262144,
       [&] { return controller->setSaved(true, drop(0)); }},
      {"PUT", preferencesPath, 65536, [&] { return controller->savePreferences(preferences(true)); }},
      {"POST", activityPath, 65536, [&] { return controller->recordRead(drop(0), eventID, harness.now()); }},
  };
  for (const auto& [method, path, limit, request] : rows) {
    signIn();
    service.addFault(method, path, {.body = QByteArray(limit + 1, ' ')});
    EXPECT_EQ(run(request()), ServiceError::responseTooLarge().description()) << path.toStdString();
    service.addFault(method, path, {.body = QByteArray(limit, ' ')});
    EXPECT_EQ(run(request()), u"undecodable"_s) << path.toStdString();
    service.addFault(method, path, {.status = 401});
    EXPECT_EQ(run(request()), notSignedIn) << path.toStdString();
    EXPECT_TRUE(AccountCache::fromJson(*account.cacheRecord(token)).accessRevoked) << path.toStdString();
  }
}

} // namespace
