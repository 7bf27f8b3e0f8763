#include "ContractRefusal.h"
#include "ReleaseGenerator.h"
#include "content/ContentContracts.h"
#include "foundation/Json.h"

#include <QJsonArray>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

enum class Record { book, source, scores, drop, withdrawal };

// One valid record of each kind, taken from a small generated release: its first drop (a
// surprising idea with no common belief or question) cites source 0 of book 0 (whose
// publication year is null) and relates to drop 1.
const QString bookId = generatedId(1, 0);
const QString secondBookId = generatedId(1, 1);
const QString sourceId = generatedId(2, 0);
const QString dropId = generatedId(3, 0);

QJsonObject valid(Record record) {
  static const ContentRelease sample = [] {
    ReleaseShape shape;
    shape.withdrawals = 1;
    return generateRelease(4, shape).release;
  }();
  switch (record) {
  case Record::book: return sample.books[0].encode();
  case Record::source: return sample.sources[0].encode();
  case Record::scores: return sample.lore[0].scores.encode();
  case Record::drop: return sample.lore[0].encode();
  case Record::withdrawal: return sample.withdrawals[0].encode();
  }
  return {};
}

// Decodes strictly and writes the result back, so tests can look at what was stored.
QJsonObject roundTrip(Record record, const QJsonValue& value) {
  switch (record) {
  case Record::book: return Book::decode(value).encode();
  case Record::source: return Source::decode(value).encode();
  case Record::scores: return Scores::decode(value).encode();
  case Record::drop: return Drop::decode(value).encode();
  case Record::withdrawal: return Withdrawal::decode(value).encode();
  }
  return {};
}

QJsonObject with(QJsonObject object, const QString& key, const QJsonValue& value) {
  object.insert(key, value);
  return object;
}

QString refusal(Record record, const QJsonValue& value) {
  return contractRefusal([&] { roundTrip(record, value); });
}

QString textMessage(int maximum) {
  return QStringLiteral("Text must contain 1...%1 UTF-16 units").arg(maximum);
}

// ---------------------------------------------------------------------------------------------

template <typename E> QString wireValues() {
  QStringList wires;
  for (E value : allCases<E>()) {
    EXPECT_EQ(fromRawValue<E>(rawValue(value)), value);
    wires.append(rawValue(value));
  }
  return wires.join(u',');
}

TEST(ContentEnumerations, CasesWireValuesAndPalette) {
  EXPECT_EQ(wireValues<Category>(),
            QStringLiteral("psychology,science,technology,business,philosophy,history,"
                           "creativity,design,economics,productivity,society,biography"));
  EXPECT_EQ(wireValues<DropKind>(), QStringLiteral("surprising_idea,belief_vs_reality,mental_model,story,"
                                                   "question,cross_book_connection"));
  EXPECT_EQ(wireValues<SourceType>(), QStringLiteral("book,interview,essay,research,review,public_domain"));
  EXPECT_EQ(wireValues<RightsBasis>(), QStringLiteral("public_domain,permission,reference_only"));
  EXPECT_EQ(wireValues<EpistemicStatus>(),
            QStringLiteral("author_argument,research_finding,anecdote,editorial_synthesis"));
  EXPECT_EQ(palette(Category::history), (CategoryPalette{0.08, 0.55})); // indexed by case order
  EXPECT_EQ(fromRawValue<DropKind>(u" question"), std::nullopt);
}

