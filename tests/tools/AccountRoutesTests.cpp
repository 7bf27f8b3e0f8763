// The reader's account at the stand-in: me, items and their pages, item changes, preferences
// and reading activity, over TLS on virtual time.
#include "ReleaseGenerator.h"
#include "StandInHarness.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

using namespace brindlewick;

namespace {

const QString reader = QStringLiteral("r1");

QJsonObject json(const APIResponse& response) {
  return QJsonDocument::fromJson(response.body).object();
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
    accounts.addReader({reader, QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
    token = accounts.openSession(reader);
    service.content().publish(published.body);
  }

  DropSnapshot snapshot(int drop) const { return DropSnapshot(drops[drop], published.release); }
  void hold(int drop, bool saved, bool loved) {
    const Date now = harness.now();
    accounts.putItem(reader, {snapshot(drop), saved, loved, saved ? std::optional(now) : std::nullopt,
                              loved ? std::optional(now) : std::nullopt, now});
  }

  APIResponse get(const QString& path) { return harness.fetch("GET", path, std::nullopt, token); }
  APIResponse send(const QByteArray& method, const QString& path, const QByteArray& body) {
    return harness.fetch(method, path, body, token);
  }
  QStringList heldIds() {
    QStringList ids;
    for (const auto& item : accounts.items(reader)) {
      ids << item.snapshot.id();
    }
    return ids;
  }
  QJsonObject metrics() {
    return json(get(QStringLiteral("/api/reader/me")))[QStringLiteral("metrics")].toObject();
  }
};

QJsonObject counts(qint64 saved, qint64 loved, qint64 read) {
  return {{QStringLiteral("savedCount"), saved},
          {QStringLiteral("lovedCount"), loved},
          {QStringLiteral("readCount"), read}};
}

} // namespace

TEST_F(AccountRoutesTest, MeDescribesTheSessionsReaderWithCountsFromTheItems) {
  hold(0, true, false);
  hold(1, false, true);
  hold(2, true, true);
  const QJsonObject me = json(get(QStringLiteral("/api/reader/me")));
  EXPECT_EQ(me[QStringLiteral("user")].toObject(),
            (QJsonObject{{QStringLiteral("id"), reader},
                         {QStringLiteral("name"), QStringLiteral("Ada")},
                         {QStringLiteral("email"), QStringLiteral("ada@example.com")}}));
  EXPECT_EQ(me[QStringLiteral("sessionExpiresAt")].toString(), QStringLiteral("2026-03-31T09:00:00Z"));
  EXPECT_EQ(me[QStringLiteral("metrics")].toObject(), counts(2, 2, 0));

  accounts.addReader({reader, QStringLiteral("Ada"), QStringLiteral("ada@example.com"),
                      QStringLiteral("https://example.com/ada.png")});
  EXPECT_EQ(
      json(get(QStringLiteral("/api/reader/me")))[QStringLiteral("user")][QStringLiteral("image")].toString(),
      QStringLiteral("https://example.com/ada.png"));
}

TEST_F(AccountRoutesTest, ItemsComeInPagesWhoseCursorsMustComeBackExactly) {
  for (int drop = 0; drop < 5; ++drop) {
    hold(drop, true, false);
  }
  accounts.setPageSize(2);
  QStringList seen;
  QString path = QStringLiteral("/api/reader/items");
  QString lastCursor;
  int pages = 0;
  for (; pages < 10 && !path.isEmpty(); ++pages) {
    const QJsonObject page = json(get(path));
    for (const QJsonValue& item : page[QStringLiteral("items")].toArray()) {
      seen << item[QStringLiteral("loreId")].toString();
      EXPECT_EQ(DropSnapshot::fromJson(item[QStringLiteral("snapshot")]), snapshot(seen.size() - 1));
    }
    path.clear();
    if (page.contains(QStringLiteral("nextCursor"))) {
      lastCursor = page[QStringLiteral("nextCursor")].toString();
      path = QStringLiteral("/api/reader/items?cursor=") + QUrl::toPercentEncoding(lastCursor);
    }
  }
  EXPECT_EQ(pages, 3);
  EXPECT_EQ(seen, heldIds());
  // With only its spaces escaped, the cursor's "&" and "+" change what the stand-in reads.
  EXPECT_EQ(get(QStringLiteral("/api/reader/items?cursor=") +
                QString(lastCursor).replace(QLatin1Char(' '), QStringLiteral("%20")))
                .statusCode,
            400);
  EXPECT_EQ(get(QStringLiteral("/api/reader/items?cursor=")).statusCode, 400);
}

TEST_F(AccountRoutesTest, ItemChangesAnswerWithTheItemAsItNowStands) {
  hold(0, false, true);
  hold(1, true, false);
  const auto path = [&](int drop) { return QStringLiteral("/api/reader/items/") + drops[drop].id; };
  const auto body = [&](const char* flag, bool value, qint64 revision) {
    return QByteArray("{\"") + flag + "\":" + (value ? "true" : "false") +
           ",\"revision\":" + QByteArray::number(revision) + '}';
  };
  const qint64 revision0 = drops[0].revision;
  for (const QByteArray& refused :
       {QByteArray("{\"saved\":true}"), QByteArray("{\"saved\":true,\"loved\":true,\"revision\":1}"),
        "{\"saved\":\"yes\",\"revision\":" + QByteArray::number(revision0) + '}',
        QByteArray("{\"saved\":true,\"revision\":1.5}"),
        body("saved", true, revision0).replace("saved", "starred"), QByteArray("saved=true")}) {
    EXPECT_EQ(send("PUT", path(0), refused).statusCode, 400) << refused.toStdString();
  }
  EXPECT_EQ(send("PUT", path(0), body("saved", true, revision0 + 1)).statusCode, 409);
  EXPECT_EQ(send("PUT", QStringLiteral("/api/reader/items/") + generatedId(3, 99), body("saved", true, 1))
                .statusCode,
            404);
  EXPECT_EQ(send("PUT", path(2), body("loved", true, drops[2].revision + 1)).statusCode, 404);
  EXPECT_EQ(heldIds(), (QStringList{drops[0].id, drops[1].id}));

  // Saving a loved item: both flags, its own dates, and it moves to the end.
  harness.advance(60);
  const QJsonObject saved = json(send("PUT", path(0), body("saved", true, revision0)));
  EXPECT_TRUE(saved[QStringLiteral("saved")].toBool());
  EXPECT_TRUE(saved[QStringLiteral("loved")].toBool());
  EXPECT_EQ(saved[QStringLiteral("savedAt")].toString(), QStringLiteral("2026-03-01T09:01:00Z"));
  EXPECT_EQ(saved[QStringLiteral("lovedAt")].toString(), QStringLiteral("2026-03-01T09:00:00Z"));
  EXPECT_EQ(saved[QStringLiteral("updatedAt")].toString(), QStringLiteral("2026-03-01T09:01:00Z"));
  EXPECT_EQ(heldIds(), (QStringList{drops[1].id, drops[0].id}));

  // A drop the account does not hold comes from the published release at that revision.
  const QJsonObject loved = json(send("PUT", path(2), body("loved", true, drops[2].revision)));
  EXPECT_EQ(loved[QStringLiteral("loreId")].toString(), drops[2].id);
  EXPECT_EQ(DropSnapshot::fromJson(loved[QStringLiteral("snapshot")]), snapshot(2));
  EXPECT_FALSE(loved.contains(QStringLiteral("savedAt")));

  // Clearing the last flag forgets the item, and the reply says so.
  const QJsonObject cleared = json(send("PUT", path(1), body("saved", false, drops[1].revision)));
  EXPECT_FALSE(cleared[QStringLiteral("saved")].toBool() || cleared[QStringLiteral("loved")].toBool());
  EXPECT_FALSE(cleared.contains(QStringLiteral("savedAt")));
  EXPECT_EQ(heldIds(), (QStringList{drops[0].id, drops[2].id}));
  EXPECT_EQ(metrics(), counts(1, 2, 0));
  EXPECT_EQ(get(QStringLiteral("/api/reader/items")).body,
            "{\"items\":[" + StandInAccounts::encode(*accounts.item(reader, drops[0].id)) + ',' +
                StandInAccounts::encode(*accounts.item(reader, drops[2].id)) + "]}");
}

TEST_F(AccountRoutesTest, PreferencesKeepTheirVersion) {
  const QString path = QStringLiteral("/api/reader/preferences");
  EXPECT_EQ(json(get(path)), (QJsonObject{{QStringLiteral("version"), 0}}));

  ReaderPreferences mine;
  mine.analyticsConsent = true;
  mine.topics = {QStringLiteral("history")};
  const auto body = [](const ReaderPreferences& preferences, qint64 version) {
    return Json::serialize(QJsonObject{{QStringLiteral("preferences"), preferences.toJson()},
                                       {QStringLiteral("version"), version}});
  };
  ReaderPreferences withDisplay = mine;
  withDisplay.preferredDisplayID = 7;
  QJsonObject noSchedule = mine.toJson();
  noSchedule.remove(QStringLiteral("schedule"));
  for (const QByteArray& refused :
       {body(withDisplay, 0),
        Json::serialize(
            QJsonObject{{QStringLiteral("preferences"), noSchedule}, {QStringLiteral("version"), 0}}),
        body(mine, 0).replace("\"version\"", "\"extra\":1,\"version\""), QByteArray("{\"version\":0}")}) {
    EXPECT_EQ(send("PUT", path, refused).statusCode, 400) << refused.toStdString();
  }
  EXPECT_EQ(send("PUT", path, body(mine, 1)).statusCode, 409);
  const APIResponse saved = send("PUT", path, body(mine, 0));
  EXPECT_EQ(saved.statusCode, 200);
  EXPECT_EQ(json(saved),
            (QJsonObject{{QStringLiteral("preferences"), mine.toJson()}, {QStringLiteral("version"), 1}}));
  EXPECT_EQ(get(path).body, saved.body);

  // Another computer saves first: this one's version is stale.
  accounts.setPreferences(reader, mine);
  EXPECT_EQ(send("PUT", path, body(mine, 1)).statusCode, 409);

  // Readings count once per id; preferences without consent forget them.
  const auto read = [&](const QString& id) {
    return send(
        "POST", QStringLiteral("/api/reader/activity"),
        Json::serialize(QJsonObject{{QStringLiteral("id"), id},
                                    {QStringLiteral("loreId"), drops[0].id},
                                    {QStringLiteral("revision"), drops[0].revision},
                                    {QStringLiteral("type"), QStringLiteral("read")},
                                    {QStringLiteral("occurredAt"), QStringLiteral("2026-03-01T08:59:59Z")}}));
  };
  const QString first = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(json(read(first)), (QJsonObject{{QStringLiteral("ok"), true}}));
  read(first);
  read(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964F0"));
  EXPECT_EQ(metrics(), counts(0, 0, 2));
  mine.analyticsConsent = false;
  EXPECT_EQ(json(send("PUT", path, body(mine, 2)))[QStringLiteral("version")].toInt(), 3);
  EXPECT_EQ(metrics(), counts(0, 0, 0));
}

TEST_F(AccountRoutesTest, ActivityAcceptsOnlyTheEventShape) {
  const QJsonObject event{{QStringLiteral("id"), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
                          {QStringLiteral("loreId"), drops[0].id},
                          {QStringLiteral("revision"), 1},
                          {QStringLiteral("type"), QStringLiteral("read")},
                          {QStringLiteral("occurredAt"), QStringLiteral("2026-03-01T08:59:59Z")}};
  const auto with = [&](const char* key, QJsonValue value) {
    QJsonObject changed = event;
    if (value.isUndefined()) {
      changed.remove(QLatin1StringView(key));
    } else {
      changed.insert(QLatin1StringView(key), value);
    }
    return Json::serialize(changed);
  };
  const std::vector<QByteArray> refused = {
      with("id", QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff")),
      with("id", QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")),
      with("occurredAt", QStringLiteral("2026-03-01T08:59:59.5Z")),
      with("occurredAt", QStringLiteral("2026-03-01T09:59:59+01:00")),
      with("occurredAt", QStringLiteral("2026-02-30T08:59:59Z")),
      with("type", QStringLiteral("shown")),
      with("revision", QStringLiteral("1")),
      with("loreId", QJsonValue::Undefined),
      with("extra", 1),
  };
  for (const QByteArray& body : refused) {
    EXPECT_EQ(send("POST", QStringLiteral("/api/reader/activity"), body).statusCode, 400)
        << body.toStdString();
  }
  EXPECT_EQ(metrics(), counts(0, 0, 0));
  EXPECT_EQ(send("POST", QStringLiteral("/api/reader/activity"), Json::serialize(event)).statusCode, 200);
}

// Every route of the account and of content needs an open, unexpired session.
TEST_F(AccountRoutesTest, EveryAccountRouteNeedsAnOpenSession) {
  const QString shortLived = accounts.openSession(reader, harness.now().addingSeconds(30));
  harness.advance(30);
  const std::vector<std::pair<QByteArray, QString>> routes = {
      {"GET", QStringLiteral("/api/reader/me")},
      {"GET", QStringLiteral("/api/reader/items")},
      {"PUT", QStringLiteral("/api/reader/items/") + drops[0].id},
      {"GET", QStringLiteral("/api/reader/preferences")},
      {"PUT", QStringLiteral("/api/reader/preferences")},
      {"POST", QStringLiteral("/api/reader/activity")},
      {"GET", QStringLiteral("/api/reader/content/manifest")},
      {"GET", QStringLiteral("/api/v1/content/releases/") + published.manifest.releaseId},
      {"POST", QStringLiteral("/api/v1/analytics/batch")},
  };
  for (const auto& [method, path] : routes) {
    for (const std::optional<QString>& bearer : {std::optional<QString>(), std::optional(shortLived)}) {
      const APIResponse reply = harness.fetch(
          method, path, method == "GET" ? std::nullopt : std::optional(QByteArray("{}")), bearer);
      EXPECT_EQ(reply.statusCode, 401) << method.toStdString() << ' ' << path.toStdString();
    }
  }
}
