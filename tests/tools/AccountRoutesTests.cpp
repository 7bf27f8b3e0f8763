// The reader's account at the stand-in: me, items and their pages, item changes, preferences
// and reading activity, over TLS on virtual time. The account tests of the client cover the
// well-formed requests; these cover what the stand-in refuses and what only it decides.
#include "ReleaseGenerator.h"
#include "StandInHarness.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString reader = u"r1"_s;

QJsonObject json(const APIResponse& response) {
  return QJsonDocument::fromJson(response.body).object();
}

QJsonObject counts(qint64 saved, qint64 loved, qint64 read) {
  return {{u"savedCount"_s, saved}, {u"lovedCount"_s, loved}, {u"readCount"_s, read}};
}

QByteArray change(const char* flag, bool value, qint64 revision) {
  return QByteArray("{\"") + flag + "\":" + (value ? "true" : "false") +
         ",\"revision\":" + QByteArray::number(revision) + '}';
}

class AccountRoutesTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  StandInAccounts& accounts = service.accounts();
  GeneratedRelease published = generateRelease(6);
  const QList<Drop>& drops = published.release.lore;
  QString token;

  void SetUp() override {
    accounts.addReader({reader, u"Ada"_s, u"ada@example.com"_s});
    token = accounts.openSession(reader);
    service.content().publish(published.body);
  }

  DropSnapshot snapshot(int drop) const { return DropSnapshot(drops[drop], published.release); }
  void hold(int drop, bool saved, bool loved) {
    const auto at = [&](bool flag) { return flag ? std::optional(harness.now()) : std::nullopt; };
    accounts.putItem(reader, {snapshot(drop), saved, loved, at(saved), at(loved), harness.now()});
  }
  QStringList heldIds() {
    QStringList ids;
    for (const auto& item : accounts.items(reader)) {
      ids << item.snapshot.id();
    }
    return ids;
  }
  APIResponse get(const QString& path) { return harness.fetch("GET", path, std::nullopt, token); }
  APIResponse send(const QByteArray& method, const QString& path, const QByteArray& body) {
    return harness.fetch(method, path, body, token);
  }
  QJsonObject metrics() { return json(get(u"/api/reader/me"_s))[u"metrics"_s].toObject(); }
};

} // namespace

TEST_F(AccountRoutesTest, MeNamesTheReadersImageWhenItHasOne) {
  accounts.addReader({reader, u"Ada"_s, u"ada@example.com"_s, u"https://example.com/ada.png"_s});
  EXPECT_EQ(json(get(u"/api/reader/me"_s))[u"user"_s].toObject(),
            (QJsonObject{{u"id"_s, reader},
                         {u"name"_s, u"Ada"_s},
                         {u"email"_s, u"ada@example.com"_s},
                         {u"image"_s, u"https://example.com/ada.png"_s}}));
}

// A cursor holds characters a query must escape: only one read back exactly goes on.
TEST_F(AccountRoutesTest, ACursorMustComeBackExactly) {
  for (int drop = 0; drop < 3; ++drop) {
    hold(drop, true, false);
  }
  accounts.setPageSize(2);
  const QString cursor = json(get(u"/api/reader/items"_s))[u"nextCursor"_s].toString();
  const QString items = u"/api/reader/items?cursor="_s;
  EXPECT_EQ(json(get(items + QUrl::toPercentEncoding(cursor)))[u"items"_s][0][u"loreId"_s], drops[2].id);
  EXPECT_EQ(get(items + QString(cursor).replace(u' ', u"%20"_s)).statusCode, 400);
  EXPECT_EQ(get(items).statusCode, 400);
}

TEST_F(AccountRoutesTest, ItemChangesAnswerWithTheItemAsItNowStands) {
  hold(0, false, true);
  hold(1, true, false);
  const auto path = [&](int drop) { return u"/api/reader/items/"_s + drops[drop].id; };
  const qint64 revision = drops[0].revision;
  for (const QByteArray& refused :
       {QByteArray("{\"saved\":true}"), change("saved", true, revision).replace("}", ",\"loved\":true}"),
        change("saved", true, revision).replace("true", "\"yes\""),
        QByteArray("{\"saved\":true,\"revision\":1.5}")}) {
    EXPECT_EQ(send("PUT", path(0), refused).statusCode, 400) << refused.toStdString();
  }
  EXPECT_EQ(send("PUT", path(0), change("saved", true, revision + 1)).statusCode, 409);
  EXPECT_EQ(send("PUT", u"/api/reader/items/"_s + generatedId(3, 99), change("saved", true, 1)).statusCode,
            404);
  EXPECT_EQ(send("PUT", path(2), change("loved", true, drops[2].revision + 1)).statusCode, 404);
  EXPECT_EQ(heldIds(), (QStringList{drops[0].id, drops[1].id}));

  // Saving a loved item: both flags, each with its own date, and the item moves to the end.
  harness.advance(60);
  const QJsonObject saved = json(send("PUT", path(0), change("saved", true, revision)));
  EXPECT_TRUE(saved[u"saved"_s].toBool() && saved[u"loved"_s].toBool());
  EXPECT_EQ(saved[u"savedAt"_s].toString(), u"2026-03-01T09:01:00Z"_s);
  EXPECT_EQ(saved[u"lovedAt"_s].toString(), u"2026-03-01T09:00:00Z"_s);
  EXPECT_EQ(saved[u"updatedAt"_s].toString(), u"2026-03-01T09:01:00Z"_s);
  EXPECT_EQ(heldIds(), (QStringList{drops[1].id, drops[0].id}));
  // A flag set again keeps the date it was first set.
  const APIResponse lovedAgain = send("PUT", path(0), change("loved", true, revision));
  EXPECT_EQ(json(lovedAgain)[u"lovedAt"_s], u"2026-03-01T09:00:00Z"_s);

  // A drop the account does not hold comes from the published release at that revision.
  const APIResponse loved = send("PUT", path(2), change("loved", true, drops[2].revision));
  EXPECT_EQ(DropSnapshot::fromJson(json(loved)[u"snapshot"_s]), snapshot(2));
  EXPECT_FALSE(json(loved).contains(u"savedAt"_s));

  // Clearing the last flag forgets the item; the reply says so.
  const QJsonObject cleared = json(send("PUT", path(1), change("saved", false, drops[1].revision)));
  EXPECT_FALSE(cleared[u"saved"_s].toBool() || cleared[u"loved"_s].toBool() ||
               cleared.contains(u"savedAt"_s));
  EXPECT_EQ(metrics(), counts(1, 2, 0));
  // The pages send each item as its last change answered, not a stale encoding.
  EXPECT_EQ(get(u"/api/reader/items"_s).body, "{\"items\":[" + lovedAgain.body + ',' + loved.body + "]}");
}

