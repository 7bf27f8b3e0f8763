#include "ContentContracts.h"
#include "Json.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

#include <functional>

using namespace brindlewick;

namespace {

const QString bookId = QStringLiteral("6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c");
const QString secondBookId = QStringLiteral("0b7d4e2a-9c1f-4e3b-8a5d-6c2f1e0d9a8b");
const QString sourceId = QStringLiteral("a3e5c7b9-1d2f-4a6b-8c0e-2f4a6b8c0e1d");
const QString dropId = QStringLiteral("5d9e1f3a-7b2c-4d8e-a6f0-1b3c5d7e9f2a");
const QString otherDropId = QStringLiteral("c1d2e3f4-a5b6-4c7d-8e9f-0a1b2c3d4e5f");

QJsonObject validBook() {
  return QJsonObject{{"id", bookId},
                     {"title", "Thinking in Systems"},
                     {"authors", QJsonArray{"Donella Meadows"}},
                     {"publicationYear", 2008},
                     {"publisher", QJsonValue::Null},
                     {"description", "A primer on systems."},
                     {"topics", QJsonArray{"science", "business"}}};
}

QJsonObject validSource() {
  return QJsonObject{{"id", sourceId},
                     {"bookId", bookId},
                     {"title", "Chapter 1"},
                     {"url", "https://example.com/systems"},
                     {"locator", "p. 12"},
                     {"sourceType", "book"},
                     {"rightsBasis", "reference_only"},
                     {"rightsNotes", "Quoted briefly."},
                     {"accessedAt", "2024-02-29T10:00:00Z"}};
}

QJsonObject validScores() {
  return QJsonObject{{"surprise", 4},         {"counterintuitiveness", 3},  {"usefulness", 5},
                     {"clarity", 2},          {"memorability", 1},          {"novelty", 0},
                     {"sourceConfidence", 5}, {"conversationWorthiness", 3}};
}

QJsonObject validDrop() {
  return QJsonObject{{"id", dropId},
                     {"revision", 1},
                     {"kind", "surprising_idea"},
                     {"headline", "Stocks change only through flows"},
                     {"explanation", "A bathtub fills no faster than its tap."},
                     {"longExplanation", "Longer text."},
                     {"whySurprising", "We expect instant change."},
                     {"category", "science"},
                     {"tags", QJsonArray{"systems"}},
                     {"conceptKey", "stocks-and-flows-2"},
                     {"bookIds", QJsonArray{bookId}},
                     {"sourceIds", QJsonArray{sourceId}},
                     {"relatedLoreIds", QJsonArray{otherDropId}},
                     {"epistemicStatus", "author_argument"},
                     {"scores", validScores()},
                     {"commonBelief", QJsonValue::Null},
                     {"question", QJsonValue::Null}};
}

QJsonObject validWithdrawal() {
  return QJsonObject{
      {"loreId", dropId}, {"reason", "Superseded."}, {"withdrawnAt", "2025-01-02T03:04:05.5+01:00"}};
}

enum class Record { book, source, scores, drop, withdrawal };

QJsonObject valid(Record record) {
  switch (record) {
  case Record::book: return validBook();
  case Record::source: return validSource();
  case Record::scores: return validScores();
  case Record::drop: return validDrop();
  case Record::withdrawal: return validWithdrawal();
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

// The ContractValidationError message of the call, or "" when it succeeds. Any other
// exception escapes and fails the test.
QString refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const ContractValidationError& error) {
    return error.message();
  }
  return {};
}

QString refusal(Record record, const QJsonValue& value) {
  return refusal([&] { roundTrip(record, value); });
}

QString textMessage(int maximum) {
  return QStringLiteral("Text must contain 1...%1 UTF-16 units").arg(maximum);
}

// ---------------------------------------------------------------------------------------------

TEST(ContractValidationError, ComparesByMessageAndDescribesItself) {
  const ContractValidationError a(QStringLiteral("IDs must be unique"));
  EXPECT_EQ(a, ContractValidationError(QStringLiteral("IDs must be unique")));
  EXPECT_FALSE(a == ContractValidationError(QStringLiteral("Unknown book")));
  EXPECT_STREQ(a.what(), "IDs must be unique");
}

TEST(ContentEnumerations, CasesWireValuesAndPalette) {
  const auto categories = allCases<Category>();
  QStringList wires;
  for (Category category : categories)
    wires.append(rawValue(category));
  EXPECT_EQ(wires.join(u','), QStringLiteral("psychology,science,technology,business,philosophy,history,"
                                             "creativity,design,economics,productivity,society,biography"));
  EXPECT_EQ(palette(Category::history), (CategoryPalette{0.08, 0.55}));
  EXPECT_EQ(palette(Category::biography), (CategoryPalette{0.93, 0.85}));
  EXPECT_EQ(palette(Category::psychology), (CategoryPalette{0.72, 0.9}));

  EXPECT_EQ(rawValue(DropKind::crossBookConnection), QStringLiteral("cross_book_connection"));
  EXPECT_EQ(rawValue(SourceType::publicDomain), QStringLiteral("public_domain"));
  EXPECT_EQ(rawValue(RightsBasis::referenceOnly), QStringLiteral("reference_only"));
  EXPECT_EQ(rawValue(EpistemicStatus::editorialSynthesis), QStringLiteral("editorial_synthesis"));
  for (auto kind : allCases<DropKind>())
    EXPECT_EQ(fromRawValue<DropKind>(rawValue(kind)), kind);
  EXPECT_EQ(fromRawValue<DropKind>(u"question"), DropKind::question);
  EXPECT_EQ(fromRawValue<DropKind>(u" question"), std::nullopt);
  EXPECT_EQ(fromRawValue<DropKind>(u"cross-book-connection"), std::nullopt);
  EXPECT_EQ(fromRawValue<Category>(u"Psychology"), std::nullopt);
  EXPECT_EQ(allCases<RightsBasis>().size(), 3u);
  const QSet<Category> topics{Category::design, Category::science, Category::design};
  EXPECT_EQ(topics.size(), 2);
  EXPECT_TRUE(topics.contains(Category::science));
  EXPECT_EQ(allCases<EpistemicStatus>().back(), EpistemicStatus::editorialSynthesis);
}

TEST(ContentEnumerations, UnknownWireValueIsAJsonError) {
  EXPECT_THROW(Drop::decode(with(validDrop(), "kind", "Story")), JsonDecodingError);
  EXPECT_THROW(Drop::decode(with(validDrop(), "kind", "belief-vs-reality")), JsonDecodingError);
  EXPECT_THROW(Book::decode(with(validBook(), "topics", QJsonArray{"Psychology"})), JsonDecodingError);
  EXPECT_THROW(Source::decode(with(validSource(), "sourceType", 1)), JsonDecodingError);
  try {
    Drop::decode(with(validDrop(), "category", "Science"), QStringLiteral("lore[3]"));
    FAIL() << "accepted";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), QStringLiteral("lore[3].category"));
  }
}

