// The account controller against the stand-in service over TLS on virtual time: browser
// sign-in, the account fetch from a hostile or failing service, refresh and sign-out, and
// everything that may overtake or abandon them.
#include "AccountFixtures.h"
#include "StandInAccountTest.h"
#include "foundation/Json.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace brindlewick {

struct AccountControllerTestAccess {
  static void setInterval(AccountController& c, double seconds) { c.m_pendingDeviceCode->interval = seconds; }
};

} // namespace brindlewick

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString unsafe = AccountError::unsafeURL().description();
const QString expired = AccountError::deviceExpired().description();
const QString denied = AccountError::deviceDenied().description();
const QString codePath = u"/api/reader-auth/device/code"_s;
const QString tokenPath = u"/api/reader-auth/device/token"_s;
const QString signOutPath = u"/api/reader-auth/sign-out"_s;
const QString mePath = u"/api/reader/me"_s;
const QString itemsPath = u"/api/reader/items"_s;
const QString preferencesPath = u"/api/reader/preferences"_s;

QString result(const AsyncOutcome<bool>& outcome) {
  return outcome.error ? failureText(outcome.error) : outcome.value.value() ? u"true"_s : u"false"_s;
}

// A page of fixture items `first` to `first + count - 1`, padded with an ignored key.
QByteArray page(int first, int count, std::optional<QString> cursor = std::nullopt, qsizetype padding = 0) {
  QJsonArray items;
  for (int i = first; i < first + count; ++i)
    items.append(AccountFixtures::savedItem(i, StandInHarness::start).encode());
  QJsonObject object{{u"items"_s, items}, {u"pad"_s, QString(padding, u'p')}};
  if (cursor)
    object.insert(u"nextCursor"_s, *cursor);
  return Json::serialize(object);
}

class AccountServiceTest : public StandInAccountTest {
protected:
  AccountServiceTest() {
    controller = account.open();
    token = service.accounts().openSession(reader);
  }

  // Begins, lets the first poll fall due and polls, with `fault` on `path` for its reply.
  std::shared_ptr<AsyncOutcome<bool>> pollAfterBegin(const QString& path = {}, StandInFault fault = {}) {
    EXPECT_FALSE(finishTask(controller->beginSignIn()).error);
    harness.advance(5);
    if (!path.isEmpty())
      service.addFault(path == tokenPath ? "POST" : "GET", path, fault);
    return startTask(controller->pollSignIn());
  }
  // The first page answers no cursor; each next one exactly the cursor its predecessor named.
  void servePages(QList<QByteArray> pages) {
    service.route("GET", itemsPath, [pages](const LoggedRequest& request) {
      const auto sent = request.queryItem(u"cursor");
      for (qsizetype i = 0; i < pages.size(); ++i) {
        if (!sent ? i == 0 : i > 0 && pages[i - 1].contains("\"nextCursor\":" + Json::serialize(*sent)))
          return StandInReply::json(200, pages[i]);
      }
      return StandInReply::error(400, QLatin1String("invalid_cursor"));
    });
  }
  void putItems(int from, int to, bool saved = true) {
    for (int i = from; i < to; ++i) {
      const AccountItem item = AccountFixtures::savedItem(i, harness.now());
      service.accounts().putItem(reader,
                                 {item.snapshot, saved, false, item.savedAt, std::nullopt, item.updatedAt});
    }
  }
  QString refresh() { return run(controller->refresh()); }
};

TEST_F(AccountServiceTest, APacedSignInIsStoredAndOnlyTheTokenRequestCarriesTheDeviceCode) {
  // Approved 12 s after the grant: the first poll is not due and sends nothing, and a loop paced
  // by the interval sends three token requests, never one too early.
  service.grants().setAutoApproveAfter(12);
  SignInDriver paced;
  EXPECT_EQ(result(signIn(*controller, harness, paced)), u"true"_s);
  EXPECT_EQ(paced.waits, (QList<double>{5, 5, 5}));
  EXPECT_EQ(account.requestsTo(tokenPath), 3);
  EXPECT_TRUE(controller->isSignedIn() && !controller->isSigningIn() && !controller->pendingDeviceCode());
  const auto credential = SessionCredential::fromJson(storage.items().value(account.credentialKey()));
  EXPECT_EQ(credential.userID, StandInAccount::reader);
  EXPECT_TRUE(account.cacheRecord(credential.token));
  EXPECT_TRUE(account.open()->isSignedIn());
  for (const QString& secret : account.secretsSent()) {
    for (const QString& place : service.placesOf(secret))
      EXPECT_TRUE(place == u"POST /api/reader-auth/device/token body"_s ||
                  place.endsWith(u"header authorization"_s))
          << place.toStdString();
  }
}

