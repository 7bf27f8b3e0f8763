#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "InMemorySecureStorage.h"
#include "RawStoreDatabase.h"
#include "RequiredValue.h"
#include "SignalLog.h"
#include "VirtualDelayScheduler.h"
#include "account/AccountController.h"
#include "service/NativeAPIClient.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace brindlewick {

// The building blocks the account operations will call, reached from the tests.
struct AccountControllerTestAccess {
  static void startOperation(AccountController& c) { c.startOperation(); }
  static void persist(AccountController& c, const AccountCache& cache) { c.persist(cache); }
  static void apply(AccountController& c, AccountCache cache) { c.apply(std::move(cache)); }
  static QCoro::Task<> revokeAccess(AccountController& c) { return c.revokeAccess(); }
  static TurnQueue& keychain(AccountController& c) { return c.m_keychain; }
  static void setCredential(AccountController& c, std::optional<SessionCredential> credential) {
    c.setCredential(std::move(credential));
  }
};

} // namespace brindlewick

using namespace brindlewick;
using Access = AccountControllerTestAccess;
namespace Fixture = AccountFixtures;

namespace {

// 2026-03-01 at the given time, UTC.
Date at(const char* time) {
  return requiredValue(AccountCoding::parseDate(QStringLiteral("2026-03-01T%1:00Z").arg(QLatin1String(time))),
                       std::string("parseDate of 2026-03-01 at ") + time);
}

class AccountControllerTest : public testing::Test {
protected:
  AccountControllerTest() : store(std::make_unique<LocalStore>(false, path())) {}
  // A controller cancels its expiry wait when it goes; the wait ends on the next event loop turn.
  void TearDown() override { flushEvents(); }

  QString path() const { return m_folder.filePath(QStringLiteral("Brindlewick.store")); }

  AccountController::Services services() {
    return {transport, storage, *store, baseURL, [this] { return wallClock(); }, "1.0.0", scheduler};
  }
  Date wallClock() const { return at("10:00").addingSeconds(scheduler.now() - 1000.0 + m_wallShift); }
  // Sets the wall clock without moving virtual time, as a reader changing the system time.
  void setClock(Date date) { m_wallShift += date.secondsSince(wallClock()); }

  QString credentialKey() const { return AccountKeys::credentialKey(baseURL); }
  QString cacheKey(const AccountCache& cache) const {
    return AccountKeys::cacheKey(baseURL, cache.me.user.id, cache.sessionID);
  }
  void storeCache(const AccountCache& cache) { store->commit({{cacheKey(cache), cache.toJson()}}, {}); }

  // Opens a controller over the keyring item and the store, as at start-up: at once, or
  // (`readAhead`) with the record read on a worker thread before the controller is made.
  std::unique_ptr<AccountController> open() {
    if (readAhead) {
      const auto outcome = startTask(AccountController::readStored(storage, *store, baseURL));
      EXPECT_TRUE(waitUntilFinished(outcome));
      return std::make_unique<AccountController>(services(), std::move(outcome->result()));
    }
    const auto outcome = startTask(AccountController::open(services()));
    EXPECT_TRUE(waitUntilFinished(outcome));
    return std::move(outcome->result());
  }
  std::unique_ptr<AccountController> signedIn(const AccountCache& cache) {
    storage.setItem(credentialKey(), Fixture::credential());
    storeCache(cache);
    return open();
  }

