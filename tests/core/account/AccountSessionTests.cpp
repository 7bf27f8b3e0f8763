// Refreshing the account from a hostile or failing service, and signing out, against the
// stand-in over TLS on virtual time.
#include "AccountFixtures.h"
#include "InMemorySecureStorage.h"
#include "StandInAccount.h"
#include "foundation/Json.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <functional>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString invalid = AccountError::invalidResponse().description();
const QString itemsPath = u"/api/reader/items"_s;

// A page of the fixture items `first` to `first + count - 1`, with an ignored key of `padding`
// letters to make it as large as a test needs.
QByteArray page(int first, int count, std::optional<QString> cursor = std::nullopt, qsizetype padding = 0) {
  QJsonArray items;
  for (int i = first; i < first + count; ++i)
    items.append(AccountFixtures::savedItem(i, StandInHarness::start).encode());
  QJsonObject object{{u"items"_s, items}, {u"pad"_s, QString(padding, u'p')}};
  if (cursor)
    object.insert(u"nextCursor"_s, *cursor);
  return Json::serialize(object);
}

class AccountSessionTest : public testing::Test {
protected:
  InMemorySecureStorage storage;
  StandInAccount account{storage};
  StandInHarness& harness = account.harness;
  ReadingService& service = account.service;
  QString reader = StandInAccount::reader;
  QString token = service.accounts().openSession(reader);

  // A controller holding the credential of `token`, as at start-up.
  std::unique_ptr<AccountController> withSession() {
    storage.setItem(account.credentialKey(), AccountFixtures::credential(token, reader));
    return account.open();
  }
  // Serves the items route from `pages`: the first without a cursor, page i for the cursor "c<i>".
  void servePages(QList<QByteArray> pages) {
    service.route("GET", itemsPath, [pages](const LoggedRequest& request) {
      const qsizetype index = request.queryItem(u"cursor").value_or(u"c0"_s).mid(1).toInt();
      return StandInReply::json(200, pages.value(index));
    });
  }
  void putItems(int from, int to, bool saved = true) {
    for (int i = from; i < to; ++i) {
      const AccountItem item = AccountFixtures::savedItem(i, harness.now());
      service.accounts().putItem(reader,
                                 {item.snapshot, saved, false, item.savedAt, std::nullopt, item.updatedAt});
    }
  }
  qsizetype requestsTo(const QString& path) const {
    return std::count_if(service.requestLog().begin(), service.requestLog().end(),
                         [&](const LoggedRequest& request) { return request.path == path; });
  }
};

TEST_F(AccountSessionTest, TheFetchAcceptsOnlyABoundedConsistentAccount) {
  struct Row {
    const char* name;
    std::function<void()> setup;
    QString expected;
    qsizetype itemRequests = -1;
    qsizetype items = 0;
    // Rows of one reader share its account at the stand-in.
    QString reader = QString();
  };
  const std::vector<Row> rows = {
      {"a page of 201 items", [&] { servePages({page(0, 201)}); }, invalid},
      {"10,000 items", [&] { putItems(0, 10000); }, QString(), 50, 10000, u"large"_s},
      {"10,001 items", [&] { putItems(10000, 10001); }, invalid, 51, 0, u"large"_s},
      {"an empty cursor", [&] { servePages({page(0, 1, u""_s)}); }, invalid},
      {"a repeated cursor",
       [&] {
         servePages({page(0, 1, u"c1"_s), page(1, 1, u"c1"_s)});
       },
       invalid, 2},
      {"a drop on two pages",
       [&] {
         servePages({page(0, 1, u"c1"_s), page(0, 1)});
       },
       invalid},
      {"14 pages of 1.5 MiB",
       [&] {
         QList<QByteArray> pages;
         for (int i = 0; i < 14; ++i)
           pages.append(page(i, 1, u"c%1"_s.arg(i + 1), 1572864));
         servePages(pages);
       },
       invalid, 14},
      {"a cursor read back exactly",
       [&] {
         const QString cursor = u"a b+c&d=%25é"_s;
         service.route("GET", itemsPath, [cursor](const LoggedRequest& request) {
           const auto sent = request.queryItem(u"cursor");
           return !sent ? StandInReply::json(200, page(0, 1, cursor))
                        : StandInReply::json(sent == cursor ? 200 : 400, page(1, 1));
         });
       },
       QString(), 2, 2},
      {"an item neither saved nor loved", [&] { putItems(0, 1, false); }, invalid},
      {"100 pages", [&] { putItems(0, 100); }, QString(), 100, 100, u"paged"_s},
      {"a 100th page with a cursor", [&] { putItems(100, 101); }, invalid, 100, 0, u"paged"_s},
  };
  for (const Row& row : rows) {
    reader = row.reader.isEmpty() ? QString::fromLatin1(row.name) : row.reader;
    service.accounts().addReader({reader, u"Ada"_s, u"ada@example.com"_s});
    token = service.accounts().openSession(reader);
    service.accounts().setPageSize(reader == u"paged"_s ? 1 : 200);
    service.removeRoute("GET", itemsPath);
    service.clearRequestLog();
    row.setup();
    const auto controller = withSession();
    const auto outcome = finishTask(controller->refresh());
    EXPECT_EQ(failureText(outcome.error), row.expected) << row.name;
    if (row.itemRequests >= 0) {
      EXPECT_EQ(requestsTo(itemsPath), row.itemRequests) << row.name;
    }
    EXPECT_FALSE(controller->isBusy()) << row.name;
    EXPECT_EQ(controller->isSignedIn(), row.expected.isEmpty()) << row.name;
    EXPECT_EQ(account.cacheRecord(token, reader).has_value(), row.expected.isEmpty()) << row.name;
    EXPECT_EQ(controller->items().size(), row.items) << row.name;
  }
}