// A first fetch stores items as received where they came in the stored form, and encodes the
// others in runs on several threads: the record is still, byte for byte and in order, what the
// record's own writer writes.
TEST_F(AccountServiceTest, AFirstFetchStoresWhatTheRecordsWriterWrites) {
  putItems(0, 1600);
  service.grants().setAutoApproveAfter(5);
  SignInDriver driver;
  ASSERT_EQ(result(signIn(*controller, harness, driver)), u"true"_s);
  ASSERT_EQ(controller->items().size(), 1600);
  const auto credential = SessionCredential::fromJson(storage.items().value(account.credentialKey()));
  const std::optional<QByteArray> record = account.cacheRecord(credential.token);
  ASSERT_TRUE(record);
  EXPECT_EQ(*record, controller->cache()->toJson());
}

TEST_F(AccountServiceTest, AGrantOutOfBoundsOrOffTheServicesOriginIsRefused) {
  const QString base = service.baseURL().toString();
  const QString port = u":"_s + QString::number(service.baseURL().port());
  const QJsonObject valid{
      {u"device_code"_s, u"dc"_s},   {u"user_code"_s, u"BCDF-GHJK"_s},
      {u"verification_uri"_s, base}, {u"verification_uri_complete"_s, base + u"/device"_s},
      {u"expires_in"_s, 1800},       {u"interval"_s, 60}};
  const auto with = [&](const QString& key, const QJsonValue& value) {
    QJsonObject changed = valid;
    changed.insert(key, value);
    return StandInReply::json(200, changed);
  };
  const auto page = [&](const QString& address) { return with(u"verification_uri_complete"_s, address); };
  const std::vector<std::tuple<const char*, StandInReply, QString>> rows = {
      {"the longest grant and interval", StandInReply::json(200, valid), QString()},
      {"expires_in 0", with(u"expires_in"_s, 0), invalid},
      {"expires_in 1801", with(u"expires_in"_s, 1801), invalid},
      {"interval 61", with(u"interval"_s, 61), invalid},
      {"a user code of 129 bytes", with(u"user_code"_s, QString(64, QChar(0xE9)) + u'x'), invalid},
      {"a device code of 4097 bytes", with(u"device_code"_s, QString(4097, u'd')), invalid},
      {"plain http", page(u"http://127.0.0.1"_s + port), unsafe},
      {"HTTPS in capitals", page(u"HTTPS://127.0.0.1"_s + port), unsafe},
      {"another host", page(u"https://localhost"_s + port), unsafe},
      {"another port", page(u"https://127.0.0.1:1/"_s), unsafe},
      {"a user name", page(u"https://ada@127.0.0.1"_s + port), unsafe},
      {"a fragment", page(base + u"/device#approve"_s), unsafe},
      {"an unsafe first address", with(u"verification_uri"_s, u"javascript:alert(1)"_s), unsafe},
      {"401", StandInReply::json(401, "{}"), notSignedIn},
      {"500", StandInReply::json(500, "{}"), AccountError::http(500).description()},
      {"not JSON", StandInReply::json(200, "<html>"), u"undecodable"_s},
  };
  for (const auto& [name, reply, expected] : rows) {
    service.setReply("POST", codePath, reply);
    EXPECT_EQ(failureText(finishTask(controller->beginSignIn()).error), expected) << name;
    EXPECT_EQ(controller->isSigningIn(), expected.isEmpty()) << name;
    EXPECT_EQ(controller->pendingDeviceCode().has_value(), expected.isEmpty()) << name;
  }
}