TEST(ContentRecords, JsonTypeErrorsPassThroughWithTheirPath) {
  QJsonObject scores = validScores();
  scores.insert("novelty", "3");
  try {
    Drop::decode(with(validDrop(), "scores", scores), QStringLiteral("lore[7]"));
    FAIL() << "accepted";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), QStringLiteral("lore[7].scores.novelty"));
  }
  EXPECT_THROW(Drop::decode(with(validDrop(), "revision", 1.5)), JsonDecodingError);
  EXPECT_THROW(Drop::decode(with(validDrop(), "headline", QJsonValue::Null)), JsonDecodingError);
  EXPECT_THROW(Drop::decode(with(validDrop(), "tags", "systems")), JsonDecodingError);
  EXPECT_THROW(Drop::decode(QJsonArray{}), JsonDecodingError);
  // A non-string entry fails as JSON before the count of a too-long list is looked at.
  QJsonArray authors;
  for (int i = 0; i < 21; ++i)
    authors.append(i == 20 ? QJsonValue(7) : QJsonValue("A"));
  EXPECT_THROW(Book::decode(with(validBook(), "authors", authors)), JsonDecodingError);
}

// ---------------------------------------------------------------------------------------------
// The key-set rule.

struct KeySetCase {
  const char* name;
  Record record;
  std::function<QJsonObject(QJsonObject)> change;
  QString message;
};

class KeySet : public testing::TestWithParam<KeySetCase> {};

