// Content releases and analytics at the stand-in, over TLS.
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

const QStringList prefixes = {u"/api/reader/content/"_s, u"/api/v1/content/"_s};

class ContentRoutesTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  QString token;

  void SetUp() override {
    service.accounts().addReader({u"r1"_s, u"Ada"_s, u"ada@example.com"_s});
    token = service.accounts().openSession(u"r1"_s);
  }

  APIResponse get(const QString& path, std::optional<QString> etag = {}) {
    return harness.fetch("GET", path, std::nullopt, token, std::move(etag));
  }
};

} // namespace

// The content sync tests check the manifest against the bytes it announces; these cover what
// they do not reach: earlier releases, switching back, and a refused publication.
TEST_F(ContentRoutesTest, TheManifestAnnouncesTheLatestReleaseAndEarlierOnesStayServed) {
  const GeneratedRelease first = generateRelease(4);
  ReleaseShape shape;
  shape.seed = 2;
  shape.releaseId = generatedId(9, 1);
  const GeneratedRelease second = generateRelease(7, shape);
  service.content().publish(first.body);
  service.content().publish(second.body);

  const QString tag = u'"' + second.manifest.checksumSha256 + u'"';
  for (const QString& prefix : prefixes) {
    const APIResponse manifest = get(prefix + u"manifest"_s);
    EXPECT_EQ(manifest.body, second.manifestBody) << prefix.toStdString();
    EXPECT_EQ(manifest.headers.value(u"etag"_s), tag);
    EXPECT_EQ(get(prefix + u"manifest"_s, tag).statusCode, 304);
    EXPECT_EQ(get(prefix + u"manifest"_s, u"\"other\""_s).statusCode, 200);
    for (const GeneratedRelease* release : {&first, &second}) {
      EXPECT_EQ(get(prefix + u"releases/"_s + release->manifest.releaseId).body, release->body);
    }
  }

  EXPECT_TRUE(service.content().makeCurrent(first.manifest.releaseId));
  EXPECT_EQ(get(prefixes[1] + u"manifest"_s).body, first.manifestBody);
  EXPECT_FALSE(service.content().makeCurrent(generatedId(9, 3)));

  // Bytes that are not a release are refused and change nothing.
  EXPECT_ANY_THROW(service.content().publish(QByteArray(first.body).replace("\"lore\"", "\"drops\"")));
  EXPECT_EQ(service.content().current()->manifest, first.manifest);
}

// The sync tests meet a release unpublished with 404 while the manifest still names it.
TEST_F(ContentRoutesTest, AnUnpublishedReleaseAnswersItsStatusUntilPublishedAgain) {
  const GeneratedRelease published = generateRelease(3);
  service.content().publish(published.body);
  const QString path = u"releases/"_s + published.manifest.releaseId;
  service.content().unpublish(published.manifest.releaseId, 410);
  for (const QString& prefix : prefixes) {
    EXPECT_EQ(get(prefix + path).statusCode, 410);
  }
  service.content().publish(published.body);
  EXPECT_EQ(get(prefixes[0] + path).body, published.body);
}

TEST_F(ContentRoutesTest, AnalyticsBatchesAreCheckedWholeAndKept) {
  const auto event = [](int index) {
    return QJsonObject{{u"id"_s, generatedId(5, index).toUpper()},
                       {u"impressionId"_s, u"impression-%1"_s.arg(index)},
                       {u"type"_s, u"shown"_s},
                       {u"loreId"_s, generatedId(3, index)},
                       {u"revision"_s, 1},
                       {u"occurredAt"_s, u"2026-03-01T09:40:00Z"_s},
                       {u"appVersion"_s, u"0.1.0"_s}};
  };
  const auto batch = [](QJsonArray events, bool consent = true) {
    return Json::serialize(QJsonObject{{u"consent"_s, consent}, {u"events"_s, events}});
  };
  QJsonArray fifty;
  for (int i = 0; i < 50; ++i) {
    fifty.append(event(i));
  }
  std::vector<QByteArray> refused = {batch({event(1)}, false), batch(QJsonArray(fifty) << event(50)), "[]"};
  for (const auto& [key, value] :
       std::vector<std::pair<QString, QJsonValue>>{{u"id"_s, generatedId(5, 1)},
                                                   {u"type"_s, u"read"_s},
                                                   {u"occurredAt"_s, u"2026-03-01T09:49:59Z"_s},
                                                   {u"appVersion"_s, QJsonValue::Undefined}}) {
    QJsonObject changed = event(1);
    value.isUndefined() ? void(changed.remove(key)) : void(changed.insert(key, value));
    refused.push_back(batch({event(0), changed}));
  }
  const QString path = u"/api/v1/analytics/batch"_s;
  for (const QByteArray& body : refused) {
    EXPECT_EQ(harness.fetch("POST", path, body, token).statusCode, 400) << body.left(300).toStdString();
  }
  EXPECT_TRUE(service.analyticsEvents().isEmpty());
  EXPECT_EQ(harness.fetch("POST", path, batch(fifty), token).body, "{\"accepted\":50}");
  ASSERT_EQ(service.analyticsEvents().size(), 50);
  EXPECT_EQ(service.analyticsEvents().last(), event(49));
}