TEST_F(AccountServiceTest, TheTokenAnswerDecidesWhetherTheGrantLives) {
  const QString session = service.accounts().openSession(StandInAccount::reader);
  const auto answer = [](int status, const QByteArray& body) {
    return StandInFault{.status = status, .body = body};
  };
  const auto failure = [&](const char* error) {
    return answer(400, R"({"error":")" + QByteArray(error) + "\"}");
  };
  const auto issued = [&](const QString& token, const QString& type = u"bearer"_s) {
    return answer(200, Json::serialize(QJsonObject{{u"access_token"_s, token}, {u"token_type"_s, type}}));
  };
  struct Row {
    const char* name;
    StandInFault reply;
    QString expected;
    double intervalBefore = 5;
    double intervalAfter = 5;
    bool clockSetBack = false;
  };
  const std::vector<Row> rows = {
      {"pending", failure("authorization_pending"), u"false"_s},
      {"slow_down at 58", failure("slow_down"), u"false"_s, 58, 63},
      {"slow_down at 298", failure("slow_down"), u"false"_s, 298, 300},
      {"429 in other words", answer(429, "busy"), u"false"_s, 5, 10},
      {"503 in other words", answer(503, "<html>"), u"false"_s, 5, 10},
      {"400 in other words", answer(400, "nope"), AccountError::http(400).description()},
      {"declined", failure("access_denied"), denied},
      {"expired", failure("expired_token"), expired},
      {"a clock set back before the grant", {}, expired, 5, 5, true},
      {"a token type other than bearer", issued(session, u"mac"_s), invalid},
      {"a token with a space", issued(u"a b"_s), invalid},
      {"a reply that is not JSON", answer(200, "<html>"), u"undecodable"_s},
      {"bearer in any case", issued(session, u"BeArEr"_s), u"true"_s},
      {"no token type", answer(200, Json::serialize(QJsonObject{{u"access_token"_s, session}})), u"true"_s},
      // Signed in by now: a rejected new token must not revoke the session held.
      {"a token the service rejects", issued(u"unknown"_s), notSignedIn},
  };
  for (const Row& row : rows) {
    ASSERT_FALSE(finishTask(controller->beginSignIn()).error) << row.name;
    AccountControllerTestAccess::setInterval(*controller, row.intervalBefore);
    harness.advance(5);
    if (row.clockSetBack)
      harness.setNow(harness.now().addingSeconds(-60));
    else
      service.addFault("POST", tokenPath, row.reply);
    const QString outcome = result(finishTask(controller->pollSignIn()));
    service.clearFaults();
    EXPECT_EQ(outcome, row.expected) << row.name;
    const bool kept = row.expected != denied && row.expected != expired && row.expected != u"true"_s;
    EXPECT_EQ(controller->isSigningIn(), kept) << row.name;
    EXPECT_EQ(kept ? controller->pendingDeviceCode()->interval : row.intervalAfter, row.intervalAfter)
        << row.name;
    EXPECT_FALSE(controller->cache() && controller->cache()->accessRevoked) << row.name;
    for (const QString& secret : account.secretsSent())
      EXPECT_FALSE(outcome.contains(secret)) << row.name;
  }
}

TEST_F(AccountServiceTest, AnAbandonedOrOvertakenSignInLeavesNothingBehind) {
  // A second begin while the first's reply is held: the late reply changes nothing.
  service.addFault("POST", codePath, {.hold = true});
  const auto first = startTask(controller->beginSignIn());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  const ReaderDeviceCode second = finishTask(controller->beginSignIn()).get();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(first));
  EXPECT_EQ(failureText(first->error), AccountError::superseded().description());
  EXPECT_EQ(controller->pendingDeviceCode(), second);

  // Abandoned while the account is fetched (and refused a refresh meanwhile): nothing stored.
  service.grants().setAutoApproveAfter(0);
  const auto polling = pollAfterBegin(mePath, {.hold = true});
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_EQ(refresh(), AccountError::busy().description());
  controller->cancelSignIn();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(polling));
  EXPECT_EQ(result(*polling), u"cancelled"_s);
  EXPECT_TRUE(storage.items().isEmpty());
  EXPECT_FALSE(account.cacheRecord(account.secretsSent().last()));
  EXPECT_FALSE(controller->isSigningIn() || controller->isBusy());

  // Going away with a poll in flight: the reply finds nobody.
  const auto orphaned = pollAfterBegin(mePath, {.hold = true});
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  controller.reset();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(orphaned));
  EXPECT_EQ(result(*orphaned), u"cancelled"_s);
}