TEST_P(KeySet, ReportsBothListsSortedByCodePoint) {
  EXPECT_EQ(refusal(GetParam().record, GetParam().change(valid(GetParam().record))), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    ContentRecords, KeySet,
    testing::Values(
        KeySetCase{"ExtraKeyOnly", Record::withdrawal, [](QJsonObject o) { return with(o, "revision", 2); },
                   R"(Invalid fields: missing [], unknown ["revision"])"},
        KeySetCase{"MissingAndExtraBeforeAnyFieldRule", Record::book,
                   [](QJsonObject o) {
                     o.remove("publisher");
                     o.insert("id", "not a uuid");
                     return with(o, "zeta", 1);
                   },
                   R"(Invalid fields: missing ["publisher"], unknown ["zeta"])"},
        KeySetCase{"EverythingMissing", Record::scores, [](QJsonObject) { return QJsonObject(); },
                   R"(Invalid fields: missing ["clarity", "conversationWorthiness", "counterintuitiveness", )"
                   R"("memorability", "novelty", "sourceConfidence", "surprise", "usefulness"], unknown [])"},
        KeySetCase{"CodePointOrderAboveTheBasicPlane", Record::withdrawal,
                   [](QJsonObject o) {
                     o.insert(QString::fromUtf8("\xF0\x9F\x98\x80"), 1); // U+1F600
                     o.insert(QString::fromUtf8("\xEF\xBF\xBD"), 1);     // U+FFFD
                     return with(o, "Z", 1);
                   },
                   QString::fromUtf8("Invalid fields: missing [], unknown [\"Z\", \"\xEF\xBF\xBD\", "
                                     "\"\xF0\x9F\x98\x80\"]")},
        KeySetCase{"EscapesInsideKeys", Record::withdrawal,
                   [](QJsonObject o) {
                     o.insert("a\"b", 1);
                     o.insert("c\\d", 1);
                     o.insert("e\nf", 1);
                     return with(o, QString(QChar(0x1B)), 1);
                   },
                   R"(Invalid fields: missing [], unknown ["\u{1b}", "a\"b", "c\\d", "e\nf"])"},
        KeySetCase{"NestedScoresAtTheirTurn", Record::drop,
                   [](QJsonObject o) {
                     QJsonObject scores = validScores();
                     scores.remove("clarity");
                     o.insert("scores", scores);
                     return with(o, "question", 5); // a later field's fault is never reached
                   },
                   R"(Invalid fields: missing ["clarity"], unknown [])"},
        KeySetCase{"CaseOfAKeyMatters", Record::withdrawal,
                   [](QJsonObject o) {
                     o.remove("loreId");
                     return with(o, "loreID", dropId);
                   },
                   R"(Invalid fields: missing ["loreId"], unknown ["loreID"])"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeySet, NullCountsAsPresentAndAnOmittedOptionalFails) {
  EXPECT_EQ(refusal(Record::book, validBook()), QString());
  QJsonObject book = validBook();
  book.remove("publisher");
  EXPECT_EQ(refusal(Record::book, book),
            QStringLiteral(R"(Invalid fields: missing ["publisher"], unknown [])"));
}

// An untrusted document can carry any number of keys of any length; the message stays short.
TEST(KeySet, LongListsAndLongKeysAreShortenedWithAMarker) {
  QJsonObject withdrawal = validWithdrawal();
  for (int i = 0; i < 1000; ++i)
    withdrawal.insert(QStringLiteral("k%1").arg(i, 4, 10, QLatin1Char('0')), i);
  QString expected = QStringLiteral("Invalid fields: missing [], unknown [");
  for (int i = 0; i < 20; ++i)
    expected += QStringLiteral("%1\"k%2\"").arg(i ? ", " : "").arg(i, 4, 10, QLatin1Char('0'));
  expected += QStringLiteral(", and 980 more]");
  EXPECT_EQ(refusal(Record::withdrawal, withdrawal), expected);

  const QString longKey(100000, QLatin1Char('x'));
  const QString message = refusal(Record::withdrawal, with(validWithdrawal(), longKey, 1));
  EXPECT_EQ(message, QStringLiteral("Invalid fields: missing [], unknown [\"") +
                         QString(200, QLatin1Char('x')) + QChar(0x2026) + QStringLiteral("\"]"));
}

// ---------------------------------------------------------------------------------------------
// Text rules.

struct TextField {
  Record record;
  const char* key;
  int maximum;
};

class TextBounds : public testing::TestWithParam<TextField> {};

TEST_P(TextBounds, LimitPassesTrimmedOnePastFails) {
  const auto [record, key, maximum] = GetParam();
  const QString atLimit(maximum, QLatin1Char('a'));
  const QJsonObject stored =
      roundTrip(record, with(valid(record), key, QStringLiteral(" \n\t") + atLimit + u'\u3000'));
  EXPECT_EQ(stored.value(key).toString(), atLimit);
  EXPECT_EQ(refusal(record, with(valid(record), key, atLimit + u'a')), textMessage(maximum)) << key;
  EXPECT_EQ(refusal(record, with(valid(record), key, QStringLiteral(" \r\n\u2028 "))), textMessage(maximum))
      << key;
  EXPECT_EQ(refusal(record, with(valid(record), key, QString())), textMessage(maximum)) << key;
}

INSTANTIATE_TEST_SUITE_P(
    ContentRecords, TextBounds,
    testing::Values(TextField{Record::book, "title", 200}, TextField{Record::book, "publisher", 200},
                    TextField{Record::book, "description", 2000}, TextField{Record::source, "title", 300},
                    TextField{Record::source, "locator", 500}, TextField{Record::source, "rightsNotes", 1000},
                    TextField{Record::drop, "headline", 120}, TextField{Record::drop, "explanation", 800},
                    TextField{Record::drop, "longExplanation", 5000},
                    TextField{Record::drop, "whySurprising", 1200},
                    TextField{Record::drop, "commonBelief", 500}, TextField{Record::drop, "question", 500},
                    TextField{Record::withdrawal, "reason", 1000}),
    [](const auto& info) {
      return std::string(info.param.key) + "Of" + std::to_string(int(info.param.record));
    });

TEST(TextRule, TrimsExactlyTheTwentyFiveWhiteSpaceCodePoints) {
  ASSERT_EQ(ContractRules::whitespace().size(), 25u);
  for (char16_t c : ContractRules::whitespace())
    EXPECT_EQ(ContractRules::text(QString(QChar(c)) + QLatin1Char('x') + QChar(c), 1), QStringLiteral("x"))
        << int(c);
  // Not white space here, though some libraries think so or not: kept and counted.
  for (char16_t kept : {u'\u0085', u'\u200B', u'\u180E', u'\u001C', u'\u00AD'}) {
    const QString value = QStringLiteral("x") + QChar(kept);
    EXPECT_EQ(ContractRules::text(value, 2), value) << int(kept);
    EXPECT_EQ(refusal([&] { ContractRules::text(value, 1); }), textMessage(1)) << int(kept);
  }
  EXPECT_EQ(ContractRules::text(QStringLiteral("\uFEFF a  b \u00A0"), 4), QStringLiteral("a  b"));
  // Lengths are UTF-16 units: 100 emoji are 200 units.
  QString emoji;
  for (int i = 0; i < 100; ++i)
    emoji += QString::fromUtf8("\xF0\x9F\x98\x80");
  EXPECT_EQ(ContractRules::text(emoji, 200), emoji);
  EXPECT_EQ(refusal([&] { ContractRules::text(emoji, 199); }), textMessage(199));
}

TEST(TextRule, ListEntriesAreTrimmedAndBoundedAfterTheCount) {
  const QJsonObject book =
      roundTrip(Record::book, with(validBook(), "authors", QJsonArray{" A ", QString(120, 'b')}));
  EXPECT_EQ(book.value("authors").toArray(), (QJsonArray{"A", QString(120, 'b')}));
  EXPECT_EQ(refusal(Record::book, with(validBook(), "authors", QJsonArray{"A", QString(121, 'b')})),
            textMessage(120));
  EXPECT_EQ(refusal(Record::book, with(validBook(), "authors", QJsonArray{"A", " "})), textMessage(120));
  QJsonArray many;
  for (int i = 0; i < 21; ++i)
    many.append(i == 3 ? "" : "A");
  EXPECT_EQ(refusal(Record::book, with(validBook(), "authors", many)),
            QStringLiteral("Invalid array count: authors"));
  EXPECT_EQ(refusal(Record::book, with(validBook(), "authors", QJsonArray{})),
            QStringLiteral("Invalid array count: authors"));
  many.removeAt(3);
  EXPECT_EQ(refusal(Record::book, with(validBook(), "authors", many)), QString());

  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "tags", QJsonArray{})), QString());
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "tags", QJsonArray{QString(61, 't')})), textMessage(60));
  QJsonArray tags;
  for (int i = 0; i < 13; ++i)
    tags.append("same");
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "tags", tags)),
            QStringLiteral("Invalid array count: tags"));
  tags.removeLast();
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "tags", tags)), QString()); // repeats allowed
}

