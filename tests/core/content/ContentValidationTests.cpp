#include "ContractRefusal.h"
#include "ReleaseGenerator.h"
#include "content/ContentContracts.h"
#include "foundation/Json.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <functional>

using namespace brindlewick;

namespace {

const QString app = QStringLiteral("1.0.0");

// A small valid release: 3 books, 6 sources, 12 drops (one of each kind twice), 1 withdrawal.
GeneratedRelease small(const ReleaseShape& shape = {}) {
  ReleaseShape s = shape;
  if (s.books == 0)
    s.books = 3;
  if (s.withdrawals == 0)
    s.withdrawals = 1;
  return generateRelease(12, s);
}

// Ids of the generated small release's records, and one that names nothing in it.
QString book(int i) {
  return generatedId(1, i);
}
QString source(int i) {
  return generatedId(2, i);
}
QString drop(int i) {
  return generatedId(3, i);
}
const QString unknown = generatedId(9, 9);

// Sets `key` of element `index` of the release's `list`; an index one past the end appends a
// copy of the first element first.
void setIn(QJsonObject& release, const char* list, qsizetype index, const char* key,
           const QJsonValue& value) {
  QJsonArray array = release.value(list).toArray();
  if (index == array.size())
    array.append(array.at(0));
  QJsonObject element = array.at(index).toObject();
  element.insert(key, value);
  array.replace(index, element);
  release.insert(list, array);
}

struct Edit {
  const char* list;
  qsizetype index;
  const char* key;
  QJsonValue value;
};

QString releaseRefusal(const QJsonObject& release, bool allowDevelopment = true) {
  return contractRefusal(
      [&] { ContractValidation::decodeRelease(Json::serialize(release), allowDevelopment, app); });
}

QString manifestRefusal(const QJsonObject& manifest, const QString& appVersion = app) {
  return contractRefusal([&] { ContractValidation::decodeManifest(Json::serialize(manifest), appVersion); });
}

// The refusals of the three entry points: the manifest, the release, and the release against
// the small release's manifest.
QStringList everyRefusal(const QByteArray& manifestBody, const QByteArray& body,
                         const QString& appVersion = app) {
  const ContentManifest manifest = small().manifest;
  return {contractRefusal([&] { ContractValidation::decodeManifest(manifestBody, appVersion); }),
          contractRefusal([&] { ContractValidation::decodeRelease(body, true, appVersion); }),
          contractRefusal([&] { ContractValidation::validateRelease(body, manifest, appVersion); })};
}

// ---------------------------------------------------------------------------------------------
// The manifest.

TEST(Manifest, ChecksEachFieldWithItsMessage) {
  const QString invalidVersion = QStringLiteral("Invalid version");
  const QString invalidChecksum = QStringLiteral("Invalid SHA-256 checksum");
  const std::tuple<const char*, QJsonValue, QString> cases[] = {
      {"schemaVersion", 2, "Integer outside permitted range: schemaVersion"},
      {"minimumAppVersion", "1.2", invalidVersion},
      {"minimumAppVersion", "1.2.3.4", invalidVersion},
      {"minimumAppVersion", "v1.2.3", invalidVersion},
      {"minimumAppVersion", " 1.0.0", invalidVersion},
      {"minimumAppVersion", "01.000.0", ""},
      {"checksumSha256", QString(64, 'A'), invalidChecksum},
      {"checksumSha256", QString(63, 'a'), invalidChecksum},
      {"checksumSha256", QString(65, 'a'), invalidChecksum},
      {"byteLength", 0, "Integer outside permitted range: byteLength"},
      {"byteLength", 1, ""},
      {"byteLength", 10485760, ""},
      {"byteLength", 10485761, "Integer outside permitted range: byteLength"},
      {"loreCount", 0, ""},
      {"loreCount", 10000, ""},
      {"loreCount", 10001, "Integer outside permitted range: loreCount"},
      {"releaseId", "release-1", "Invalid UUID: releaseId"},
      {"publishedAt", "2026-03-01T08:00:00", "Invalid timestamp: publishedAt"},
      {"books", QJsonArray{}, R"(Invalid fields: missing [], unknown ["books"])"}};
  const QJsonObject valid = Json::parseObject(small().manifestBody);
  for (const auto& [key, value, message] : cases) {
    QJsonObject manifest = valid;
    manifest.insert(key, value);
    EXPECT_EQ(manifestRefusal(manifest), message) << key;
  }
}

TEST(Manifest, JsonFaultsAreNotContractErrors) {
  QJsonObject manifest = Json::parseObject(small().manifestBody);
  EXPECT_THROW(ContractValidation::decodeManifest("[]", app), JsonDecodingError);
  manifest.insert("loreCount", "12");
  EXPECT_THROW(ContractValidation::decodeManifest(Json::serialize(manifest), app), JsonDecodingError);
  // Beyond 64 bits is a JSON fault, not an out-of-range integer.
  QByteArray body = small().manifestBody;
  body.replace("\"schemaVersion\":1", "\"schemaVersion\":123456789012345678901234567890");
  EXPECT_THROW(ContractValidation::decodeManifest(body, app), JsonDecodingError);
}

// ---------------------------------------------------------------------------------------------
// The release and its cross-record rules.

TEST(Release, GeneratedReleasesDecodeAndRoundTrip) {
  for (int drops : {0, 1, 12, 300}) {
    const GeneratedRelease generated = generateRelease(drops);
    const ContentRelease release = ContractValidation::decodeRelease(generated.body, false, app);
    EXPECT_EQ(release, generated.release) << drops;
    EXPECT_EQ(release.lore.size(), drops);
    EXPECT_EQ(ContractValidation::decodeRelease(encodeRelease(release), false, app), release);
    EXPECT_EQ(ContractValidation::validateRelease(generated.body, generated.manifest, app), release);
    const ContentManifest manifest = ContractValidation::decodeManifest(generated.manifestBody, app);
    EXPECT_EQ(manifest, generated.manifest);
    EXPECT_EQ(ContractValidation::decodeManifest(Json::serialize(manifest.encode()), app), manifest);
  }
}

TEST(Release, EmptyListsPassAndCountsAreBounded) {
  QJsonObject release = Json::parseObject(small().body);
  for (const char* list : {"books", "sources", "lore", "withdrawals"})
    release.insert(list, QJsonArray{});
  EXPECT_EQ(releaseRefusal(release), QString());

  ReleaseShape shape;
  shape.books = 2000;
  shape.sources = 1;
  const GeneratedRelease most = generateRelease(0, shape);
  EXPECT_EQ(contractRefusal([&] { ContractValidation::decodeRelease(most.body, false, app); }), QString());
  QJsonObject tooMany = Json::parseObject(most.body);
  setIn(tooMany, "books", 2000, "id", unknown);
  EXPECT_EQ(releaseRefusal(tooMany), QStringLiteral("Invalid array count: books"));
  // Every element is read before the count is compared: the element's fault wins.
  setIn(tooMany, "books", 1999, "title", "");
  EXPECT_EQ(releaseRefusal(tooMany), QStringLiteral("Text must contain 1...200 UTF-16 units"));
}

TEST(Release, StrictContainerBeforeAnyField) {
  QJsonObject release = Json::parseObject(small().body);
  release.insert("loreCount", 12);
  release.insert("schemaVersion", 2);
  EXPECT_EQ(releaseRefusal(release), QStringLiteral(R"(Invalid fields: missing [], unknown ["loreCount"])"));
  release.remove("loreCount");
  EXPECT_EQ(releaseRefusal(release), QStringLiteral("Integer outside permitted range: schemaVersion"));
  release.insert("schemaVersion", 1);
  release.insert("developmentOnly", "no");
  EXPECT_THROW(ContractValidation::decodeRelease(Json::serialize(release), true, app), JsonDecodingError);
}

// In the small release, source i belongs to book i % 3 and drop i cites source i % 6; drop 5
// (a cross-book connection) cites sources 5 and 0, of books 2 and 0; withdrawal 0 names no drop.
TEST(Release, FirstBrokenCrossRecordRuleInOrder) {
  const std::pair<QList<Edit>, QString> cases[] = {
      {{{"books", 1, "id", book(0)}}, "IDs must be unique"},
      {{{"sources", 4, "id", source(2)}}, "IDs must be unique"},
      {{{"lore", 11, "id", drop(3)}}, "IDs must be unique"},
      {{{"withdrawals", 1, "reason", "Again."}}, "IDs must be unique"},
      {{{"sources", 0, "bookId", unknown}, {"books", 1, "id", book(0)}}, "IDs must be unique"},
      // A source of no book is refused even when no drop cites it.
      {{{"sources", 6, "id", generatedId(9, 1)}, {"sources", 6, "bookId", unknown}}, "Unknown source book"},
      {{{"books", 0, "id", book(0).toUpper()}}, "Unknown source book"},
      {{{"lore", 2, "bookIds", QJsonArray{unknown}}, {"lore", 2, "sourceIds", QJsonArray{unknown}}},
       "Unknown book"},
      {{{"lore", 2, "sourceIds", QJsonArray{unknown}}}, "Unknown source"},
      {{{"lore", 0, "sourceIds", QJsonArray{source(1)}}}, "Sources must cover exactly the attributed books"},
      {{{"lore", 0, "bookIds", QJsonArray{book(0), book(1)}}},
       "Sources must cover exactly the attributed books"},
      {{{"lore", 0, "sourceIds", QJsonArray{source(0), source(3)}}}, ""}, // two sources of one book
      {{{"lore", 1, "relatedLoreIds", QJsonArray{unknown}}}, "Unknown related drop"},
      // The earlier drop's fault wins.
      {{{"lore", 7, "bookIds", QJsonArray{unknown}}, {"lore", 1, "relatedLoreIds", QJsonArray{unknown}}},
       "Unknown related drop"},
      {{{"withdrawals", 0, "loreId", drop(4)}}, "Withdrawn drops cannot be delivered"}};
  const QJsonObject valid = Json::parseObject(small().body);
  for (const auto& [edits, message] : cases) {
    QJsonObject release = valid;
    for (const auto& [list, index, key, value] : edits)
      setIn(release, list, index, key, value);
    EXPECT_EQ(releaseRefusal(release), message) << edits.first().list << "[" << edits.first().index << "]";
  }
}

// ---------------------------------------------------------------------------------------------
// The body check and version compatibility.

TEST(Validation, BodyIsBoundedAndUtf8BeforeAnyParsing) {
  const QString size = QStringLiteral("Body must be between 1 byte and 10 MiB");
  const QString utf8 = QStringLiteral("Body must be UTF-8");
  const auto all = [](const QByteArray& body) { return everyRefusal(body, body); };
  EXPECT_EQ(all(QByteArray()), QStringList(3, size));
  const QByteArray tooLong(ContractValidation::maximumReleaseBytes + 1, ' ');
  EXPECT_EQ(all(tooLong), QStringList(3, size));
  for (const QByteArray& bad :
       {QByteArray("\xFF"), QByteArray("{\"a\":\"\xED\xA0\x80\"}"), QByteArray("\"\xC0\xAF\"")})
    EXPECT_EQ(all(bad), QStringList(3, utf8));
  // Exactly the limit passes the body check: the next fault is the document's own.
  QByteArray largest = "{}";
  largest.append(QByteArray(ContractValidation::maximumReleaseBytes - 2, ' '));
  EXPECT_TRUE(contractRefusal([&] {
                ContractValidation::decodeRelease(largest, true, app);
              }).startsWith("Invalid fields"));
}

TEST(Validation, HostileJsonIsAJsonErrorNeverACrash) {
  for (const QByteArray& body :
       {QByteArray("{\"schemaVersion\":1\0}", 20), QByteArray(100000, '['), QByteArray("nul"),
        QByteArray("{\"a\":1,\"a\":2}"), QByteArray("1e999999")}) {
    EXPECT_THROW(ContractValidation::decodeRelease(body, true, app), JsonDecodingError);
    EXPECT_THROW(ContractValidation::decodeManifest(body, app), JsonDecodingError);
  }
}

struct VersionCase {
  const char* minimum;
  const char* current;
  bool compatible;
};

TEST(Validation, VersionsCompareByDigitRunsOfAnyLength) {
  const VersionCase cases[] = {
      {"1.10.0", "1.9.0", false},
      {"2.0.0", "10.0.0", true},
      {"1.09.0", "1.9.0", true},
      {"1.2.3", "1.2.3", true},
      {"0.0.0", "0.0.1", true},
      {"001.0.0", "0.9.9", false},
      {"0.0.10", "0.0.9", false},
      {"123456789012345678901234567890.0.0", "123456789012345678901234567891.0.0", true},
      {"123456789012345678901234567891.0.0", "123456789012345678901234567890.0.0", false},
      {"99999999999999999999.0.0", "100000000000000000000.0.0", true},
  };
  for (const auto& [minimum, current, compatible] : cases) {
    const QString message = contractRefusal([&] { ContractRules::compatibility(minimum, current); });
    EXPECT_EQ(message, compatible ? QString() : QStringLiteral("Release requires app version ") + minimum)
        << minimum << " vs " << current;
  }
}

TEST(Validation, MalformedAppVersionFailsEveryOperation) {
  const GeneratedRelease generated = small();
  for (const char* version : {"1.2", "1.2.3-beta", "v1.2.3", " 1.2.3", "1..2.3", ""})
    EXPECT_EQ(everyRefusal(generated.manifestBody, generated.body, version),
              QStringList(3, QStringLiteral("Invalid app version")))
        << version;
  EXPECT_EQ(contractRefusal([&] { ContractValidation::decodeManifest(generated.manifestBody, "0.9.9"); }),
            QStringLiteral("Release requires app version 1.0.0"));
}

// ---------------------------------------------------------------------------------------------
// validateRelease: the order of its steps.

TEST(Validation, CompatibilityThenLengthThenDigestThenDecoding) {
  const GeneratedRelease generated = small();
  ContentManifest manifest = generated.manifest;

  manifest.minimumAppVersion = QStringLiteral("2.0.0");
  EXPECT_EQ(
      contractRefusal([&] { ContractValidation::validateRelease(generated.body + ' ', manifest, app); }),
      QStringLiteral("Release requires app version 2.0.0"));

  manifest = generated.manifest;
  EXPECT_EQ(
      contractRefusal([&] { ContractValidation::validateRelease(generated.body + ' ', manifest, app); }),
      QStringLiteral("Release byte length mismatch"));

  // Same length, other bytes, not even JSON: refused on the digest, never parsed.
  const QByteArray garbage(generated.body.size(), 'x');
  EXPECT_EQ(contractRefusal([&] { ContractValidation::validateRelease(garbage, manifest, app); }),
            QStringLiteral("Release checksum mismatch"));

  // A matching digest of a broken document: the document's own fault.
  QJsonObject broken = Json::parseObject(generated.body);
  setIn(broken, "lore", 0, "headline", "");
  const QByteArray brokenBody = Json::serialize(broken);
  EXPECT_EQ(contractRefusal([&] {
              ContractValidation::validateRelease(brokenBody, manifestFor(generated.release, brokenBody),
                                                  app);
            }),
            QStringLiteral("Text must contain 1...120 UTF-16 units"));
  const QByteArray notJson = "{\"schemaVersion\":";
  EXPECT_THROW(ContractValidation::validateRelease(notJson, manifestFor(generated.release, notJson), app),
               JsonDecodingError);
}

TEST(Validation, DevelopmentReleasesOnlyWhereAllowed) {
  ReleaseShape shape;
  shape.developmentOnly = true;
  const GeneratedRelease development = small(shape);
  const QString refused = QStringLiteral("Development fixtures cannot be used in production");
  EXPECT_EQ(contractRefusal([&] { ContractValidation::decodeRelease(development.body, false, app); }),
            refused);
  EXPECT_TRUE(ContractValidation::decodeRelease(development.body, true, app).developmentOnly);
  EXPECT_EQ(contractRefusal(
                [&] { ContractValidation::validateRelease(development.body, development.manifest, app); }),
            refused);

  // The refusal comes after the whole decoding, and before the release's own minimum.
  QJsonObject faulty = Json::parseObject(development.body);
  setIn(faulty, "withdrawals", 0, "loreId", drop(0));
  EXPECT_EQ(releaseRefusal(faulty, false), QStringLiteral("Withdrawn drops cannot be delivered"));
  shape.minimumAppVersion = QStringLiteral("3.0.0");
  const GeneratedRelease demanding = small(shape);
  EXPECT_EQ(contractRefusal([&] { ContractValidation::decodeRelease(demanding.body, false, app); }), refused);
  EXPECT_EQ(contractRefusal([&] { ContractValidation::decodeRelease(demanding.body, true, app); }),
            QStringLiteral("Release requires app version 3.0.0"));
}

TEST(Validation, ReleaseMustMatchItsManifest) {
  const GeneratedRelease generated = small();
  const QString mismatch = QStringLiteral("Release manifest metadata mismatch");
  const auto validateWith = [&](const std::function<void(ContentManifest&)>& change) {
    ContentManifest manifest = generated.manifest;
    change(manifest);
    return contractRefusal([&] { ContractValidation::validateRelease(generated.body, manifest, app); });
  };
  EXPECT_EQ(validateWith([](ContentManifest&) {}), QString());
  EXPECT_EQ(validateWith([](ContentManifest& m) { m.loreCount += 1; }), mismatch);
  EXPECT_EQ(validateWith([](ContentManifest& m) { m.loreCount -= 1; }), mismatch);
  EXPECT_EQ(validateWith([](ContentManifest& m) { m.publishedAt = QStringLiteral("2026-03-01T08:00:01Z"); }),
            mismatch);
  EXPECT_EQ(validateWith([](ContentManifest& m) { m.releaseId = generatedId(9, 7); }), mismatch);
  EXPECT_EQ(validateWith([](ContentManifest& m) { m.minimumAppVersion = QStringLiteral("0.9.0"); }),
            mismatch);
  EXPECT_EQ(validateWith([](ContentManifest& m) { m.schemaVersion = 2; }), mismatch);

  // The release's own minimum is checked at decoding, before the comparison.
  ReleaseShape shape;
  shape.minimumAppVersion = QStringLiteral("9.0.0");
  const GeneratedRelease demanding = small(shape);
  ContentManifest manifest = demanding.manifest;
  manifest.minimumAppVersion = QStringLiteral("1.0.0");
  EXPECT_EQ(contractRefusal([&] { ContractValidation::validateRelease(demanding.body, manifest, "2.0.0"); }),
            QStringLiteral("Release requires app version 9.0.0"));
}

// The fuzzer's seeds: the valid ones must stay valid, or fuzzing starts from refusals only.
TEST(Validation, FuzzSeedsStayValid) {
  const QString corpus = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../fuzz/corpus/");
  QFile releaseFile(corpus + QStringLiteral("valid-release.json"));
  QFile manifestFile(corpus + QStringLiteral("valid-manifest.json"));
  ASSERT_TRUE(releaseFile.open(QIODevice::ReadOnly));
  ASSERT_TRUE(manifestFile.open(QIODevice::ReadOnly));
  const QByteArray body = releaseFile.readAll();
  const ContentManifest manifest = ContractValidation::decodeManifest(manifestFile.readAll(), app);
  const ContentRelease release = ContractValidation::validateRelease(body, manifest, app);
  EXPECT_EQ(release.lore.size(), 3);
  EXPECT_EQ(release.sources.at(0).url, QStringLiteral("HTTPS://example.com/ab"));
  EXPECT_EQ(release.books.at(0).authors.at(1), QStringLiteral("Diana Wright"));
}

} // namespace