TEST_F(AccountSessionTest, ARefreshRenewsWhatTheServiceConfirmedAndNothingElse) {
  putItems(0, 3);
  const auto controller = withSession();
  ASSERT_EQ(failureText(finishTask(controller->refresh()).error), QString());
  ASSERT_TRUE(controller->isSignedIn());
  const auto stored = [&] { return AccountCache::fromJson(*account.cacheRecord(token)); };
  // An item that changed at the service is stored as it now stands, beside those that did not.
  service.accounts().setFlag(reader, controller->items()[1].loreId, StandInAccounts::Flag::loved, true, {});
  ASSERT_FALSE(finishTask(controller->refresh()).error);
  EXPECT_TRUE(controller->items().last().loved);
  EXPECT_EQ(stored(), *controller->cache());

  struct Row {
    const char* name;
    std::function<void()> setup;
    QString expected;
    // While the preferences reply is held, if set.
    std::function<void()> whileHeld = nullptr;
  };
  const std::vector<Row> rows = {
      {"a later page fails", [&] { service.addFault("GET", itemsPath, {.status = 500}); },
       AccountError::http(500).description()},
      {"another reader's summary",
       [&] {
         const AccountSummary other{
             {u"r2"_s, u"Bo"_s, u"bo@example.com"_s, std::nullopt}, harness.now().addingSeconds(3600), {}};
         service.addFault("GET", u"/api/reader/me"_s, {.body = Json::serialize(other.encode())});
       },
       invalid},
      {"the session ends while the pages are read",
       [&] {
         token = service.accounts().openSession(reader, harness.now().addingSeconds(30));
         storage.setItem(account.credentialKey(), AccountFixtures::credential(token, reader));
         service.addFault("GET", u"/api/reader/preferences"_s, {.hold = true});
       },
       AccountError::notSignedIn().description(), [&] { harness.advance(40); }},
  };
  for (const Row& row : rows) {
    harness.advance(60);
    row.setup();
    const auto reopened = account.open();
    const std::optional<AccountCache> before = reopened->cache();
    const auto outcome = startTask(reopened->refresh());
    if (row.whileHeld) {
      ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; })) << row.name;
      row.whileHeld();
      service.releaseHeld();
    }
    ASSERT_TRUE(waitUntilFinished(outcome)) << row.name;
    EXPECT_EQ(failureText(outcome->error), row.expected) << row.name;
    // Only a summary the service confirmed for this reader renews the held account, at once.
    if (!before) {
      EXPECT_FALSE(reopened->cache()) << row.name;
      continue;
    }
    EXPECT_EQ(reopened->cache()->confirmedAt != before->confirmedAt, row.expected != invalid) << row.name;
    EXPECT_EQ(stored(), *reopened->cache()) << row.name;
  }
}