// ---------------------------------------------------------------------------------------------
// Patterns: the fast matchers must agree with the regular expressions everywhere.

struct PatternCase {
  const char* text;
  bool valid;
};

void checkPattern(QStringView pattern, bool (*fast)(QStringView), std::initializer_list<PatternCase> cases) {
  for (const auto& [text, expected] : cases) {
    const QString value = QString::fromUtf8(text);
    EXPECT_EQ(ContractRules::matches(value, pattern), expected) << text;
    EXPECT_EQ(fast(value), expected) << text;
  }
}

TEST(Patterns, Uuid) {
  checkPattern(ContractRules::uuidPattern, ContractRules::isUuid,
               {{"6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c", true},
                {"6F1C2B9E-4A7D-4C1E-9B2A-0D3E5F7A9B1C", true},
                {"6f1c2b9e-4a7d-8c1e-Bb2a-0d3e5f7a9b1c", true},
                {"00000000-0000-0000-0000-000000000000", true},
                {"ffffffff-ffff-ffff-ffff-ffffffffffff", true},
                {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", false},
                {"6f1c2b9e-4a7d-0c1e-9b2a-0d3e5f7a9b1c", false},
                {"6f1c2b9e-4a7d-9c1e-9b2a-0d3e5f7a9b1c", false},
                {"6f1c2b9e-4a7d-4c1e-7b2a-0d3e5f7a9b1c", false},
                {"6f1c2b9e-4a7d-4c1e-cb2a-0d3e5f7a9b1c", false},
                {"6f1c2b9e4a7d-4c1e-9b2a-0d3e5f7a9b1c0", false},
                {"6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1", false},
                {"6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c\n", false},
                {" 6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c", false},
                {"6g1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c", false},
                {"{6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1}", false},
                {"", false}});
}

TEST(Patterns, Timestamp) {
  checkPattern(ContractRules::timestampPattern(), ContractRules::isTimestamp,
               {{"2024-02-29T00:00:00Z", true},
                {"2000-02-29T23:59:59Z", true},
                {"2023-02-29T00:00:00Z", false},
                {"1900-02-29T00:00:00Z", false},
                {"0000-02-29T00:00:00Z", true},
                {"0400-02-29T00:00:00Z", true},
                {"1996-02-29T00:00:00Z", true},
                {"2100-02-29T00:00:00Z", false},
                {"2023-02-28T00:00:00Z", true},
                {"2023-04-31T00:00:00Z", false},
                {"2023-12-31T00:00:00Z", true},
                {"2023-13-01T00:00:00Z", false},
                {"2023-00-10T00:00:00Z", false},
                {"2023-01-00T00:00:00Z", false},
                {"2024-01-01T24:00:00Z", false},
                {"2024-01-01T23:60:00Z", false},
                {"2024-01-01T23:59:60Z", false},
                {"2024-01-01t10:00:00Z", false},
                {"2024-01-01T10:00:00z", false},
                {"2024-01-01T10:00:00,5Z", false},
                {"2024-01-01T10:00:00+0100", false},
                {"2024-01-01T10:00:00", false},
                {"2024-01-01T10:00:00.123456789Z", true},
                {"2024-01-01T10:00:00.Z", false},
                {"2024-01-01T10:00:00-23:59", true},
                {"2024-01-01T10:00:00+24:00", false},
                {"2024-01-01T10:00:00+01:60", false},
                {"2024-01-01T10:00:00Z ", false},
                {"2024-1-01T10:00:00Z", false},
                {"12024-01-01T10:00:00Z", false},
                {"", false}});
}

TEST(Patterns, ConceptKey) {
  checkPattern(ContractRules::conceptKeyPattern, ContractRules::isConceptKey,
               {{"stocks-and-flows", true},
                {"a", true},
                {"2-b-3", true},
                {"Stocks", false},
                {"-a", false},
                {"a-", false},
                {"a--b", false},
                {"a b", false},
                {"", false},
                {"a_b", false},
                {"\xC3\xA9", false}});
}

// Random single-character mutations of valid values: any disagreement between the fast
// matcher and the expression is a fault in the matcher.
TEST(Patterns, FastMatchersAgreeWithTheExpressionsOnMutations) {
  QRandomGenerator random(20240229);
  const QString alphabet = QStringLiteral("0123456789abfABF-:.+TZtz x\u00e9");
  struct Subject {
    QStringView pattern;
    bool (*fast)(QStringView);
    QStringList seeds;
  };
  const Subject subjects[] = {
      {ContractRules::uuidPattern,
       ContractRules::isUuid,
       {bookId, QStringLiteral("00000000-0000-0000-0000-000000000000"),
        QStringLiteral("ffffffff-ffff-ffff-ffff-ffffffffffff")}},
      {ContractRules::timestampPattern(),
       ContractRules::isTimestamp,
       {QStringLiteral("2000-02-29T23:59:59.25+05:30"), QStringLiteral("1904-02-29T00:00:00Z"),
        QStringLiteral("2023-11-30T12:30:45Z")}},
      {ContractRules::conceptKeyPattern, ContractRules::isConceptKey, {QStringLiteral("ab-12-c")}}};
  int checked = 0;
  for (const auto& subject : subjects) {
    for (const QString& seed : subject.seeds) {
      for (int round = 0; round < 1500; ++round) {
        QString value = seed;
        const int edits = 1 + random.bounded(2);
        for (int e = 0; e < edits; ++e) {
          const int at = random.bounded(int(value.size()) + 1);
          const QChar c = alphabet[random.bounded(int(alphabet.size()))];
          switch (random.bounded(3)) {
          case 0: value.insert(at, c); break;
          case 1:
            if (at < value.size())
              value.remove(at, 1);
            break;
          default:
            if (at < value.size())
              value[at] = c;
          }
        }
        ASSERT_EQ(subject.fast(value), ContractRules::matches(value, subject.pattern)) << value.toStdString();
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 1500 * 7);
}

TEST(FieldRules, UuidAndTimestampFieldsNameTheirKeyAndKeepTheText) {
  EXPECT_EQ(refusal(Record::withdrawal, with(validWithdrawal(), "loreId", "x")),
            QStringLiteral("Invalid UUID: loreId"));
  EXPECT_EQ(refusal(Record::source, with(validSource(), "bookId", bookId.toUpper() + u' ')),
            QStringLiteral("Invalid UUID: bookId"));
  EXPECT_EQ(refusal(Record::source, with(validSource(), "accessedAt", "2023-02-29T00:00:00Z")),
            QStringLiteral("Invalid timestamp: accessedAt"));
  EXPECT_EQ(refusal(Record::withdrawal, with(validWithdrawal(), "withdrawnAt", "2024-01-01T10:00:00")),
            QStringLiteral("Invalid timestamp: withdrawnAt"));
  const QJsonObject stored = roundTrip(Record::source, with(validSource(), "id", sourceId.toUpper()));
  EXPECT_EQ(stored.value("id").toString(), sourceId.toUpper());
}

TEST(FieldRules, IntegerRanges) {
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "revision", 0)),
            QStringLiteral("Integer outside permitted range: revision"));
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "revision", qint64(9007199254740991))), QString());
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "revision", qint64(9007199254740992))),
            QStringLiteral("Integer outside permitted range: revision"));
  for (const char* key : {"surprise", "novelty", "conversationWorthiness"}) {
    EXPECT_EQ(refusal(Record::scores, with(validScores(), key, 6)),
              QStringLiteral("Integer outside permitted range: ") + key);
    EXPECT_EQ(refusal(Record::scores, with(validScores(), key, -1)),
              QStringLiteral("Integer outside permitted range: ") + key);
    EXPECT_EQ(refusal(Record::scores, with(validScores(), key, 5)), QString());
  }
  for (int year : {-3000, 2200})
    EXPECT_EQ(refusal(Record::book, with(validBook(), "publicationYear", year)), QString()) << year;
  for (int year : {-3001, 2201})
    EXPECT_EQ(refusal(Record::book, with(validBook(), "publicationYear", year)),
              QStringLiteral("Invalid publication year"));
  EXPECT_EQ(refusal(Record::book, with(validBook(), "publicationYear", QJsonValue::Null)), QString());
}

