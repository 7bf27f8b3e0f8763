// Browser sign-in against the stand-in over TLS on virtual time: the grant, its polls, the
// account it fetches, and everything that may overtake or abandon it.
#include "InMemorySecureStorage.h"
#include "RawStoreDatabase.h"
#include "StandInAccount.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <functional>

namespace brindlewick {

struct AccountControllerTestAccess {
  static void setInterval(AccountController& controller, double seconds) {
    controller.m_pendingDeviceCode->interval = seconds;
  }
};

} // namespace brindlewick

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString invalid = AccountError::invalidResponse().description();
const QString unsafe = AccountError::unsafeURL().description();
const QString expired = AccountError::deviceExpired().description();
const QString denied = AccountError::deviceDenied().description();
const QString codePath = u"/api/reader-auth/device/code"_s;
const QString tokenPath = u"/api/reader-auth/device/token"_s;
const QString mePath = u"/api/reader/me"_s;

QString result(const AsyncOutcome<bool>& outcome) {
  return outcome.error ? failureText(outcome.error) : outcome.value.value() ? u"true"_s : u"false"_s;
}

class AccountSignInTest : public testing::Test {
protected:
  InMemorySecureStorage storage;
  StandInAccount account{storage};
  StandInHarness& harness = account.harness;
  ReadingService& service = account.service;
  std::unique_ptr<AccountController> controller = account.open();

  qsizetype tokenRequests() const {
    return std::count_if(service.requestLog().begin(), service.requestLog().end(),
                         [](const LoggedRequest& request) { return request.path == tokenPath; });
  }
  // Every device code and bearer token the stand-in has seen.
  QStringList secrets() const {
    QStringList found;
    for (const LoggedRequest& request : service.requestLog()) {
      if (request.path == tokenPath)
        found << Json::parseObject(request.body).value(u"device_code"_s).toString();
      if (const auto token = request.bearerToken())
        found << *token;
    }
    return found;
  }
  void expectNoSecretIn(const QString& text) const {
    for (const QString& secret : secrets())
      EXPECT_FALSE(text.contains(secret)) << "a secret leaked into: " << text.toStdString();
  }
};

TEST_F(AccountSignInTest, TheBrowserPageApprovesAndTheSessionOutlivesTheController) {
  SignInDriver driver;
  bool approved = false;
  const auto outcome = signIn(*controller, harness, driver, [&] {
    if (std::exchange(approved, true))
      return;
    const ReaderDeviceCode code = *controller->pendingDeviceCode();
    const QUrl page = code.verificationURL;
    const APIResponse shown = harness.fetch("GET", page.path() + u'?' + page.query(QUrl::FullyEncoded));
    EXPECT_TRUE(shown.body.contains("<strong>" + code.userCode.toUtf8() + "</strong>"));
    EXPECT_EQ(shown.body.count("<button"), 1);
    EXPECT_EQ(harness.fetch("POST", u"/device/approve"_s, "user_code=" + code.userCode.toUtf8()).statusCode,
              200);
  });
  ASSERT_EQ(result(outcome), u"true"_s);
  // The first poll sent nothing (the stand-in would have asked to slow down), the second got the token.
  EXPECT_EQ(driver.waits, QList<double>{5});
  EXPECT_EQ(tokenRequests(), 1);
  EXPECT_TRUE(controller->isSignedIn());
  EXPECT_FALSE(controller->isSigningIn());
  EXPECT_FALSE(controller->pendingDeviceCode());
  const auto credential = SessionCredential::fromJson(storage.items().value(account.credentialKey()));
  EXPECT_EQ(credential.userID, StandInAccount::reader);
  EXPECT_FALSE(credential.revoked);
  EXPECT_TRUE(account.cacheRecord(credential.token));
  EXPECT_TRUE(account.open()->isSignedIn());

  // Approved by the service 12 s after the grant: a loop paced by the interval polls three
  // times and is never asked to slow down.
  ASSERT_FALSE(finishTask(controller->signOut()).error);
  service.clearRequestLog();
  service.grants().setAutoApproveAfter(12);
  SignInDriver paced;
  EXPECT_EQ(result(signIn(*controller, harness, paced)), u"true"_s);
  EXPECT_EQ(paced.waits, (QList<double>{5, 5, 5}));
  EXPECT_EQ(tokenRequests(), 3);

  // The device code went only into token requests, the token only into Authorization headers.
  for (const QString& secret : secrets()) {
    for (const QString& place : service.placesOf(secret))
      EXPECT_TRUE(place == u"POST /api/reader-auth/device/token body"_s ||
                  place.endsWith(u" header authorization"_s))
          << place.toStdString();
  }
}