  QTemporaryDir m_folder;
  std::unique_ptr<LocalStore> store;
  InMemorySecureStorage storage;
  VirtualDelayScheduler scheduler;
  NativeAPIClient transport{std::nullopt};
  std::optional<QUrl> baseURL = QUrl(QStringLiteral("https://reading.example/"));
  double m_wallShift = 0;
  bool readAhead = false;
};

TEST_F(AccountControllerTest, OnlyTheCredentialCanStopTheStart) {
  for (const bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "read ahead" : "read at once");
    readAhead = ahead;
    const QByteArray valid = Fixture::credential();
    // Pads a valid credential with an ignored key to exactly `bytes` bytes.
    const auto sized = [&](qsizetype bytes) {
      QByteArray padded = valid;
      padded.chop(1);
      padded += ",\"pad\":\"\"}";
      padded.insert(padded.size() - 2, QByteArray(bytes - padded.size(), 'p'));
      return padded;
    };
    const struct {
      const char* name;
      QByteArray item;
      bool opens;
    } cases[] = {
        {"32768 bytes", sized(32768), true},
        {"32769 bytes", sized(32769), false},
        {"not JSON", "{\"token\":", false},
        {"a token with a space", Fixture::credential("ab cd"), false},
        {"an empty user id", Fixture::credential(Fixture::token, ""), false},
        {"a user id of 513 bytes", Fixture::credential(Fixture::token, QString(256, QChar(0xE9)) + 'x'),
         false},
    };
    for (const auto& c : cases) {
      storage.setItem(credentialKey(), c.item);
      try {
        const auto controller = open();
        EXPECT_TRUE(c.opens) << c.name;
        EXPECT_TRUE(controller->hasStoredSession()) << c.name;
      } catch (const AccountError& error) {
        EXPECT_FALSE(c.opens) << c.name;
        EXPECT_EQ(error, AccountError::storage()) << c.name;
      }
      EXPECT_EQ(storage.items().value(credentialKey()), c.item) << c.name << ": the keyring item was touched";
    }
    storage.setFailure(-25308);
    EXPECT_THROW(open(), AccountError);

    storage.setFailure(std::nullopt);
    storage.setItem(credentialKey(), Fixture::credential(Fixture::token, Fixture::userID, true));
    storeCache(Fixture::cache(at("09:00")));
    const auto revoked = open();
    EXPECT_TRUE(revoked->hasStoredSession());
    EXPECT_FALSE(revoked->isSignedIn());
    EXPECT_TRUE(revoked->user().has_value());
  }
}

TEST_F(AccountControllerTest, ABadCacheIsKeptUnusedAndOnlyReported) {
  for (const bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "read ahead" : "read at once");
    readAhead = ahead;
    const AccountCache good = Fixture::cache(at("09:00"));
    const auto withChange = [&](auto change) {
      QJsonObject object = Json::parseObject(good.toJson());
      change(object);
      return Json::serialize(object);
    };
    AccountCache otherSession = good;
    otherSession.sessionID = AccountCoding::digest(QStringLiteral("another token"));
    AccountCache expired = good;
    expired.me.sessionExpiresAt = expired.confirmedAt;
    const struct {
      const char* name;
      std::optional<QByteArray> record;
    } cases[] = {
        {"over 20 MiB", QByteArray(AccountCoding::maximumCacheBytes + 1, ' ')},
        {"a bad date", withChange([](QJsonObject& o) { o.insert("confirmedAt", "2026-03-01T09:00:00"); })},
        {"a session that ends when confirmed", expired.toJson()},
        {"another session", otherSession.toJson()},
        {"absent", std::nullopt},
    };
    storage.setItem(credentialKey(), Fixture::credential());
    for (const auto& c : cases) {
      store->remove(cacheKey(good));
      if (c.record)
        store->commit({{cacheKey(good), *c.record}}, {});
      const QMap<QString, QByteArray> before = RawStoreDatabase(path()).records();
      const auto controller = open();
      EXPECT_TRUE(controller->hasStoredSession()) << c.name;
      EXPECT_FALSE(controller->cache().has_value()) << c.name;
      EXPECT_FALSE(controller->isSignedIn()) << c.name;
      EXPECT_EQ(controller->message(),
                c.record ? std::optional(AccountError::storage().description()) : std::nullopt)
          << c.name;
      EXPECT_EQ(RawStoreDatabase(path()).records(), before) << c.name;
    }
  }
}

// A start that decodes the record on a worker thread ends where one that reads it at once does.
TEST_F(AccountControllerTest, ARecordReadAheadOpensTheSameAccount) {
  AccountCache cache = Fixture::cache(at("09:00"), 40);
  cache.settings.preferences.reset();
  const auto controller = signedIn(cache);
  readAhead = true;
  const auto ahead = open();
  ASSERT_TRUE(ahead->cache().has_value());
  EXPECT_EQ(*ahead->cache(), *controller->cache());
  EXPECT_EQ(ahead->items(), cache.items);
  EXPECT_EQ(ahead->user(), cache.me.user);
  EXPECT_EQ(ahead->preferenceVersion(), cache.settings.version);
  EXPECT_EQ(ahead->isSignedIn(), controller->isSignedIn());
  EXPECT_FALSE(ahead->message().has_value());
}