TEST(FieldRules, TopicsCountAndRepeats) {
  EXPECT_EQ(refusal(Record::book, with(validBook(), "topics", QJsonArray{})),
            QStringLiteral("Invalid array count: topics"));
  QJsonArray topics;
  for (int i = 0; i < 12; ++i)
    topics.append("design");
  EXPECT_EQ(refusal(Record::book, with(validBook(), "topics", topics)), QString());
  topics.append("design");
  EXPECT_EQ(refusal(Record::book, with(validBook(), "topics", topics)),
            QStringLiteral("Invalid array count: topics"));
}

TEST(FieldRules, ReferenceLists) {
  const auto drop = [](const char* key, const QJsonArray& ids) {
    return refusal(Record::drop, with(validDrop(), key, ids));
  };
  EXPECT_EQ(drop("bookIds", {}), QStringLiteral("Invalid array count: bookIds"));
  EXPECT_EQ(drop("sourceIds", {}), QStringLiteral("Invalid array count: sourceIds"));
  EXPECT_EQ(drop("relatedLoreIds", {}), QString());
  QJsonArray thirteen;
  for (int i = 0; i < 13; ++i)
    thirteen.append(QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0')));
  EXPECT_EQ(drop("relatedLoreIds", thirteen), QStringLiteral("Invalid array count: relatedLoreIds"));
  thirteen.removeLast();
  EXPECT_EQ(drop("relatedLoreIds", thirteen), QString());
  EXPECT_EQ(drop("bookIds", {bookId, "nope", bookId}), QStringLiteral("Invalid reference UUID"));
  EXPECT_EQ(drop("sourceIds", {sourceId, sourceId}), QStringLiteral("IDs must be unique"));
  EXPECT_EQ(drop("sourceIds", {sourceId, sourceId.toUpper()}), QString());
  QJsonArray thirtyOne;
  for (int i = 0; i < 31; ++i)
    thirtyOne.append("bad");
  EXPECT_EQ(drop("bookIds", thirtyOne), QStringLiteral("Invalid array count: bookIds"));
}

TEST(FieldRules, ConceptKeyIsNeitherTrimmedNorLong) {
  EXPECT_EQ(refusal(Record::drop, with(validDrop(), "conceptKey", QString(120, 'k'))), QString());
  for (const QString& key :
       {QString(121, 'k'), QStringLiteral(" a"), QStringLiteral("A"), QStringLiteral("a--b")})
    EXPECT_EQ(refusal(Record::drop, with(validDrop(), "conceptKey", key)),
              QStringLiteral("Invalid concept key"))
        << key.toStdString();
}

// ---------------------------------------------------------------------------------------------
// The link rule.

struct LinkCase {
  const char* name;
  QString link;
  QString result; // the stored link, or the message
  bool accepted;
};

class LinkRule : public testing::TestWithParam<LinkCase> {};

TEST_P(LinkRule, StoresTheCleanedLinkOrRefuses) {
  const auto& c = GetParam();
  if (c.accepted) {
    EXPECT_EQ(ContractRules::sourceURL(c.link), c.result);
  } else {
    EXPECT_EQ(refusal([&] { ContractRules::sourceURL(c.link); }), c.result);
  }
}

const QString scheme = QStringLiteral("Source URL must use HTTP or HTTPS");
const QString port = QStringLiteral("Invalid source URL port");

INSTANTIATE_TEST_SUITE_P(
    ContentRecords, LinkRule,
    testing::Values(
        LinkCase{"Plain", "https://example.com/a?b=c#d", "https://example.com/a?b=c#d", true},
        LinkCase{"UpperCaseSchemeKeptAsWritten", "HTTPS://Example.com/A", "HTTPS://Example.com/A", true},
        LinkCase{"Http", "http://example.com", "http://example.com", true},
        LinkCase{"TrimmedAndCleaned", " \u00A0https://exa\nmple.com/a\tb\r\n ", "https://example.com/ab",
                 true},
        LinkCase{"LargestPort", "https://example.com:65535/", "https://example.com:65535/", true},
        LinkCase{"PortWithLeadingZeros", "https://example.com:00080/", "https://example.com:00080/", true},
        LinkCase{"Ftp", "ftp://example.com/", scheme, false},
        LinkCase{"NoScheme", "example.com", scheme, false}, LinkCase{"SchemeOnly", "https://", scheme, false},
        LinkCase{"EmptyHostWithPort", "https://:80/a", scheme, false},
        LinkCase{"SpaceInHost", "https://exa mple.com/", scheme, false},
        LinkCase{"EncodedSpaceInHost", "https://exa%20mple.com/", scheme, false},
        LinkCase{"LettersInPort", "https://example.com:8o/", scheme, false},
        LinkCase{"JavascriptDressedUp", "javascript://example.com/%0Aalert(1)", scheme, false},
        LinkCase{"PortAboveRange", "https://example.com:65536/", port, false},
        LinkCase{"HugePort", "https://example.com:99999999999999999999999/", port, false},
        LinkCase{"PortAboveRangeAfterUserInfo", "http://user:pw@example.com:70000", port, false},
        LinkCase{"PortAboveRangeOnAddress", "https://[::1]:65536/x", port, false},
        LinkCase{"BadHostWinsOverBadPort", "https://exa mple.com:65536/", scheme, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkRule, LengthIsCountedAfterCleaning) {
  const QString prefix = QStringLiteral("https://example.com/");
  const QString atLimit = prefix + QString(2048 - prefix.size(), 'p');
  EXPECT_EQ(ContractRules::sourceURL(atLimit + QStringLiteral("\n\n")), atLimit);
  EXPECT_EQ(refusal([&] { ContractRules::sourceURL(atLimit + u'p'); }),
            QStringLiteral("Source URL exceeds 2048 UTF-16 units"));
  EXPECT_EQ(refusal(Record::source, with(validSource(), "url", "ftp://x")), scheme);
  EXPECT_EQ(refusal(Record::source, with(validSource(), "url", QJsonValue::Null)), QString());
}

// ---------------------------------------------------------------------------------------------
// Drops: joint rules and the order of checks.

struct DropCase {
  const char* name;
  std::function<QJsonObject(QJsonObject)> change;
  QString message;
};

class DropRules : public testing::TestWithParam<DropCase> {};

TEST_P(DropRules, FirstFailureInOrderWins) {
  EXPECT_EQ(refusal(Record::drop, GetParam().change(validDrop())), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    ContentRecords, DropRules,
    testing::Values(DropCase{"SelfRelatedBeforeConnectionRule",
                             [](QJsonObject o) {
                               o.insert("kind", "cross_book_connection");
                               return with(o, "relatedLoreIds", QJsonArray{dropId});
                             },
                             "A drop cannot be related to itself"},
                    DropCase{"ConnectionNeedsTwoBooks",
                             [](QJsonObject o) { return with(o, "kind", "cross_book_connection"); },
                             "Connections require at least two books"},
                    DropCase{"ConnectionWithTwoBooks",
                             [](QJsonObject o) {
                               o.insert("kind", "cross_book_connection");
                               return with(o, "bookIds", QJsonArray{bookId, secondBookId});
                             },
                             ""},
                    DropCase{"BeliefNeedsCommonBelief",
                             [](QJsonObject o) { return with(o, "kind", "belief_vs_reality"); },
                             "Belief format requires a common belief"},
                    DropCase{"BeliefWithCommonBelief",
                             [](QJsonObject o) {
                               o.insert("kind", "belief_vs_reality");
                               return with(o, "commonBelief", "Change is instant.");
                             },
                             ""},
                    DropCase{"QuestionNeedsQuestion",
                             [](QJsonObject o) { return with(o, "kind", "question"); },
                             "Question format requires a question"},
                    DropCase{"BeliefRuleBeforeQuestionRuleIsMootButFieldsComeFirst",
                             [](QJsonObject o) {
                               o.insert("kind", "belief_vs_reality");
                               return with(o, "question", "   ");
                             },
                             textMessage(500)},
                    DropCase{"FieldOrderIdBeforeHeadline",
                             [](QJsonObject o) {
                               o.insert("headline", "");
                               return with(o, "id", "x");
                             },
                             "Invalid UUID: id"},
                    DropCase{"FieldOrderConceptKeyBeforeBookIds",
                             [](QJsonObject o) {
                               o.insert("bookIds", QJsonArray{});
                               return with(o, "conceptKey", "Bad");
                             },
                             "Invalid concept key"},
                    DropCase{"FieldRulesBeforeJointRules",
                             [](QJsonObject o) {
                               o.insert("relatedLoreIds", QJsonArray{dropId});
                               return with(o, "commonBelief", "");
                             },
                             textMessage(500)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Writing and equality.

TEST(ContentRecords, EncodingWritesEveryKeyAndDecodesToAnEqualRecord) {
  const Book book = Book::decode(validBook());
  const QJsonObject written = Json::parseObject(Json::serialize(book.encode()));
  ASSERT_TRUE(written.contains("publisher"));
  EXPECT_TRUE(written.value("publisher").isNull());
  EXPECT_EQ(Book::decode(written), book);
  EXPECT_EQ(written, validBook());

  for (Record record : {Record::source, Record::scores, Record::drop, Record::withdrawal}) {
    const QJsonObject once = roundTrip(record, valid(record));
    EXPECT_EQ(once, valid(record)) << int(record);
    EXPECT_EQ(roundTrip(record, Json::parse(Json::serialize(once))), once) << int(record);
  }
  Drop drop = Drop::decode(with(with(validDrop(), "kind", "question"), "question", "Why?"));
  EXPECT_EQ(Drop::decode(Json::parse(Json::serialize(drop.encode()))), drop);
  const Source source = Source::decode(with(validSource(), "url", QJsonValue::Null));
  EXPECT_EQ(Source::decode(Json::parse(Json::serialize(source.encode()))), source);
  const Withdrawal withdrawal = Withdrawal::decode(validWithdrawal());
  EXPECT_EQ(Withdrawal::decode(withdrawal.encode()), withdrawal);
}

TEST(ContentRecords, Equality) {
  const Drop drop = Drop::decode(validDrop());
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
  Book composed = Book::decode(with(validBook(), "title", QString::fromUtf8("Caf\xC3\xA9")));
  Book decomposed = Book::decode(with(validBook(), "title", QString::fromUtf8("Cafe\xCC\x81")));
  EXPECT_EQ(composed, decomposed);
  decomposed.publisher = QStringLiteral("X");
  EXPECT_FALSE(composed == decomposed);

  // Identity is the id text as stored: letter case counts.
  const Source lower = Source::decode(validSource());
  const Source upper = Source::decode(with(validSource(), "id", sourceId.toUpper()));
  EXPECT_NE(lower.id, upper.id);
  EXPECT_FALSE(lower == upper);
}

} // namespace