// Wrong shapes and unknown wire values are the JSON layer's errors, naming the value's path.
TEST(ContentRecords, JsonFaultsPassThroughWithTheirPath) {
  const auto jsonFault = [](Record record, const char* key, const QJsonValue& value) -> std::string {
    try {
      roundTrip(record, with(valid(record), key, value));
    } catch (const JsonDecodingError& error) {
      return error.path().toStdString();
    }
    return "accepted";
  };
  EXPECT_EQ(jsonFault(Record::drop, "kind", "Story"), "kind");
  EXPECT_EQ(jsonFault(Record::book, "topics", QJsonArray{"science", "Psychology"}), "topics[1]");
  EXPECT_EQ(jsonFault(Record::source, "sourceType", 1), "sourceType");
  EXPECT_EQ(jsonFault(Record::drop, "scores", with(valid(Record::scores), "novelty", "3")), "scores.novelty");
  EXPECT_EQ(jsonFault(Record::drop, "revision", 1.5), "revision");
  EXPECT_EQ(jsonFault(Record::drop, "headline", QJsonValue::Null), "headline");
  EXPECT_EQ(jsonFault(Record::drop, "tags", "systems"), "tags");
  // A non-string entry fails as JSON before the count of a too-long list is looked at.
  QJsonArray authors;
  for (int i = 0; i < 21; ++i)
    authors.append(i == 20 ? QJsonValue(7) : QJsonValue("A"));
  EXPECT_EQ(jsonFault(Record::book, "authors", authors), "authors[20]");
  EXPECT_THROW(Drop::decode(QJsonArray{}), JsonDecodingError);
  try {
    Drop::decode(with(valid(Record::drop), "category", "Science"), QStringLiteral("lore[3]"));
    FAIL() << "accepted";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), QStringLiteral("lore[3].category"));
  }
}

// ---------------------------------------------------------------------------------------------
// The key-set rule.

// Both lists are sorted by code point, and the key set is checked before any field rule.
TEST(KeySet, ReportsBothListsSortedByCodePoint) {
  struct Case {
    Record record;
    QStringList removed;
    QJsonObject added; // replaces values of present keys too
    QString message;
  };
  const Case cases[] = {
      {Record::withdrawal, {}, {{"revision", 2}}, R"(Invalid fields: missing [], unknown ["revision"])"},
      {Record::book,
       {"publisher"},
       {{"id", "not a uuid"}, {"zeta", 1}},
       R"(Invalid fields: missing ["publisher"], unknown ["zeta"])"},
      {Record::withdrawal,
       {},
       {{QString::fromUtf8("\xF0\x9F\x98\x80"), 1}, {QString::fromUtf8("\xEF\xBF\xBD"), 1}, {"Z", 1}},
       QString::fromUtf8(
           "Invalid fields: missing [], unknown [\"Z\", \"\xEF\xBF\xBD\", \"\xF0\x9F\x98\x80\"]")},
      {Record::withdrawal,
       {},
       {{"a\"b", 1},
        {"c\\d", 1},
        {"e\nf", 1},
        {"it's", 1},
        {QString(QChar(0x85)), 1},
        {QString(QChar(0x1B)), 1}},
       R"(Invalid fields: missing [], unknown ["\u{1B}", "a\"b", "c\\d", "e\nf", "it\'s", "\u{85}"])"},
      {Record::withdrawal,
       {"loreId"},
       {{"loreID", dropId}},
       R"(Invalid fields: missing ["loreId"], unknown ["loreID"])"}};
  for (const auto& [record, removed, added, message] : cases) {
    QJsonObject object = valid(record);
    for (const QString& key : removed)
      object.remove(key);
    for (auto it = added.begin(); it != added.end(); ++it)
      object.insert(it.key(), it.value());
    EXPECT_EQ(refusal(record, object), message);
  }
}

// An untrusted document can carry any number of keys of any length; the message stays short:
// the 20 first keys in code-point order, then a count of the rest.
TEST(KeySet, LongListsAndLongKeysAreShortenedWithAMarker) {
  const auto key = [](int i) { return QStringLiteral("k%1").arg(i, 4, 10, QLatin1Char('0')); };
  const auto listed = [&](int count) {
    QStringList keys;
    for (int i = 0; i < count; ++i)
      keys.append(u'"' + key(i) + u'"');
    return keys.join(QStringLiteral(", "));
  };
  for (int count : {20, 21, 1000}) {
    QStringList present;
    for (int i = count - 1; i >= 0; --i)
      present.append(key(i));
    const QString more = count > 20 ? QStringLiteral(", and %1 more").arg(count - 20) : QString();
    EXPECT_EQ(ContractRules::keySetMessage({QStringLiteral("a")}, present),
              QStringLiteral("Invalid fields: missing [\"a\"], unknown [") + listed(std::min(count, 20)) +
                  more + u']');
  }

  const QString longKey(100000, QLatin1Char('x'));
  EXPECT_EQ(refusal(Record::withdrawal, with(valid(Record::withdrawal), longKey, 1)),
            QStringLiteral("Invalid fields: missing [], unknown [\"") + QString(200, QLatin1Char('x')) +
                QChar(0x2026) + QStringLiteral("\"]"));
}