TEST_F(AccountControllerTest, AClockSeenGoingBackDistrustsTheSessionAndReadsSignalNothing) {
  setClock(at("11:00"));
  AccountCache cache = Fixture::cache(at("10:00"));
  cache.me.sessionExpiresAt = at("12:00");
  const auto controller = signedIn(cache);
  SignalLog log(*controller);
  const struct {
    const char* time;
    bool signedIn;
  } readings[] = {{"11:00", true}, {"10:30", false}, {"11:30", false}};
  for (const auto& reading : readings) {
    setClock(at(reading.time));
    EXPECT_EQ(controller->isSignedIn(), reading.signedIn) << reading.time;
  }
  EXPECT_EQ(log.take(), QStringList());

  // Before the confirmation, with no earlier reading, the clock is not distrusted.
  setClock(at("09:59"));
  const auto restarted = signedIn(cache);
  EXPECT_FALSE(restarted->isSignedIn());
  setClock(at("10:01"));
  EXPECT_TRUE(restarted->isSignedIn());
}

TEST_F(AccountControllerTest, TheSessionEndBumpsTheAccessRevisionOnce) {
  const struct {
    double ahead;
    double firesAfter;
  } cases[] = {{3.0, 3.0}, {0.01, 0.05}};
  for (const auto& c : cases) {
    AccountCache cache = Fixture::cache(wallClock().addingSeconds(-60));
    cache.me.sessionExpiresAt = wallClock().addingSeconds(c.ahead);
    const auto controller = signedIn(cache);
    EXPECT_TRUE(controller->isSignedIn()) << c.ahead;
    QSignalSpy bumps(controller.get(), &AccountController::accessRevisionChanged);
    scheduler.advance(c.firesAfter - 0.001);
    EXPECT_EQ(bumps.size(), 0) << c.ahead;
    scheduler.advance(10);
    EXPECT_EQ(bumps.size(), 1) << c.ahead;
    EXPECT_FALSE(controller->isSignedIn()) << c.ahead;
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "nothing re-armed for a past expiry";
  }

  AccountCache past = Fixture::cache(wallClock().addingSeconds(-60));
  past.me.sessionExpiresAt = wallClock().addingSeconds(-1);
  const auto expired = signedIn(past);
  EXPECT_EQ(scheduler.pendingCount(), 0u);

  // Going away with the wait armed removes it.
  auto armed = signedIn(Fixture::cache(wallClock()));
  EXPECT_EQ(scheduler.pendingCount(), 1u);
  armed.reset();
  flushEvents();
  EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST_F(AccountControllerTest, PersistChecksTheRecordBeforeAnythingIsWritten) {
  const auto controller = signedIn(Fixture::cache(wallClock()));
  const auto withChange = [&](auto change) {
    AccountCache cache = Fixture::cache(wallClock());
    change(cache);
    return cache;
  };
  const struct {
    const char* name;
    AccountCache cache;
    bool stored;
  } cases[] = {
      {"10000 items", Fixture::cache(wallClock(), 10000), true},
      {"10001 items", Fixture::cache(wallClock(), 10001), false},
      {"one drop twice", withChange([](AccountCache& c) { c.items.append(c.items.first()); }), false},
      {"ends when confirmed", withChange([](AccountCache& c) { c.me.sessionExpiresAt = c.confirmedAt; }),
       false},
      {"a 90-day session",
       withChange([](AccountCache& c) { c.me.sessionExpiresAt = c.confirmedAt.addingSeconds(7776000); }),
       true},
      {"a second longer",
       withChange([](AccountCache& c) { c.me.sessionExpiresAt = c.confirmedAt.addingSeconds(7776001); }),
       false},
      {"a negative count", withChange([](AccountCache& c) { c.me.metrics.readCount = -1; }), false},
      {"a negative version", withChange([](AccountCache& c) { c.settings.version = -1; }), false},
      {"an invalid item", withChange([](AccountCache& c) { c.items[0].loreId = "other"; }), false},
  };
  for (const auto& c : cases) {
    store->remove(cacheKey(c.cache));
    try {
      Access::persist(*controller, c.cache);
      EXPECT_TRUE(c.stored) << c.name;
    } catch (const AccountError& error) {
      EXPECT_FALSE(c.stored) << c.name;
      EXPECT_EQ(error, AccountError::invalidResponse());
    }
    EXPECT_EQ(store->data(cacheKey(c.cache)).has_value(), c.stored) << c.name;
  }

  // Another session of the same reader gets a record of its own.
  const AccountCache first = Fixture::cache(wallClock());
  const AccountCache second = Fixture::cache(wallClock(), 1, QStringLiteral("second-token"));
  Access::persist(*controller, first);
  Access::persist(*controller, second);
  EXPECT_EQ(AccountCache::fromJson(*store->data(cacheKey(first))), first);
  for (const QString& key : RawStoreDatabase(path()).records().keys())
    EXPECT_FALSE(key.contains(Fixture::token));
}

TEST_F(AccountControllerTest, ApplySignalsOnlyWhatChangedOnceEverythingIsAssigned) {
  AccountCache cache = Fixture::cache(wallClock(), 3);
  // Two saves at the same moment keep the items' order; the loved list has its own dates.
  cache.items[2].savedAt = cache.items[1].savedAt;
  cache.items[0].loved = true;
  cache.items[0].lovedAt = wallClock().addingSeconds(-3600);
  cache.items[2].loved = true;
  cache.items[2].lovedAt = wallClock();
  const auto controller = signedIn(cache);
  const auto ids = [](const QList<SavedSnapshot>& list) {
    QStringList result;
    for (const SavedSnapshot& snapshot : list)
      result.append(snapshot.id());
    return result;
  };
  EXPECT_EQ(ids(controller->saved()),
            (QStringList{cache.items[0].loreId, cache.items[1].loreId, cache.items[2].loreId}));
  EXPECT_EQ(ids(controller->loved()), (QStringList{cache.items[2].loreId, cache.items[0].loreId}));
  EXPECT_TRUE(controller->isLoved(cache.items[0].loreId));
  EXPECT_FALSE(controller->isLoved(cache.items[1].loreId));

  SignalLog log(*controller);
  Access::apply(*controller, cache);
  EXPECT_EQ(log.take(), (QStringList{"cacheChanged", "isSignedInChanged", "sessionExpiresAtChanged",
                                     "nextAccessCheckAtChanged"}));

  AccountCache changed = cache;
  changed.items.removeFirst();
  changed.me.metrics.savedCount = 2;
  bool consistent = false;
  QObject::connect(controller.get(), &AccountController::cacheChanged, controller.get(), [&] {
    consistent = controller->items() == changed.items && controller->metrics() == changed.me.metrics &&
                 !controller->isSaved(cache.items[0].loreId);
  });
  Access::apply(*controller, changed);
  EXPECT_TRUE(consistent) << "a slot saw half an account";
  EXPECT_EQ(log.take(),
            (QStringList{"cacheChanged", "metricsChanged", "itemsChanged", "savedChanged", "lovedChanged",
                         "isSignedInChanged", "sessionExpiresAtChanged", "nextAccessCheckAtChanged"}));
  EXPECT_EQ(controller->saved().size(), 2);
}

TEST_F(AccountControllerTest, RevokingPublishesAtOnceAndStoresTheRevokedState) {
  // Without a cache there is nothing to revoke, even with a credential.
  storage.setItem(credentialKey(), Fixture::credential());
  const auto bare = open();
  EXPECT_FALSE(finishTask(Access::revokeAccess(*bare)).error);
  EXPECT_EQ(storage.calls(), QStringList{"read " + credentialKey()});

  const AccountCache cache = Fixture::cache(wallClock());
  const auto controller = signedIn(cache);
  storage.setHolding(true);
  const auto revoking = startTask(Access::revokeAccess(*controller));
  flushEvents();
  EXPECT_EQ(storage.heldCount(), 1);
  EXPECT_FALSE(controller->isSignedIn()) << "revocation is shown before it is stored";
  EXPECT_TRUE(controller->cache()->accessRevoked);
  EXPECT_FALSE(AccountCache::fromJson(*store->data(cacheKey(cache))).accessRevoked);

  storage.setFailure(-25308);
  storage.releaseOldest();
  ASSERT_TRUE(waitUntilFinished(revoking));
  EXPECT_EQ(revoking->errorAs<KeychainError>(), KeychainError(-25308));
  EXPECT_FALSE(controller->storageHealthy());
  EXPECT_TRUE(AccountCache::fromJson(*store->data(cacheKey(cache))).accessRevoked);
  EXPECT_FALSE(SessionCredential::fromJson(storage.items().value(credentialKey())).revoked);
  EXPECT_THROW(Access::startOperation(*controller), AccountError); // storage: nothing else runs
  EXPECT_FALSE(controller->isBusy());

  // The next start restores the revoked state from the store alone.
  storage.setHolding(false);
  storage.setFailure(std::nullopt);
  const auto restarted = open();
  EXPECT_TRUE(restarted->hasStoredSession());
  EXPECT_FALSE(restarted->isSignedIn());
}

TEST_F(AccountControllerTest, ARevocationWhoseTurnComesAfterTheSessionChangedWritesNothing) {
  const AccountCache cache = Fixture::cache(wallClock());
  const auto controller = signedIn(cache);
  // An earlier keyring change (a sign-out, say) still holds the queue.
  auto earlier = startTask(Access::keychain(*controller).take());
  ASSERT_TRUE(waitUntilFinished(earlier));
  const auto revoking = startTask(Access::revokeAccess(*controller));
  flushEvents();
  EXPECT_FALSE(revoking->finished);
  Access::setCredential(*controller, std::nullopt);
  earlier->result().end();
  ASSERT_TRUE(waitUntilFinished(revoking));
  EXPECT_FALSE(revoking->error);
  EXPECT_FALSE(storage.calls().contains("write " + credentialKey()));
  EXPECT_TRUE(AccountCache::fromJson(*store->data(cacheKey(cache))).accessRevoked);
}

// The keyring can answer after the store stopped waiting (an unlock prompt answered late): the
// request fails at its time limit, and once the keyring says what became of it the account
// agrees with what the keyring holds.
TEST_F(AccountControllerTest, AKeyringAnswerPastItsTimeLimitBringsTheAccountInLine) {
  const struct {
    const char* name;
    bool signOut; // else a revocation's write
    bool lands;
    bool keyringError = false; // the keyring's own error, with no late answer to follow
  } cases[] = {
      {"revocation written late", false, true},
      {"revocation refused late", false, false},
      {"sign-out removed late", true, true},
      {"sign-out refused late", true, false},
      {"sign-out failed, then removed", true, true, true},
      {"sign-out failed, never removed", true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    storage.setFailure(std::nullopt);
    const AccountCache cache = Fixture::cache(wallClock());
    const auto controller = signedIn(cache);
    storage.setHolding(true);
    const auto operation =
        c.signOut ? startTask(controller->signOut()) : startTask(Access::revokeAccess(*controller));
    ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == 1; }));
    if (c.keyringError)
      storage.failOldestSilently(7);
    else
      storage.timeOutOldest();
    ASSERT_TRUE(waitUntilFinished(operation));
    EXPECT_EQ(operation->errorAs<KeychainError>(), KeychainError(c.keyringError ? 7 : -1));
    EXPECT_EQ(controller->storageHealthy(), c.signOut);
    EXPECT_TRUE(controller->hasStoredSession()) << "nothing changes before the keyring answers";

    storage.setHolding(false);
    if (!c.lands)
      storage.setFailure(-25308);
    storage.releaseOldest();
    flushEvents();
    EXPECT_EQ(storage.items().contains(credentialKey()), !(c.signOut && c.lands));
    if (c.keyringError) {
      EXPECT_TRUE(controller->hasStoredSession()) << "nothing changes before the keyring is asked again";
      storage.setFailure(std::nullopt);
      scheduler.advance(AccountController::firstCredentialCheck);
      flushEvents();
    }
    EXPECT_EQ(controller->hasStoredSession(), storage.items().contains(credentialKey()));
    if (c.signOut) {
      EXPECT_EQ(controller->user().has_value(), !c.lands);
      EXPECT_TRUE(controller->storageHealthy());
    } else {
      EXPECT_EQ(controller->storageHealthy(), c.lands) << "sound again only once the write landed";
      EXPECT_EQ(SessionCredential::fromJson(storage.items().value(credentialKey())).revoked, c.lands);
      EXPECT_FALSE(controller->isSignedIn());
    }
  }
}

} // namespace