TEST_F(AccountSignInTest, AGrantOutOfBoundsOrOffTheServicesOriginIsRefused) {
  const QString base = service.baseURL().toString();
  const QString port = QString::number(service.baseURL().port());
  const QJsonObject valid{{u"device_code"_s, u"dc"_s},
                          {u"user_code"_s, u"BCDF-GHJK"_s},
                          {u"verification_uri"_s, base + u"/device"_s},
                          {u"verification_uri_complete"_s, base + u"/device?user_code=BCDF-GHJK"_s},
                          {u"expires_in"_s, 1800},
                          {u"interval"_s, 60}};
  const auto with = [&](const QString& key, const QJsonValue& value) {
    QJsonObject changed = valid;
    changed.insert(key, value);
    return Json::serialize(changed);
  };
  const auto page = [&](const QString& address) { return with(u"verification_uri_complete"_s, address); };
  struct Row {
    const char* name;
    QByteArray body;
    QString expected;
    int status = 200;
  };
  const std::vector<Row> rows = {
      {"the longest grant and interval", Json::serialize(valid), QString()},
      {"expires_in 0", with(u"expires_in"_s, 0), invalid},
      {"expires_in 1801", with(u"expires_in"_s, 1801), invalid},
      {"interval 0", with(u"interval"_s, 0), invalid},
      {"interval 61", with(u"interval"_s, 61), invalid},
      {"an empty user code", with(u"user_code"_s, u""_s), invalid},
      {"a user code of 129 bytes", with(u"user_code"_s, QString(64, QChar(0xE9)) + u'x'), invalid},
      {"a device code of 4097 bytes", with(u"device_code"_s, QString(4097, u'd')), invalid},
      {"plain http", page(u"http://127.0.0.1:"_s + port + u"/device"_s), unsafe},
      {"HTTPS in capitals", page(u"HTTPS://127.0.0.1:"_s + port + u"/device"_s), unsafe},
      {"another host", page(u"https://localhost:"_s + port + u"/device"_s), unsafe},
      {"another port", page(u"https://127.0.0.1:1/device"_s), unsafe},
      {"a user name", page(u"https://ada@127.0.0.1:"_s + port + u"/device"_s), unsafe},
      {"a fragment", page(base + u"/device#approve"_s), unsafe},
      {"an unsafe first address", with(u"verification_uri"_s, u"javascript:alert(1)"_s), unsafe},
      {"401", "{}", AccountError::notSignedIn().description(), 401},
      {"500", "{}", AccountError::http(500).description(), 500},
      {"not JSON", "<html>", u"undecodable"_s},
  };
  for (const Row& row : rows) {
    service.setReply("POST", codePath, StandInReply::json(row.status, row.body));
    const auto outcome = finishTask(controller->beginSignIn());
    EXPECT_EQ(failureText(outcome.error), row.expected) << row.name;
    EXPECT_EQ(controller->isSigningIn(), row.expected.isEmpty()) << row.name;
    EXPECT_EQ(controller->pendingDeviceCode().has_value(), row.expected.isEmpty()) << row.name;
  }
}