TEST_F(AccountServiceTest, KeyringChangesTakeTurnsSoASignOutAlwaysWins) {
  // A failed fetch, then a failed keyring write: each next poll tries again with the token it has.
  service.grants().setAutoApproveAfter(0);
  const auto failing = pollAfterBegin(mePath, {.status = 500});
  ASSERT_TRUE(waitUntilFinished(failing));
  EXPECT_EQ(result(*failing), AccountError::http(500).description());
  storage.setFailure(-25308);
  const auto poll = [&] {
    harness.advance(5);
    return result(finishTask(controller->pollSignIn()));
  };
  EXPECT_EQ(poll(), KeychainError(-25308).description());
  storage.setFailure(std::nullopt);
  EXPECT_EQ(poll(), u"true"_s);
  EXPECT_EQ(account.requestsTo(tokenPath), 1);

  // Sign-out while the keyring write of a revocation, then of a sign-in, is held: its removal
  // comes after the write, and no credential remains.
  const std::vector<std::pair<const char*, std::function<std::function<bool()>()>>> writers = {
      {"revocation",
       [&] {
         service.addFault("GET", mePath, {.status = 401});
         return [refreshing = startTask(controller->refresh())] { return refreshing->finished; };
       }},
      {"sign-in", [&] { return [polling = pollAfterBegin()] { return polling->finished; }; }},
  };
  for (const auto& [name, write] : writers) {
    storage.setHolding(true);
    const std::function<bool()> written = write();
    ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == 1; })) << name;
    const auto signingOut = startTask(controller->signOut());
    storage.releaseOldest();
    ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == 1; }))
        << name << ": no removal after the write";
    storage.setHolding(false);
    storage.releaseOldest();
    ASSERT_TRUE(waitUntil(written) && waitUntilFinished(signingOut)) << name;
    EXPECT_FALSE(signingOut->error) << name;
    EXPECT_FALSE(storage.items().contains(account.credentialKey()) || controller->hasStoredSession()) << name;
  }

  // A sign-out whose removal is under way when the sign-in's turn comes: nothing is written.
  const auto polling = pollAfterBegin(preferencesPath, {.hold = true});
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  storage.setHolding(true);
  const auto signingOut = startTask(controller->signOut());
  ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == 1; }));
  service.releaseHeld();
  // The account is stored just before the sign-in waits for its turn.
  ASSERT_TRUE(waitUntil([&] { return account.cacheRecord(account.secretsSent().last()).has_value(); }));
  storage.setHolding(false);
  storage.releaseOldest();
  ASSERT_TRUE(waitUntilFinished(polling) && waitUntilFinished(signingOut));
  EXPECT_EQ(result(*polling), AccountError::superseded().description());
  EXPECT_FALSE(storage.items().contains(account.credentialKey()) || account.open()->hasStoredSession());
}