// ---------------------------------------------------------------------------------------------
// Text rules.

TEST(TextRule, EachFieldsLimitPassesTrimmedAndOnePastFails) {
  const std::tuple<Record, const char*, int> fields[] = {{Record::book, "title", 200},
                                                         {Record::book, "publisher", 200},
                                                         {Record::book, "description", 2000},
                                                         {Record::source, "title", 300},
                                                         {Record::source, "locator", 500},
                                                         {Record::source, "rightsNotes", 1000},
                                                         {Record::drop, "headline", 120},
                                                         {Record::drop, "explanation", 800},
                                                         {Record::drop, "longExplanation", 5000},
                                                         {Record::drop, "whySurprising", 1200},
                                                         {Record::drop, "commonBelief", 500},
                                                         {Record::drop, "question", 500},
                                                         {Record::withdrawal, "reason", 1000}};
  for (const auto& [record, key, maximum] : fields) {
    const QString atLimit(maximum, QLatin1Char('a'));
    const QJsonObject stored =
        roundTrip(record, with(valid(record), key, QStringLiteral(" \n\t") + atLimit + u'\u3000'));
    EXPECT_EQ(stored.value(key).toString(), atLimit) << key;
    for (const QString& refused : {atLimit + u'a', QStringLiteral(" \r\n\u2028 "), QString()})
      EXPECT_EQ(refusal(record, with(valid(record), key, refused)), textMessage(maximum)) << key;
  }
}

// Exactly these 25 code points are trimmed; U+0085 and U+200B among others are kept and counted.
TEST(TextRule, TrimsExactlyTheTwentyFiveWhiteSpaceCodePoints) {
  const QList<char16_t> trimmed = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0xA0,   0x1680, 0x2000,
                                   0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009,
                                   0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0xFEFF};
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF)
      continue;
    const QString padded = QChar(c) + QStringLiteral("x") + QChar(c);
    ASSERT_EQ(ContractRules::text(padded, 3), trimmed.contains(c) ? QStringLiteral("x") : padded) << int(c);
  }
  EXPECT_EQ(ContractRules::text(QStringLiteral("\uFEFF a  b \u00A0"), 4), QStringLiteral("a  b"));
  // Lengths are UTF-16 units: 100 emoji are 200 units.
  QString emoji;
  for (int i = 0; i < 100; ++i)
    emoji += QString::fromUtf8("\xF0\x9F\x98\x80");
  EXPECT_EQ(ContractRules::text(emoji, 200), emoji);
  EXPECT_EQ(contractRefusal([&] { ContractRules::text(emoji, 199); }), textMessage(199));
}

TEST(TextRule, ListEntriesAreTrimmedAndBoundedAfterTheCount) {
  const QJsonObject book =
      roundTrip(Record::book, with(valid(Record::book), "authors", QJsonArray{" A ", QString(120, 'b')}));
  EXPECT_EQ(book.value("authors").toArray(), (QJsonArray{"A", QString(120, 'b')}));
  EXPECT_EQ(refusal(Record::book, with(valid(Record::book), "authors", QJsonArray{"A", QString(121, 'b')})),
            textMessage(120));
  EXPECT_EQ(refusal(Record::book, with(valid(Record::book), "authors", QJsonArray{"A", " "})),
            textMessage(120));
  EXPECT_EQ(refusal(Record::drop, with(valid(Record::drop), "tags", QJsonArray{QString(61, 't')})),
            textMessage(60));
  QJsonArray many;
  for (int i = 0; i < 21; ++i)
    many.append(i == 3 ? "" : "A");
  EXPECT_EQ(refusal(Record::book, with(valid(Record::book), "authors", many)),
            QStringLiteral("Invalid array count: authors"));
}