TEST_F(AccountSignInTest, TheTokenAnswerDecidesWhetherTheGrantLives) {
  const QString session = service.accounts().openSession(StandInAccount::reader);
  const auto answer = [](int status, const QByteArray& body) {
    return StandInFault{.status = status, .body = body};
  };
  const auto failure = [&](const char* error) {
    return answer(400, "{\"error\":\"" + QByteArray(error) + "\"}");
  };
  const auto token = [&](const QJsonObject& reply) { return answer(200, Json::serialize(reply)); };
  const auto issued = [&](const QString& accessToken) { return token({{u"access_token"_s, accessToken}}); };
  struct Row {
    const char* name;
    std::optional<StandInFault> reply;
    QString expected;
    double intervalAfter = 5;
    double intervalBefore = 5;
    std::function<void()> before = nullptr;
  };
  const std::vector<Row> rows = {
      {"pending", failure("authorization_pending"), u"false"_s},
      {"slow_down at 58", failure("slow_down"), u"false"_s, 63, 58},
      {"slow_down at 298", failure("slow_down"), u"false"_s, 300, 298},
      {"slow_down at 300", failure("slow_down"), u"false"_s, 300, 300},
      {"429 in other words", answer(429, "busy"), u"false"_s, 10},
      {"503 in other words", answer(503, "<html>"), u"false"_s, 10},
      {"400 in other words", answer(400, "nope"), AccountError::http(400).description()},
      {"an unknown answer", failure("invalid_grant"), AccountError::http(400).description()},
      {"declined", failure("access_denied"), denied},
      {"expired", failure("expired_token"), expired},
      {"a clock set back before the grant", std::nullopt, expired, 5, 5,
       [&] { harness.setNow(harness.now().addingSeconds(-60)); }},
      {"a token type other than bearer", token({{u"access_token"_s, session}, {u"token_type"_s, u"mac"_s}}),
       invalid},
      {"a token with a space", issued(u"a b"_s), invalid},
      {"a token with a tab", issued(u"a\tb"_s), invalid},
      {"a token with a line break", issued(u"a\nb"_s), invalid},
      {"a token of 16,385 bytes", issued(QString(16385, u't')), invalid},
      {"a reply that is not JSON", answer(200, "<html>"), u"undecodable"_s},
      {"bearer in any case", token({{u"access_token"_s, session}, {u"token_type"_s, u"BeArEr"_s}}),
       u"true"_s},
      {"no token type", issued(session), u"true"_s},
      // Signed in by now: a rejected new token must not revoke the session held.
      {"a token the service rejects", issued(u"unknown"_s), AccountError::notSignedIn().description()},
  };
  for (const Row& row : rows) {
    ASSERT_FALSE(finishTask(controller->beginSignIn()).error) << row.name;
    AccountControllerTestAccess::setInterval(*controller, row.intervalBefore);
    harness.advance(5);
    if (row.before)
      row.before();
    if (row.reply)
      service.addFault("POST", tokenPath, *row.reply);
    const QString outcome = result(finishTask(controller->pollSignIn()));
    service.clearFaults();
    EXPECT_EQ(outcome, row.expected) << row.name;
    const bool kept = row.expected != denied && row.expected != expired && row.expected != u"true"_s;
    EXPECT_EQ(controller->isSigningIn(), kept) << row.name;
    if (kept) {
      EXPECT_EQ(controller->pendingDeviceCode()->interval, row.intervalAfter) << row.name;
    }
    if (controller->cache()) {
      EXPECT_FALSE(controller->cache()->accessRevoked) << row.name;
    }
    expectNoSecretIn(outcome);
  }
}