// The keyring gives up on the credential's write (past our time limit, or with an error of its
// own) and may still carry it out once it resumes. The reader was told the sign-in failed: once
// the keyring answers again, it must not hold that credential, so no later start signs the
// reader in with it, unless a later poll of the same grant did store it and sign them in.
TEST_F(AccountServiceTest, ASignInReportedAsFailedLeavesNoCredentialInTheKeyringOnceItAnswersAgain) {
  service.grants().setAutoApproveAfter(0);
  struct Row {
    const char* name;
    bool timesOut;          // our own limit, with a late answer; otherwise the keyring's error 7
    bool lands;             // the keyring carries the write out when it resumes
    bool pollsAgain;        // the same grant is polled again before anyone looks
    bool endsFirst = false; // the program ends before the keyring resumes
  };
  const Row rows[] = {
      {"timed out, stored late", true, true, false},
      {"timed out, refused late", true, false, false},
      {"keyring error, stored late", false, true, false},
      {"keyring error, never stored", false, false, false},
      {"keyring error, stored by the next poll", false, true, true},
      {"keyring error, stored once the program ended", false, true, false, true},
  };
  const QString key = account.credentialKey();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    controller = account.open();
    storage.setHolding(true);
    const auto polling = pollAfterBegin();
    ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == 1; }));
    if (row.timesOut)
      storage.timeOutOldest();
    else
      storage.failOldestSilently(7);
    ASSERT_TRUE(waitUntilFinished(polling));
    EXPECT_EQ(result(*polling), KeychainError(row.timesOut ? -1 : 7).description());
    EXPECT_FALSE(controller->isSignedIn());

    if (row.endsFirst)
      controller.reset();
    // The keyring resumes and performs the queued write, or refuses it.
    storage.setHolding(false);
    storage.setFailure(row.lands ? std::nullopt : std::optional<qint32>(7));
    storage.releaseOldest();
    flushEvents();
    storage.setFailure(std::nullopt);
    EXPECT_EQ(storage.items().contains(key), row.lands);
    if (row.endsFirst) {
      // The next start finds the credential, and knows it for the one of the failed sign-in.
      controller = account.open();
      EXPECT_FALSE(controller->hasStoredSession());
    } else if (row.pollsAgain) {
      harness.advance(5);
      EXPECT_EQ(result(finishTask(controller->pollSignIn())), u"true"_s);
    } else {
      controller->cancelSignIn();
    }

    // The first look finds the keyring still unavailable; a later one gets its answer.
    if (!row.timesOut && !row.endsFirst) {
      storage.setFailure(7);
      harness.advance(AccountController::firstCredentialCheck);
      flushEvents();
      storage.setFailure(std::nullopt);
      EXPECT_EQ(storage.items().contains(key), row.lands) << "nothing is removed without an answer";
    }
    harness.advance(2 * AccountController::longestCredentialCheck);
    flushEvents();
    EXPECT_EQ(storage.items().contains(key), row.pollsAgain);
    EXPECT_EQ(controller->isSignedIn(), row.pollsAgain);

    // What the next start finds agrees with what this one showed.
    controller.reset();
    const std::unique_ptr<AccountController> restarted = account.open();
    EXPECT_EQ(restarted->hasStoredSession(), row.pollsAgain);
    EXPECT_EQ(restarted->isSignedIn(), row.pollsAgain);
    if (row.pollsAgain) {
      EXPECT_EQ(run(restarted->signOut()), QString());
    }
  }
}

// Two sign-ins fail while the keyring hangs, and the program ends before it resumes: whichever
// of the two writes it carries out, the next start signs nobody in, takes that credential back
// out and keeps no record of either. A store of the version that named one credential under
// the bare key is understood the same way.
TEST_F(AccountServiceTest, EveryCredentialOfAFailedSignInIsTakenBackAtTheNextStart) {
  service.grants().setAutoApproveAfter(0);
  enum Lands { first, second, neither };
  struct Row {
    const char* name;
    int failures;
    Lands lands;
    bool earlierVersion = false; // the record is rewritten as the version before kept it
  };
  const Row rows[] = {
      {"the first of two lands", 2, first},
      {"the second of two lands", 2, second},
      {"neither of two lands", 2, neither},
      {"one lands, recorded by the earlier version", 1, first, true},
  };
  const QString key = account.credentialKey();
  const QString records = AccountKeys::unconfirmedCredentialKey(service.baseURL());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    controller = account.open();
    storage.setHolding(true);
    for (int i = 0; i < row.failures; ++i) {
      const auto polling = pollAfterBegin();
      ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == i + 1; }));
      storage.timeOutOldest();
      ASSERT_TRUE(waitUntilFinished(polling));
      EXPECT_EQ(result(*polling), KeychainError(-1).description());
    }
    if (row.earlierVersion) {
      const auto written = account.store->entryData(records);
      ASSERT_EQ(written.size(), 1u);
      account.store->commit({{records, written.front().second}}, {written.front().first});
    }

    // The program ends; then the keyring resumes and carries out one write, or none.
    controller.reset();
    storage.setHolding(false);
    for (int i = 0; i < row.failures; ++i) {
      storage.setFailure(i == row.lands ? std::nullopt : std::optional<qint32>(7));
      storage.releaseOldest();
      flushEvents();
    }
    storage.setFailure(std::nullopt);
    ASSERT_EQ(storage.items().contains(key), row.lands != neither);

    controller = account.open();
    EXPECT_FALSE(controller->hasStoredSession());
    EXPECT_FALSE(controller->isSignedIn());
    harness.advance(2 * AccountController::longestCredentialCheck);
    flushEvents();
    EXPECT_FALSE(storage.items().contains(key)) << "the credential is taken back out";
    EXPECT_TRUE(account.store->entryData(records).empty()) << "no record outlives the start";
    EXPECT_FALSE(account.open()->hasStoredSession());
  }
}

