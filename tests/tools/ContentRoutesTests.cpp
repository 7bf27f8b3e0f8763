// Content releases and analytics at the stand-in, over TLS.
#include "ReleaseGenerator.h"
#include "StandInHarness.h"
#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <vector>

using namespace brindlewick;

namespace {

const QStringList prefixes = {QStringLiteral("/api/reader/content/"), QStringLiteral("/api/v1/content/")};

class ContentRoutesTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  QString token;

  void SetUp() override {
    service.accounts().addReader(
        {QStringLiteral("r1"), QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
    token = service.accounts().openSession(QStringLiteral("r1"));
  }

  APIResponse get(const QString& path, std::optional<QString> etag = {}) {
    return harness.fetch("GET", path, std::nullopt, token, std::move(etag));
  }
};

} // namespace

TEST_F(ContentRoutesTest, PublishingMakesTheManifestFromTheBytes) {
  ReleaseShape shape;
  shape.minimumAppVersion = QStringLiteral("0.1.0");
  const GeneratedRelease first = generateRelease(4, shape);
  shape.seed = 2;
  shape.releaseId = generatedId(9, 1);
  const GeneratedRelease second = generateRelease(7, shape);
  service.content().publish(first.body);
  service.content().publish(second.body);

  const QByteArray tag = '"' + ContractRules::sha256Hex(second.body).toLatin1() + '"';
  for (const QString& prefix : prefixes) {
    const APIResponse manifest = get(prefix + QStringLiteral("manifest"));
    ASSERT_EQ(manifest.statusCode, 200) << prefix.toStdString();
    EXPECT_EQ(manifest.headers.value(QStringLiteral("etag")).toLatin1(), tag);
    // What the client checks a release against, from the bytes alone.
    const ContentManifest announced =
        ContractValidation::decodeManifest(manifest.body, QStringLiteral("0.1.0"));
    EXPECT_EQ(announced, second.manifest);
    const APIResponse release = get(prefix + QStringLiteral("releases/") + announced.releaseId);
    EXPECT_EQ(release.body, second.body);
    EXPECT_NO_THROW(ContractValidation::validateRelease(release.body, announced, QStringLiteral("0.1.0")));
    // An earlier release is still served by its id.
    EXPECT_EQ(get(prefix + QStringLiteral("releases/") + first.manifest.releaseId).body, first.body);

    const APIResponse unchanged = get(prefix + QStringLiteral("manifest"), QString::fromLatin1(tag));
    EXPECT_EQ(unchanged.statusCode, 304);
    EXPECT_TRUE(unchanged.body.isEmpty());
    EXPECT_EQ(get(prefix + QStringLiteral("manifest"), QStringLiteral("\"other\"")).statusCode, 200);
  }

  // Bytes that are not a release are refused and change nothing.
  EXPECT_ANY_THROW(service.content().publish(QByteArray(first.body).replace("\"lore\"", "\"drops\"")));
  EXPECT_EQ(service.content().current()->manifest, second.manifest);
}

TEST_F(ContentRoutesTest, UnpublishedReleasesAnswerTheirStatus) {
  const GeneratedRelease published = generateRelease(3);
  service.content().publish(published.body);
  const QString id = published.manifest.releaseId;
  for (const int status : {410, 404}) {
    service.content().unpublish(id, status);
    for (const QString& prefix : prefixes) {
      EXPECT_EQ(get(prefix + QStringLiteral("releases/") + id).statusCode, status);
      // The manifest lags behind, as a cache would: it still names the release.
      EXPECT_EQ(ContentManifest::decode(Json::parse(get(prefix + QStringLiteral("manifest")).body)).releaseId,
                id);
    }
  }
  EXPECT_EQ(get(prefixes[0] + QStringLiteral("releases/") + generatedId(9, 2)).statusCode, 404);
  service.content().publish(published.body);
  EXPECT_EQ(get(prefixes[0] + QStringLiteral("releases/") + id).body, published.body);
}

TEST_F(ContentRoutesTest, AnalyticsBatchesAreCheckedWholeAndKept) {
  const auto event = [](int index, const char* occurredAt = "2026-03-01T09:40:00Z") {
    return QJsonObject{{QStringLiteral("id"), generatedId(5, index).toUpper()},
                       {QStringLiteral("impressionId"), QStringLiteral("impression-%1").arg(index)},
                       {QStringLiteral("type"), QStringLiteral("shown")},
                       {QStringLiteral("loreId"), generatedId(3, index)},
                       {QStringLiteral("revision"), 1},
                       {QStringLiteral("occurredAt"), QString::fromLatin1(occurredAt)},
                       {QStringLiteral("appVersion"), QStringLiteral("0.1.0")}};
  };
  const auto batch = [](QJsonArray events, bool consent = true) {
    return Json::serialize(
        QJsonObject{{QStringLiteral("consent"), consent}, {QStringLiteral("events"), events}});
  };
  QJsonArray fifty;
  for (int i = 0; i < 50; ++i) {
    fifty.append(event(i));
  }
  QJsonArray fiftyOne = fifty;
  fiftyOne.append(event(50));
  QJsonObject lowerCaseId = event(1);
  lowerCaseId[QStringLiteral("id")] = generatedId(5, 1).toLower();
  QJsonObject unknownType = event(1);
  unknownType[QStringLiteral("type")] = QStringLiteral("read");
  QJsonObject missingKey = event(1);
  missingKey.remove(QStringLiteral("appVersion"));

  const QString path = QStringLiteral("/api/v1/analytics/batch");
  const std::vector<QByteArray> refused = {
      batch({event(1)}, false),
      batch(fiftyOne),
      batch({event(1, "2026-03-01T09:49:59Z")}),
      batch({event(1), lowerCaseId}),
      batch({unknownType}),
      batch({missingKey}),
      QByteArray("{\"consent\":true,\"events\":{}}"),
      QByteArray("[]"),
  };
  for (const QByteArray& body : refused) {
    EXPECT_EQ(harness.fetch("POST", path, body, token).statusCode, 400) << body.left(200).toStdString();
  }
  EXPECT_TRUE(service.analyticsEvents().isEmpty());
  const APIResponse accepted = harness.fetch("POST", path, batch(fifty), token);
  EXPECT_EQ(accepted.statusCode, 200);
  EXPECT_EQ(QJsonDocument::fromJson(accepted.body)[QStringLiteral("accepted")].toInt(), 50);
  ASSERT_EQ(service.analyticsEvents().size(), 50);
  EXPECT_EQ(service.analyticsEvents().last(), event(49));
}

TEST_F(ContentRoutesTest, TheSampleReleaseIsPublishedWhenBuiltIn) {
  QFile sample(PublishedContent::sampleReleaseResource);
  if (!sample.open(QIODevice::ReadOnly)) {
    GTEST_SKIP() << "this build has no sample release";
  }
  ASSERT_TRUE(service.content().current());
  EXPECT_EQ(
      get(prefixes[0] + QStringLiteral("releases/") + service.content().current()->manifest.releaseId).body,
      sample.readAll());
}
