#include "RequiredValue.h"
#include "StandInUpdates.h"
#include "update/UpdateFeed.h"
#include "update/UpdateSignature.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace brindlewick;

namespace {

UpdateVersion version(const char* text) {
  return requiredValue(UpdateVersion::parse(QString::fromLatin1(text)),
                       std::string("UpdateVersion::parse(\"") + text + "\")");
}

TEST(UpdateVersion, ComparesNumbersPartByPartAndRefusesAnythingElse) {
  const struct {
    const char* a;
    const char* b;
    int order; // sign of a <=> b
  } rows[] = {
      {"1.10", "1.9", 1},
      {"1.4", "1.4.0", 0},
      {"1.4.0.0", "1.4", 0},
      {"2", "1.99.99", 1},
      {"0.1.0", "0.2.0", -1},
      {"1.01", "1.1", 0},
      {"1.0.1", "1.0.0.9", 1},
      // Parts as wide as 64 bits, compared as numbers, not as text.
      {"1234567890", "999999999", 1},
      {"4294967296", "4294967295", 1},
      {"1.18446744073709551615", "1.18446744073709551614", 1},
      {"18446744073709551615", "9", 1},
      {"00000000000000000001", "1", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
    const auto order = version(row.a) <=> version(row.b);
    EXPECT_EQ(order < 0 ? -1 : order > 0 ? 1 : 0, row.order);
  }
  const struct {
    const char* text;
    const char* refusal; // what is said beyond "is not a version"
  } bad[] = {
      {"", ""},
      {"1.", ""},
      {".1", ""},
      {"1..2", ""},
      {"v1.2", ""},
      {"1.2-beta", ""},
      {" 1.2", ""},
      {"1.-2", ""},
      {"+1", ""},
      {"1,2", ""},
      {"99999999999999999999.x", ""},
      {"1.2.3.4.5.6.7.8.9", "it has more than 8 parts"},
      {"18446744073709551616", "its part 18446744073709551616 is larger than 18446744073709551615"},
      {"1.99999999999999999999999", "its part 99999999999999999999999 is larger than 18446744073709551615"},
      {"000000000000000000001", "its part 000000000000000000001 has more than 20 digits"},
  };
  for (const auto& row : bad) {
    SCOPED_TRACE(row.text);
    EXPECT_FALSE(UpdateVersion::parse(QString::fromLatin1(row.text)));
    EXPECT_EQ(UpdateVersion::refusal(QString::fromLatin1(row.text)), QString::fromLatin1(row.refusal));
  }
}

QJsonObject entry(const QString& version = "1.4.0") {
  return QJsonObject{{"version", version},
                     {"url", "https://example.org/brindlewick-" + version + "-Linux.tar.gz"},
                     {"length", 4203520},
                     {"signature", QString::fromLatin1(QByteArray(64, 's').toBase64())},
                     {"notes", "Plain-text release notes.\nSecond paragraph."},
                     {"minimumVersion", QJsonValue::Null}};
}

QByteArray feedOf(const QJsonArray& releases) {
  return QJsonDocument(QJsonObject{{"releases", releases}}).toJson();
}

TEST(UpdateFeed, ReadsEveryFieldOfAnEntry) {
  QJsonObject withMinimum = entry("2.0");
  withMinimum["minimumVersion"] = "1.5";
  const QList<UpdateRelease> releases = UpdateFeed::parse(feedOf({entry(), withMinimum}));
  ASSERT_EQ(releases.size(), 2);
  EXPECT_EQ(releases[0].version.text(), "1.4.0");
  EXPECT_EQ(releases[0].url, QUrl("https://example.org/brindlewick-1.4.0-Linux.tar.gz"));
  EXPECT_EQ(releases[0].length, 4203520);
  EXPECT_EQ(releases[0].signature, QByteArray(64, 's'));
  EXPECT_EQ(releases[0].notes, "Plain-text release notes.\nSecond paragraph.");
  EXPECT_FALSE(releases[0].minimumVersion);
  EXPECT_EQ(releases[1].minimumVersion->text(), "1.5");
}

// Every malformed feed is a clear error naming the value concerned, never a crash.
TEST(UpdateFeed, RefusesAMalformedFeedWithTheValueNamed) {
  const auto with = [](const char* key, const QJsonValue& value) {
    QJsonObject changed = entry();
    changed[QString::fromLatin1(key)] = value;
    return feedOf({changed});
  };
  QJsonObject missing = entry();
  missing.remove("notes");
  const struct {
    const char* name;
    QByteArray document;
    const char* mentions;
  } rows[] = {
      {"not JSON", "<rss/>", ""},
      {"not an object", "[]", ""},
      {"no releases", R"({"release": []})", "releases"},
      {"an extra top-level key", R"({"releases": [], "beta": true})", "releases"},
      {"releases not an array", R"({"releases": {}})", "releases"},
      {"a missing key", feedOf({missing}), "releases[0]"},
      {"an added key", with("sha256", "x"), "releases[0]"},
      {"a version that is no version", with("version", "1.4-beta"), "releases[0].version"},
      {"a version past 64 bits", with("version", "1.18446744073709551616"),
       "releases[0].version: \"1.18446744073709551616\" is not a version: its part 18446744073709551616 is "
       "larger than 18446744073709551615"},
      {"a number for a version", with("version", 14), "releases[0].version"},
      {"an http address", with("url", "http://example.org/a.tar.gz"), "releases[0].url"},
      {"an address with a user", with("url", "https://me@example.org/a.tar.gz"), "releases[0].url"},
      {"a relative address", with("url", "/a.tar.gz"), "releases[0].url"},
      {"a zero length", with("length", 0), "releases[0].length"},
      {"a fractional length", with("length", 1.5), "releases[0].length"},
      {"a short signature", with("signature", QString::fromLatin1(QByteArray(63, 's').toBase64())),
       "releases[0].signature"},
      {"a signature that is not base64", with("signature", "not base64!"), "releases[0].signature"},
      {"notes that are not text", with("notes", QJsonArray{}), "releases[0].notes"},
      {"a minimum that is no version", with("minimumVersion", "soon"), "releases[0].minimumVersion"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      UpdateFeed::parse(row.document);
      ADD_FAILURE() << "accepted";
    } catch (const UpdateFeedError& error) {
      EXPECT_TRUE(error.description().startsWith("The update feed is not a valid update feed: "))
          << error.what();
      EXPECT_TRUE(error.description().contains(QString::fromLatin1(row.mentions))) << error.what();
    }
  }
}

TEST(UpdateFeed, OffersTheNewestReleaseTheRunningVersionMayInstall) {
  const auto release = [](const char* v, const char* minimum = nullptr) {
    QJsonObject made = entry(QString::fromLatin1(v));
    if (minimum)
      made["minimumVersion"] = QString::fromLatin1(minimum);
    return made;
  };
  const struct {
    const char* name;
    QJsonArray releases;
    const char* running;
    const char* offered; // none: up to date
  } rows[] = {
      {"none newer", {release("1.3"), release("1.2")}, "1.3", nullptr},
      {"the same version written longer", {release("1.3.0")}, "1.3", nullptr},
      {"any order", {release("1.9"), release("1.10"), release("1.4")}, "1.3", "1.10"},
      {"a newest one out of reach", {release("2.0", "1.5"), release("1.6")}, "1.3", "1.6"},
      {"a minimum that is met", {release("2.0", "1.3")}, "1.3.0", "2.0"},
      {"nothing within reach", {release("2.0", "1.5")}, "1.3", nullptr},
      {"an empty feed", {}, "1.3", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto offered =
        UpdateFeed::newestOffered(UpdateFeed::parse(feedOf(row.releases)), version(row.running));
    EXPECT_EQ(offered ? offered->version.text() : QString(),
              row.offered ? QString::fromLatin1(row.offered) : QString());
  }
}

TEST(UpdateSignature, AcceptsOnlyTheSignatureOfTheseBytesUnderThisKey) {
  StandInUpdates signer;
  StandInUpdates otherSigner;
  const QByteArray key = QByteArray::fromBase64(signer.publicKey().toLatin1());
  const QByteArray bytes = QByteArray(100000, 'a') + "end";
  const QByteArray signature = signer.signature(bytes);
  QTemporaryDir folder;
  const QString path = folder.filePath("archive");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  file.close();

  EXPECT_TRUE(UpdateSignature::verify(key, signature, bytes));
  EXPECT_TRUE(UpdateSignature::verifyFile(key, signature, path));
  QByteArray flipped = bytes;
  flipped[500] = 'b';
  EXPECT_FALSE(UpdateSignature::verify(key, signature, flipped));
  EXPECT_FALSE(UpdateSignature::verify(key, signature, bytes + "x"));
  EXPECT_FALSE(UpdateSignature::verify(key, otherSigner.signature(bytes), bytes));
  EXPECT_FALSE(UpdateSignature::verify(key.left(31), signature, bytes));
  EXPECT_FALSE(UpdateSignature::verify(key, signature.left(63), bytes));
  EXPECT_FALSE(UpdateSignature::verifyFile(key, signature, folder.filePath("missing")));
}

} // namespace