TEST_F(AccountServiceTest, TheFetchAcceptsOnlyABoundedConsistentAccount) {
  QList<QByteArray> large;
  for (int i = 0; i < 14; ++i)
    large.append(page(i, 1, u"c%1"_s.arg(i), 1572864));
  const auto serve = [&](QList<QByteArray> pages) { return [this, pages] { servePages(pages); }; };
  const auto put = [&](int from, int to, bool saved = true) {
    return [=, this] { putItems(from, to, saved); };
  };
  // Name, setup, error, item requests, items kept; rows of one reader (before "/") share its account.
  const std::vector<std::tuple<const char*, std::function<void()>, QString, qsizetype, qsizetype>> rows = {
      {"a page of 201 items", serve({page(0, 201)}), invalid, 1, 0},
      {"large/10,000 items", put(0, 10000), QString(), 50, 10000},
      {"large/10,001 items", put(10000, 10001), invalid, 51, 0},
      {"an empty cursor", serve({page(0, 1, u""_s)}), invalid, 1, 0},
      {"a repeated cursor", serve({page(0, 1, u"c"_s), page(1, 1, u"c"_s)}), invalid, 2, 0},
      {"a drop on two pages", serve({page(0, 1, u"c"_s), page(0, 1)}), invalid, 2, 0},
      {"14 pages of 1.5 MiB", serve(large), invalid, 14, 0},
      {"a cursor read back exactly", serve({page(0, 1, u"a b+c&d=%25é"_s), page(1, 1)}), QString(), 2, 2},
      {"an item neither saved nor loved", put(0, 1, false), invalid, 1, 0},
      {"paged/100 pages", put(0, 100), QString(), 100, 100},
      {"paged/a 100th page with a cursor", put(100, 101), invalid, 100, 0},
  };
  for (const auto& [name, setup, expected, requests, items] : rows) {
    reader = QString::fromLatin1(name).section(u'/', 0, 0);
    service.accounts().addReader({reader, u"Ada"_s, u"ada@example.com"_s});
    service.accounts().setPageSize(reader == u"paged"_s ? 1 : 200);
    service.removeRoute("GET", itemsPath);
    service.clearRequestLog();
    setup();
    token = service.accounts().openSession(reader);
    controller = account.open(token, reader);
    EXPECT_EQ(refresh(), expected) << name;
    EXPECT_EQ(account.requestsTo(itemsPath), requests) << name;
    EXPECT_EQ(controller->items().size(), items) << name;
    EXPECT_EQ(account.cacheRecord(token, reader).has_value(), expected.isEmpty()) << name;
    EXPECT_FALSE(controller->isBusy()) << name;
  }
}