TEST_F(AccountSignInTest, AnAbandonedOrOvertakenSignInLeavesNothingBehind) {
  // A second begin while the first's reply is held: the late reply changes nothing.
  service.addFault("POST", codePath, {.hold = true});
  const auto first = startTask(controller->beginSignIn());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  const ReaderDeviceCode second = finishTask(controller->beginSignIn()).get();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(first));
  EXPECT_EQ(failureText(first->error), AccountError::superseded().description());
  EXPECT_EQ(controller->pendingDeviceCode(), second);

  // Abandoned while the account is fetched: no cache stored, no credential.
  service.grants().setAutoApproveAfter(0);
  service.addFault("GET", mePath, {.hold = true});
  harness.advance(5);
  const auto polling = startTask(controller->pollSignIn());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_EQ(failureText(finishTask(controller->refresh()).error), AccountError::busy().description());
  controller->cancelSignIn();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(polling));
  EXPECT_EQ(failureText(polling->error), u"cancelled"_s);
  EXPECT_TRUE(storage.items().isEmpty());
  EXPECT_TRUE(RawStoreDatabase(account.folder.filePath(u"Brindlewick.store"_s)).records().isEmpty());
  EXPECT_FALSE(controller->isSigningIn());
  EXPECT_FALSE(controller->isBusy());

  // Going away with a poll in flight: the reply finds nobody.
  ASSERT_FALSE(finishTask(controller->beginSignIn()).error);
  service.addFault("GET", mePath, {.hold = true});
  harness.advance(5);
  const auto orphaned = startTask(controller->pollSignIn());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  controller.reset();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(orphaned));
  EXPECT_EQ(failureText(orphaned->error), u"cancelled"_s);
}

TEST_F(AccountSignInTest, KeyringChangesTakeTurnsSoASignOutAlwaysWins) {
  // A failed fetch, then a failed keyring write: each next poll tries again with the token it has.
  service.grants().setAutoApproveAfter(0);
  ASSERT_FALSE(finishTask(controller->beginSignIn()).error);
  service.addFault("GET", mePath, {.status = 500});
  const auto poll = [&] {
    harness.advance(5);
    return result(finishTask(controller->pollSignIn()));
  };
  EXPECT_EQ(poll(), AccountError::http(500).description());
  storage.setFailure(-25308);
  EXPECT_EQ(poll(), KeychainError(-25308).description());
  storage.setFailure(std::nullopt);
  EXPECT_EQ(poll(), u"true"_s);
  EXPECT_EQ(tokenRequests(), 1);

  // Sign-out while the keyring write of a revocation, then of a sign-in, is held: its removal
  // comes after the write, and no credential remains. Each writer returns whether it finished.
  const std::vector<std::pair<const char*, std::function<std::function<bool()>()>>> writers = {
      {"revocation",
       [&] {
         service.addFault("GET", mePath, {.status = 401});
         const auto refreshing = startTask(controller->refresh());
         return [refreshing] { return refreshing->finished; };
       }},
      {"sign-in",
       [&] {
         EXPECT_FALSE(finishTask(controller->beginSignIn()).error);
         harness.advance(5);
         const auto polling = startTask(controller->pollSignIn());
         return [polling] { return polling->finished; };
       }},
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
    EXPECT_FALSE(storage.items().contains(account.credentialKey())) << name;
    EXPECT_FALSE(controller->hasStoredSession()) << name;
    EXPECT_FALSE(controller->isSignedIn()) << name;
  }

  // A sign-out whose removal is under way when the sign-in's turn comes: nothing is written.
  ASSERT_FALSE(finishTask(controller->beginSignIn()).error);
  service.addFault("GET", u"/api/reader/preferences"_s, {.hold = true});
  harness.advance(5);
  const auto polling = startTask(controller->pollSignIn());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  storage.setHolding(true);
  const auto signingOut = startTask(controller->signOut());
  ASSERT_TRUE(waitUntil([&] { return storage.heldCount() == 1; }));
  const auto records = [&] {
    return RawStoreDatabase(account.folder.filePath(u"Brindlewick.store"_s)).records();
  };
  const qsizetype stored = records().size();
  service.releaseHeld();
  // The account is stored just before the sign-in waits for its turn.
  ASSERT_TRUE(waitUntil([&] { return records().size() > stored; }));
  storage.setHolding(false);
  storage.releaseOldest();
  ASSERT_TRUE(waitUntilFinished(polling) && waitUntilFinished(signingOut));
  EXPECT_EQ(result(*polling), AccountError::superseded().description());
  EXPECT_FALSE(storage.items().contains(account.credentialKey()));
  EXPECT_FALSE(account.open()->hasStoredSession());
}

} // namespace