TEST(ArrayCounts, BothEndsPassOnePastFails) {
  const std::tuple<Record, const char*, int, int, const char*> counts[] = {
      {Record::book, "authors", 1, 20, "A"},       {Record::book, "topics", 1, 12, "design"},
      {Record::drop, "tags", 0, 12, "same"},       {Record::drop, "bookIds", 1, 30, nullptr},
      {Record::drop, "sourceIds", 1, 30, nullptr}, {Record::drop, "relatedLoreIds", 0, 12, nullptr}};
  for (const auto& [record, key, minimum, maximum, entry] : counts) {
    const auto refusalFor = [&](int count) {
      QJsonArray list; // `entry` repeated, or distinct UUIDs
      for (int i = 0; i < count; ++i)
        list.append(entry ? QString::fromLatin1(entry)
                          : QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0')));
      return refusal(record, with(valid(record), key, list));
    };
    const QString countMessage = QStringLiteral("Invalid array count: ") + key;
    EXPECT_EQ(refusalFor(minimum), QString()) << key;
    EXPECT_EQ(refusalFor(maximum), QString()) << key;
    EXPECT_EQ(refusalFor(maximum + 1), countMessage);
    EXPECT_EQ(refusalFor(minimum - 1), minimum > 0 ? countMessage : QString()) << key;
  }
}

// ---------------------------------------------------------------------------------------------
// Patterns: the fast matchers must agree with the regular expressions everywhere.

struct PatternSubject {
  QStringView pattern;
  bool (*fast)(QStringView);
  QStringList accepted;
  QStringList refused;
};

const QList<PatternSubject>& patternSubjects() {
  static const QList<PatternSubject> subjects = {
      {ContractRules::uuidPattern,
       ContractRules::isUuid,
       {"6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c", "6F1C2B9E-4A7D-4C1E-9B2A-0D3E5F7A9B1C",
        "6f1c2b9e-4a7d-8c1e-Bb2a-0d3e5f7a9b1c", "00000000-0000-0000-0000-000000000000",
        "ffffffff-ffff-ffff-ffff-ffffffffffff"},
       {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", "6f1c2b9e-4a7d-0c1e-9b2a-0d3e5f7a9b1c",
        "6f1c2b9e-4a7d-9c1e-9b2a-0d3e5f7a9b1c", "6f1c2b9e-4a7d-4c1e-7b2a-0d3e5f7a9b1c",
        "6f1c2b9e-4a7d-4c1e-cb2a-0d3e5f7a9b1c", "6f1c2b9e4a7d-4c1e-9b2a-0d3e5f7a9b1c0",
        "6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1", "6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c\n",
        " 6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c", "6g1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c",
        "{6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1}", ""}},
      {ContractRules::timestampPattern(),
       ContractRules::isTimestamp,
       {"2024-02-29T00:00:00Z", "2000-02-29T23:59:59.25+05:30", "0000-02-29T00:00:00Z",
        "0400-02-29T00:00:00Z", "1904-02-29T00:00:00Z", "2023-02-28T00:00:00Z", "2023-12-31T00:00:00Z",
        "2024-01-01T10:00:00.123456789Z", "2024-01-01T10:00:00-23:59", "2023-11-30T12:30:45Z"},
       {"2023-02-29T00:00:00Z",      "1900-02-29T00:00:00Z",
        "2100-02-29T00:00:00Z",      "2023-04-31T00:00:00Z",
        "2023-13-01T00:00:00Z",      "2023-00-10T00:00:00Z",
        "2023-01-00T00:00:00Z",      "2024-01-01T24:00:00Z",
        "2024-01-01T23:60:00Z",      "2024-01-01T23:59:60Z",
        "2024-01-01t10:00:00Z",      "2024-01-01T10:00:00z",
        "2024-01-01T10:00:00,5Z",    "2024-01-01T10:00:00+0100",
        "2024-01-01T10:00:00",       "2024-01-01T10:00:00.Z",
        "2024-01-01T10:00:00+24:00", "2024-01-01T10:00:00+01:60",
        "2024-01-01T10:00:00Z ",     "2024-1-01T10:00:00Z",
        "12024-01-01T10:00:00Z",     ""}},
      {ContractRules::conceptKeyPattern,
       ContractRules::isConceptKey,
       {"stocks-and-flows", "a", "2-b-3", "ab-12-c"},
       {"Stocks", "-a", "a-", "a--b", "a b", "", "a_b", "\u00e9"}}};
  return subjects;
}

// The hand-written matchers and the expressions give the expected answers.
TEST(Patterns, AcceptAndRefuseAsTheExpressionsDo) {
  for (const PatternSubject& subject : patternSubjects()) {
    for (bool expected : {true, false}) {
      for (const QString& value : expected ? subject.accepted : subject.refused) {
        EXPECT_EQ(ContractRules::matches(value, subject.pattern), expected) << value.toStdString();
        EXPECT_EQ(subject.fast(value), expected) << value.toStdString();
      }
    }
  }
}

// Random single-character mutations of valid values: any disagreement between the fast
// matcher and the expression is a fault in the matcher.
TEST(Patterns, FastMatchersAgreeWithTheExpressionsOnMutations) {
  QRandomGenerator random(20240229);
  const QString alphabet = QStringLiteral("0123456789abfABF-:.+TZtz x\u00e9");
  int checked = 0;
  for (const PatternSubject& subject : patternSubjects()) {
    for (const QString& seed : subject.accepted) {
      for (int round = 0; round < 500; ++round) {
        QString value = seed;
        for (int edit = 0, edits = 1 + random.bounded(2); edit < edits; ++edit) {
          const int at = random.bounded(int(value.size()) + 1);
          const QChar c = alphabet[random.bounded(int(alphabet.size()))];
          switch (random.bounded(3)) {
          case 0: value.insert(at, c); break;
          case 1: value.remove(at, 1); break;
          default: value.replace(at, 1, c);
          }
        }
        ASSERT_EQ(subject.fast(value), ContractRules::matches(value, subject.pattern)) << value.toStdString();
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 500 * 19);
}

struct FieldCase {
  Record record;
  const char* key;
  QJsonValue value;
  const char* message; // "" when accepted
};

TEST(FieldRules, EachValueIsAcceptedOrRefusedWithItsMessage) {
  QJsonArray thirtyOneBad;
  for (int i = 0; i < 31; ++i)
    thirtyOneBad.append("bad");
  const FieldCase cases[] = {
      {Record::withdrawal, "loreId", "x", "Invalid UUID: loreId"},
      {Record::source, "bookId", bookId.toUpper() + u' ', "Invalid UUID: bookId"},
      {Record::source, "accessedAt", "2023-02-29T00:00:00Z", "Invalid timestamp: accessedAt"},
      {Record::withdrawal, "withdrawnAt", "2024-01-01T10:00:00", "Invalid timestamp: withdrawnAt"},
      {Record::drop, "revision", 0, "Integer outside permitted range: revision"},
      {Record::drop, "revision", qint64(9007199254740991), ""},
      {Record::drop, "revision", qint64(9007199254740992), "Integer outside permitted range: revision"},
      {Record::scores, "surprise", 6, "Integer outside permitted range: surprise"},
      {Record::scores, "novelty", -1, "Integer outside permitted range: novelty"},
      {Record::scores, "conversationWorthiness", 5, ""},
      {Record::scores, "conversationWorthiness", 6,
       "Integer outside permitted range: conversationWorthiness"},
      {Record::book, "publicationYear", -3000, ""},
      {Record::book, "publicationYear", 2200, ""},
      {Record::book, "publicationYear", QJsonValue::Null, ""},
      {Record::book, "publicationYear", -3001, "Invalid publication year"},
      {Record::book, "publicationYear", 2201, "Invalid publication year"},
      {Record::drop, "conceptKey", QString(120, 'k'), ""},
      {Record::drop, "conceptKey", QString(121, 'k'), "Invalid concept key"},
      {Record::drop, "conceptKey", " a", "Invalid concept key"},
      {Record::drop, "conceptKey", "A", "Invalid concept key"},
      {Record::drop, "conceptKey", "a--b", "Invalid concept key"},
      {Record::drop, "bookIds", QJsonArray{bookId, "nope", bookId}, "Invalid reference UUID"},
      {Record::drop, "bookIds", QJsonArray{"bad", "bad"}, "Invalid reference UUID"},
      {Record::drop, "bookIds", thirtyOneBad, "Invalid array count: bookIds"},
      {Record::drop, "sourceIds", QJsonArray{sourceId, sourceId}, "IDs must be unique"},
      {Record::drop, "sourceIds", QJsonArray{sourceId, sourceId.toUpper()}, ""},
  };
  for (const auto& [record, key, value, message] : cases)
    EXPECT_EQ(refusal(record, with(valid(record), key, value)), QString::fromUtf8(message))
        << key << " = " << Json::serialize(value).left(80).toStdString();
  // Identifiers are stored as written, letter case included.
  const QJsonObject stored = roundTrip(Record::source, with(valid(Record::source), "id", sourceId.toUpper()));
  EXPECT_EQ(stored.value("id").toString(), sourceId.toUpper());
}

// ---------------------------------------------------------------------------------------------
// The link rule.

TEST(LinkRule, StoresTheCleanedLinkOrRefuses) {
  const QString scheme = QStringLiteral("Source URL must use HTTP or HTTPS");
  const QString port = QStringLiteral("Invalid source URL port");
  const std::pair<QString, QString> accepted[] = {
      {"https://example.com/a?b=c#d", "https://example.com/a?b=c#d"},
      {"HTTPS://Example.com/A", "HTTPS://Example.com/A"}, // as written
      {"http://example.com", "http://example.com"},
      {" \u00A0https://exa\nmple.com/a\tb\r\n ", "https://example.com/ab"},
      {"https://example.com:65535/", "https://example.com:65535/"},
      {"https://example.com:00080/", "https://example.com:00080/"}};
  for (const auto& [link, stored] : accepted)
    EXPECT_EQ(ContractRules::sourceURL(link), stored);
  const std::pair<QString, QString> refused[] = {
      {"ftp://example.com/", scheme},
      {"ht\ttps://example.com/", scheme}, // the scheme is checked before cleaning
      {"example.com", scheme},
      {"https://", scheme},
      {"https://:80/a", scheme},
      {"https://exa mple.com/", scheme},
      {"https://exa%20mple.com/", scheme},
      {"https://example.com:8o/", scheme},
      {"javascript://example.com/%0Aalert(1)", scheme},
      {"https://exa mple.com:65536/", scheme}, // a bad host wins over a bad port
      {"https://example.com:65536/", port},
      {"https://example.com:99999999999999999999999/", port},
      {"http://user:pw@example.com:70000", port},
      {"https://[::1]:65536/x", port}};
  for (const auto& [link, message] : refused)
    EXPECT_EQ(contractRefusal([&] { ContractRules::sourceURL(link); }), message) << link.toStdString();

  // The length is counted after cleaning.
  const QString prefix = QStringLiteral("https://example.com/");
  const QString atLimit = prefix + QString(2048 - prefix.size(), 'p');
  EXPECT_EQ(ContractRules::sourceURL(atLimit + QStringLiteral("\n\n")), atLimit);
  EXPECT_EQ(contractRefusal([&] { ContractRules::sourceURL(atLimit + u'p'); }),
            QStringLiteral("Source URL exceeds 2048 UTF-16 units"));
  EXPECT_EQ(refusal(Record::source, with(valid(Record::source), "url", "ftp://x")), scheme);
  EXPECT_EQ(refusal(Record::source, with(valid(Record::source), "url", QJsonValue::Null)), QString());
}

TEST(LinkRule, OnlyStrictWebAddressesWithAHostAndNoCredentialsOpen) {
  const char* opens[] = {"https://example.com/a?b=c#d", "HTTP://Example.com", "hTtPs://example.com:8080/x"};
  for (const char* link : opens)
    EXPECT_EQ(ContractRules::openableLink(QString::fromUtf8(link)), QUrl(QString::fromUtf8(link))) << link;
  const char* refused[] = {"",
                           "not a url",
                           "example.com/a",
                           "javascript:alert(1)",
                           "javascript://example.com/",
                           "file:///etc/passwd",
                           "mailto:a@example.com",
                           "https://",
                           "https:///path",
                           "https://user@example.com/",
                           "https://user:pw@example.com/",
                           "https://exa mple.com/",
                           "https://example.com:99999/",
                           "ftp://example.com/"};
  for (const char* link : refused)
    EXPECT_FALSE(ContractRules::openableLink(QString::fromUtf8(link))) << link;
}

// ---------------------------------------------------------------------------------------------
// Drops: joint rules and the order of checks.

TEST(DropRules, FirstFailureInOrderWins) {
  const std::pair<QList<std::pair<QString, QJsonValue>>, QString> cases[] = {
      // A drop related to itself, before the connection rule.
      {{{"kind", "cross_book_connection"}, {"relatedLoreIds", QJsonArray{dropId}}},
       "A drop cannot be related to itself"},
      {{{"kind", "cross_book_connection"}}, "Connections require at least two books"},
      {{{"kind", "cross_book_connection"}, {"bookIds", QJsonArray{bookId, secondBookId}}}, ""},
      {{{"kind", "belief_vs_reality"}}, "Belief format requires a common belief"},
      {{{"kind", "belief_vs_reality"}, {"commonBelief", "Change is instant."}}, ""},
      {{{"kind", "question"}}, "Question format requires a question"},
      // Field rules, in field order, come before the joint rules.
      {{{"kind", "belief_vs_reality"}, {"question", "   "}}, textMessage(500)},
      {{{"headline", ""}, {"id", "x"}}, "Invalid UUID: id"},
      {{{"bookIds", QJsonArray{}}, {"conceptKey", "Bad"}}, "Invalid concept key"},
      {{{"scores", QJsonObject{}}, {"question", 5}},
       R"(Invalid fields: missing ["clarity", "conversationWorthiness", "counterintuitiveness", )"
       R"("memorability", "novelty", "sourceConfidence", "surprise", "usefulness"], unknown [])"},
      {{{"relatedLoreIds", QJsonArray{dropId}}, {"commonBelief", ""}}, textMessage(500)}};
  for (const auto& [edits, message] : cases) {
    QJsonObject drop = valid(Record::drop);
    for (const auto& [key, value] : edits)
      drop.insert(key, value);
    EXPECT_EQ(refusal(Record::drop, drop), message) << Json::serialize(drop).left(120).toStdString();
  }
}

// ---------------------------------------------------------------------------------------------
// Writing and equality.

// Every key is written, an absent optional value as null, and what is written reads back equal.
TEST(ContentRecords, EncodingWritesEveryKeyAndDecodesToAnEqualRecord) {
  for (Record record : {Record::book, Record::source, Record::scores, Record::drop, Record::withdrawal}) {
    const QJsonObject once = roundTrip(record, valid(record));
    EXPECT_EQ(once, valid(record)) << int(record);
    EXPECT_EQ(roundTrip(record, Json::parse(Json::serialize(once))), once) << int(record);
  }
  const Drop drop = Drop::decode(with(with(valid(Record::drop), "kind", "question"), "question", "Why?"));
  EXPECT_EQ(Drop::decode(Json::parse(Json::serialize(drop.encode()))), drop);
  const Source source = Source::decode(with(valid(Record::source), "url", QJsonValue::Null));
  EXPECT_EQ(Source::decode(source.encode()), source);
}

TEST(ContentRecords, Equality) {
  const Drop drop = Drop::decode(valid(Record::drop));
  Drop other = drop;
  EXPECT_EQ(drop, other);
  other.revision = 2;
  EXPECT_FALSE(drop == other);
  other = drop;
  other.question = QStringLiteral("?");
  EXPECT_FALSE(drop == other);
  other = drop;
  other.scores.novelty = 1;
  EXPECT_FALSE(drop == other);
  other = drop;
  other.tags.append(QStringLiteral("more"));
  EXPECT_FALSE(drop == other);

  // Canonically equivalent text is equal text.
  Book composed = Book::decode(with(valid(Record::book), "title", QString::fromUtf8("Caf\xC3\xA9")));
  Book decomposed = Book::decode(with(valid(Record::book), "title", QString::fromUtf8("Cafe\xCC\x81")));
  EXPECT_EQ(composed, decomposed);
  decomposed.publisher = QStringLiteral("X");
  EXPECT_FALSE(composed == decomposed);

  // Identity is the id text as stored: letter case counts.
  const Source lower = Source::decode(valid(Record::source));
  const Source upper = Source::decode(with(valid(Record::source), "id", sourceId.toUpper()));
  EXPECT_FALSE(lower == upper);
}

} // namespace