TEST_F(AccountRoutesTest, PreferencesKeepTheirVersion) {
  const QString path = u"/api/reader/preferences"_s;
  EXPECT_EQ(json(get(path)), (QJsonObject{{u"version"_s, 0}}));
  ReaderPreferences mine;
  mine.topics = {u"history"_s};
  const auto body = [](const QJsonObject& preferences, qint64 version) {
    return Json::serialize(QJsonObject{{u"preferences"_s, preferences}, {u"version"_s, version}});
  };
  QJsonObject withDisplay = mine.toJson();
  withDisplay.insert(u"preferredDisplayID"_s, 7);
  QJsonObject noSchedule = mine.toJson();
  noSchedule.remove(u"schedule"_s);
  for (const QByteArray& refused :
       {body(withDisplay, 0), body(noSchedule, 0), QByteArray("{\"version\":0}"),
        body(mine.toJson(), 0).replace("\"version\"", "\"extra\":1,\"version\"")}) {
    EXPECT_EQ(send("PUT", path, refused).statusCode, 400) << refused.toStdString();
  }
  EXPECT_EQ(send("PUT", path, body(mine.toJson(), 1)).statusCode, 409);
  const APIResponse saved = send("PUT", path, body(mine.toJson(), 0));
  EXPECT_EQ(json(saved), (QJsonObject{{u"preferences"_s, mine.toJson()}, {u"version"_s, 1}}));
  EXPECT_EQ(get(path).body, saved.body);
}

TEST_F(AccountRoutesTest, ActivityAcceptsOnlyTheEventShapeAndCountsEachReadingOnce) {
  const QJsonObject event{{u"id"_s, u"6F9619FF-8B86-D011-B42D-00C04FC964FF"_s},
                          {u"loreId"_s, drops[0].id},
                          {u"revision"_s, 1},
                          {u"type"_s, u"read"_s},
                          {u"occurredAt"_s, u"2026-03-01T08:59:59Z"_s}};
  const auto post = [&](const QJsonObject& body) {
    return send("POST", u"/api/reader/activity"_s, Json::serialize(body));
  };
  const std::vector<std::pair<QString, QJsonValue>> changes = {
      {u"id"_s, u"6f9619ff-8b86-d011-b42d-00c04fc964ff"_s},
      {u"occurredAt"_s, u"2026-03-01T08:59:59.5Z"_s},
      {u"occurredAt"_s, u"2026-03-01T09:59:59+01:00"_s},
      {u"type"_s, u"shown"_s},
      {u"loreId"_s, QJsonValue::Undefined},
      {u"extra"_s, 1}};
  for (const auto& [key, value] : changes) {
    QJsonObject changed = event;
    value.isUndefined() ? void(changed.remove(key)) : void(changed.insert(key, value));
    EXPECT_EQ(post(changed).statusCode, 400) << key.toStdString();
  }
  EXPECT_EQ(json(post(event)), (QJsonObject{{u"ok"_s, true}}));
  post(event);
  EXPECT_EQ(metrics(), counts(0, 0, 1));
}

// Every route of the account and of content needs an open, unexpired session.
TEST_F(AccountRoutesTest, EveryAccountRouteNeedsAnOpenSession) {
  const QString shortLived = accounts.openSession(reader, harness.now().addingSeconds(30));
  harness.advance(30);
  const std::vector<std::pair<QByteArray, QString>> routes = {
      {"GET", u"/api/reader/me"_s},
      {"GET", u"/api/reader/items"_s},
      {"PUT", u"/api/reader/items/"_s + drops[0].id},
      {"GET", u"/api/reader/preferences"_s},
      {"PUT", u"/api/reader/preferences"_s},
      {"POST", u"/api/reader/activity"_s},
      {"GET", u"/api/reader/content/manifest"_s},
      {"GET", u"/api/v1/content/releases/"_s + published.manifest.releaseId},
      {"POST", u"/api/v1/analytics/batch"_s},
      {"POST", u"/api/reader-auth/sign-out"_s},
  };
  for (const auto& [method, path] : routes) {
    for (const std::optional<QString>& bearer : {std::optional<QString>(), std::optional(shortLived)}) {
      const auto body = method == "GET" ? std::nullopt : std::optional(QByteArray("{}"));
      EXPECT_EQ(harness.fetch(method, path, body, bearer).statusCode, 401) << path.toStdString();
    }
  }
}