TEST_F(AccountServiceTest, ARefreshRenewsOnlyWhatTheServiceConfirmed) {
  putItems(0, 3);
  controller = account.open(token);
  ASSERT_EQ(refresh(), QString());
  const auto stored = [&] { return AccountCache::fromJson(*account.cacheRecord(token)); };
  // An item changed at the service is stored as it now stands, beside those that did not.
  service.accounts().setFlag(reader, controller->items()[1].loreId, StandInAccounts::Flag::loved, true, {});
  ASSERT_EQ(refresh(), QString());
  EXPECT_TRUE(controller->items().last().loved);
  EXPECT_EQ(stored(), *controller->cache());

  // A confirmed summary is renewed (stored, then shown) though a later page fails; another
  // reader's summary is not.
  const AccountSummary other{
      {u"r2"_s, u"Bo"_s, u"bo@example.com"_s, {}}, harness.now().addingSeconds(3600), {}};
  const std::vector<std::tuple<StandInFault, QString, QString>> faults = {
      {{.status = 500}, itemsPath, AccountError::http(500).description()},
      {{.body = Json::serialize(other.encode())}, mePath, invalid}};
  for (const auto& [fault, path, expected] : faults) {
    harness.advance(60);
    const Date confirmed = controller->cache()->confirmedAt;
    service.addFault("GET", path, fault);
    EXPECT_EQ(refresh(), expected);
    EXPECT_EQ(controller->cache()->confirmedAt != confirmed, expected != invalid) << expected.toStdString();
    EXPECT_EQ(stored(), *controller->cache());
  }

  // A 401 revokes the session; its credential is still sent, since the service may restore it.
  service.addFault("GET", itemsPath, {.status = 401});
  EXPECT_EQ(refresh(), notSignedIn);
  EXPECT_TRUE(controller->cache()->accessRevoked && stored().accessRevoked);
  EXPECT_TRUE(SessionCredential::fromJson(storage.items().value(account.credentialKey())).revoked);
  EXPECT_EQ(refresh(), QString());

  // A sign-out while the preferences reply is held: the refresh is superseded, stores nothing.
  service.addFault("GET", preferencesPath, {.hold = true});
  const auto refreshing = startTask(controller->refresh());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_FALSE(finishTask(controller->signOut()).error);
  const std::optional<QByteArray> record = account.cacheRecord(token);
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(refreshing));
  EXPECT_EQ(failureText(refreshing->error), AccountError::superseded().description());
  EXPECT_EQ(account.cacheRecord(token), record);
  EXPECT_FALSE(controller->isBusy() || controller->cache());

  // A session that ends while the account is read.
  token = service.accounts().openSession(reader, harness.now().addingSeconds(30));
  controller = account.open(token);
  service.addFault("GET", preferencesPath, {.hold = true});
  const auto ending = startTask(controller->refresh());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  harness.advance(40);
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(ending));
  EXPECT_EQ(failureText(ending->error), notSignedIn);
}

TEST_F(AccountServiceTest, SignOutEndsTheSessionHereFirstAndKeepsTheCacheRecord) {
  const QString unconfirmed = AccountError::revocationUnconfirmed().description();
  const std::vector<std::tuple<const char*, std::function<void()>, QString>> rows = {
      {"the keyring refuses", [&] { storage.setFailure(-25308); }, KeychainError(-25308).description()},
      {"204", [] {}, QString()},
      {"401", [&] { service.addFault("POST", signOutPath, {.status = 401}); }, unconfirmed},
      {"500", [&] { service.addFault("POST", signOutPath, {.status = 500}); }, unconfirmed},
      {"no answer", [&] { service.addFault("POST", signOutPath, {.hold = true}); }, unconfirmed},
  };
  for (const auto& [name, setup, expected] : rows) {
    token = service.accounts().openSession(reader);
    controller = account.open(token);
    ASSERT_EQ(refresh(), QString()) << name;
    service.clearRequestLog();
    setup();
    const auto outcome = startTask(controller->signOut());
    if (waitUntil([&] { return outcome->finished || service.heldReplies() == 1; }) && !outcome->finished)
      harness.advance(NativeAPIClient::Options().transferDeadlineSeconds);
    ASSERT_TRUE(waitUntilFinished(outcome)) << name;
    storage.setFailure(std::nullopt);
    const bool signedOut = name != std::string_view("the keyring refuses");
    EXPECT_EQ(failureText(outcome->error), expected) << name;
    EXPECT_EQ(controller->isSignedIn() || controller->user().has_value(), !signedOut) << name;
    EXPECT_EQ(storage.items().contains(account.credentialKey()), !signedOut) << name;
    EXPECT_EQ(account.requestsTo(signOutPath), signedOut ? 1 : 0) << name;
    EXPECT_TRUE(account.cacheRecord(token)) << name;
    if (expected.isEmpty()) {
      EXPECT_EQ(harness.fetch("GET", mePath, {}, token).statusCode, 401) << "the session lives on";
    }
  }
  // Without a session nothing is sent.
  EXPECT_FALSE(finishTask(account.open()->signOut()).error);
  EXPECT_EQ(account.requestsTo(signOutPath), 1);
}

} // namespace