TEST_F(AccountSessionTest, SignOutEndsTheSessionHereFirstAndKeepsTheCacheRecord) {
  const QString signOutPath = u"/api/reader-auth/sign-out"_s;
  const QString unconfirmed = AccountError::revocationUnconfirmed().description();
  struct Row {
    const char* name;
    std::function<void()> setup;
    QString expected;
    bool signedOut = true;
    std::function<void()> whileHeld = nullptr;
  };
  const std::vector<Row> rows = {
      {"the keyring refuses", [&] { storage.setFailure(-25308); }, KeychainError(-25308).description(),
       false},
      {"the service confirms", [] {}, QString()},
      {"401", [&] { service.addFault("POST", signOutPath, {.status = 401}); }, unconfirmed},
      {"500", [&] { service.addFault("POST", signOutPath, {.status = 500}); }, unconfirmed},
      {"no answer", [&] { service.addFault("POST", signOutPath, {.hold = true}); }, unconfirmed, true,
       [&] { harness.advance(NativeAPIClient::Options().transferDeadlineSeconds); }},
  };
  for (const Row& row : rows) {
    token = service.accounts().openSession(StandInAccount::reader);
    const auto controller = withSession();
    ASSERT_FALSE(finishTask(controller->refresh()).error) << row.name;
    service.clearRequestLog();
    row.setup();
    const auto outcome = startTask(controller->signOut());
    if (row.whileHeld) {
      ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; })) << row.name;
      row.whileHeld();
    }
    ASSERT_TRUE(waitUntilFinished(outcome)) << row.name;
    storage.setFailure(std::nullopt);
    EXPECT_EQ(failureText(outcome->error), row.expected) << row.name;
    EXPECT_EQ(controller->isSignedIn(), !row.signedOut) << row.name;
    EXPECT_EQ(storage.items().contains(account.credentialKey()), !row.signedOut) << row.name;
    EXPECT_EQ(requestsTo(signOutPath), row.signedOut ? 1 : 0) << row.name;
    EXPECT_TRUE(account.cacheRecord(token)) << row.name;
    EXPECT_EQ(!controller->user(), row.signedOut) << row.name;
  }

  // Without a session nothing is sent; with one the service ends it.
  const auto signedOut = account.open();
  EXPECT_FALSE(finishTask(signedOut->signOut()).error);
  token = service.accounts().openSession(reader);
  const auto controller = withSession();
  EXPECT_FALSE(finishTask(controller->signOut()).error);
  EXPECT_EQ(requestsTo(signOutPath), 2);
  EXPECT_EQ(harness.fetch("GET", u"/api/reader/me"_s, {}, token).statusCode, 401);
}

TEST_F(AccountSessionTest, A401RevokesTheHeldSessionAndASignOutSupersedesARefresh) {
  const auto controller = withSession();
  ASSERT_FALSE(finishTask(controller->refresh()).error);
  service.addFault("GET", itemsPath, {.status = 401});
  EXPECT_EQ(failureText(finishTask(controller->refresh()).error), AccountError::notSignedIn().description());
  EXPECT_TRUE(controller->cache()->accessRevoked);
  EXPECT_TRUE(SessionCredential::fromJson(storage.items().value(account.credentialKey())).revoked);
  EXPECT_TRUE(AccountCache::fromJson(*account.cacheRecord(token)).accessRevoked);
  // A revoked credential is still sent: the service may have restored the session.
  EXPECT_FALSE(finishTask(controller->refresh()).error);

  service.addFault("GET", u"/api/reader/preferences"_s, {.hold = true});
  const auto refreshing = startTask(controller->refresh());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  EXPECT_FALSE(finishTask(controller->signOut()).error);
  const std::optional<QByteArray> record = account.cacheRecord(token);
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(refreshing));
  EXPECT_EQ(failureText(refreshing->error), AccountError::superseded().description());
  EXPECT_EQ(account.cacheRecord(token), record);
  EXPECT_FALSE(controller->isBusy());
  EXPECT_FALSE(controller->cache());

  // Going away with a request in flight: the reply finds nobody.
  auto doomed = withSession();
  service.addFault("GET", u"/api/reader/me"_s, {.hold = true});
  const auto orphaned = startTask(doomed->refresh());
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  doomed.reset();
  service.releaseHeld();
  ASSERT_TRUE(waitUntilFinished(orphaned));
  EXPECT_EQ(failureText(orphaned->error), u"cancelled"_s);
}

} // namespace
