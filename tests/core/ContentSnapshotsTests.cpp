#include "ContentSnapshots.h"
#include "LocalStore.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <ostream>

using namespace brindlewick;

namespace {

const QString firstBookId = QStringLiteral("6f1c2b9e-4a7d-4c1e-9b2a-0d3e5f7a9b1c");
const QString secondBookId = QStringLiteral("0b7d4e2a-9c1f-4e3b-8a5d-6c2f1e0d9a8b");
const QString firstSourceId = QStringLiteral("a3e5c7b9-1d2f-4a6b-8c0e-2f4a6b8c0e1d");
const QString secondSourceId = QStringLiteral("b4f6d8ca-2e3f-4b7c-9d1f-3a5b7c9d1f2e");
const QString missingId = QStringLiteral("deadbeef-0000-4000-8000-000000000000");
const QString dropId = QStringLiteral("5d9e1f3a-7b2c-4d8e-a6f0-1b3c5d7e9f2a");

Book book(const QString& id, const QString& title) {
  return Book{id,
              title,
              {QStringLiteral("Donella Meadows")},
              2008,
              std::nullopt,
              QStringLiteral("A primer."),
              {Category::science}};
}

Source source(const QString& id, const QString& bookId) {
  return Source{id,
                bookId,
                QStringLiteral("Chapter 1"),
                QStringLiteral("https://example.com/systems"),
                QStringLiteral("p. 12"),
                SourceType::book,
                RightsBasis::referenceOnly,
                QStringLiteral("Quoted briefly."),
                QStringLiteral("2024-02-29T10:00:00Z")};
}

Drop drop() {
  Drop lore;
  lore.id = dropId;
  lore.kind = DropKind::question;
  lore.headline = QStringLiteral("Stocks change only through flows");
  lore.explanation = QStringLiteral("A bathtub fills no faster than its tap.");
  lore.longExplanation = QStringLiteral("Longer text.");
  lore.whySurprising = QStringLiteral("We expect instant change.");
  lore.category = Category::science;
  lore.tags = {QStringLiteral("systems")};
  lore.conceptKey = QStringLiteral("stocks-and-flows");
  lore.bookIds = {secondBookId, firstBookId, missingId};
  lore.sourceIds = {firstSourceId, missingId};
  lore.scores = Scores{4, 3, 5, 2, 1, 0, 5, 3};
  lore.question = QStringLiteral("Why is the tub still empty?");
  return lore;
}

const QList<Book> releaseBooks{book(firstBookId, QStringLiteral("First")),
                               book(secondBookId, QStringLiteral("Second")),
                               book(missingId.left(35) + QLatin1Char('1'), QStringLiteral("Uncited"))};
const QList<Source> releaseSources{source(secondSourceId, secondBookId), source(firstSourceId, firstBookId)};

ContentRelease release(QList<Book> books = releaseBooks, QList<Source> sources = releaseSources) {
  ContentRelease made;
  made.books = std::move(books);
  made.sources = std::move(sources);
  return made;
}

// A copy of `node` with the value at `path` ("snapshot/books/1") replaced, or removed when
// `value` is undefined.
QJsonValue edited(const QJsonValue& node, QStringList path, const QJsonValue& value) {
  if (path.isEmpty())
    return value;
  const QString step = path.takeFirst();
  bool isIndex = false;
  const int index = step.toInt(&isIndex);
  if (isIndex) {
    QJsonArray array = node.toArray();
    array[index] = edited(array[index], path, value);
    return array;
  }
  QJsonObject object = node.toObject();
  if (path.isEmpty() && value.isUndefined())
    object.remove(step);
  else
    object[step] = edited(object[step], path, value);
  return object;
}

DropSnapshot snapshot() {
  return DropSnapshot(drop(), release());
}

TEST(DropSnapshot, KeepsTheCitedBooksAndSourcesInReleaseOrder) {
  const DropSnapshot made = snapshot();
  EXPECT_EQ(made.id(), dropId);
  EXPECT_EQ(made.lore, drop());
  ASSERT_EQ(made.books.size(), 2);
  EXPECT_EQ(made.books[0].id, firstBookId);
  EXPECT_EQ(made.books[1].id, secondBookId);
  ASSERT_EQ(made.sources.size(), 1);
  EXPECT_EQ(made.sources[0].id, firstSourceId);
}

TEST(DropSnapshot, EqualityLooksAtEveryCitedRecord) {
  EXPECT_EQ(snapshot(), snapshot());

  QList<Source> laterAccess = releaseSources;
  laterAccess[1].accessedAt = QStringLiteral("2024-03-01T10:00:00Z");
  EXPECT_NE(DropSnapshot(drop(), release(releaseBooks, laterAccess)), snapshot());

  Drop revised = drop();
  revised.revision = 2;
  EXPECT_NE(DropSnapshot(revised, release()), snapshot());

  const QList<Book> reversed{releaseBooks[1], releaseBooks[0]};
  EXPECT_NE(DropSnapshot(drop(), release(reversed)), snapshot());
}

struct TeaserCase {
  const char* name;
  std::optional<QString> question;
  QString headline;
  QString expected;
  friend void PrintTo(const TeaserCase& value, std::ostream* out) { *out << value.name; }
};

class Teaser : public testing::TestWithParam<TeaserCase> {};

TEST_P(Teaser, IsTheShortQuestionOrElseTheHeadline) {
  Drop lore = drop();
  lore.question = GetParam().question;
  lore.headline = GetParam().headline;
  EXPECT_EQ(DropSnapshot(lore, ContentRelease()).teaser(), GetParam().expected);
}

const QString headline = QStringLiteral("Stocks change only through flows");
const QString family =
    QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");

INSTANTIATE_TEST_SUITE_P(
    DropSnapshot, Teaser,
    testing::Values(
        TeaserCase{"CollapsesWhiteSpace", QStringLiteral("  Why   do\n birds sing? "), headline,
                   QStringLiteral("Why do birds sing?")},
        TeaserCase{"EveryUnicodeSpaceSeparates",
                   QString::fromUtf8("\tA\xC2\xA0"
                                     "b\xE2\x80\x83"
                                     "c\r\nd\xC2\x85"
                                     "e\xE3\x80\x80"),
                   headline, QStringLiteral("A b c d e")},
        TeaserCase{"ZeroWidthSpaceIsNoSpace",
                   QString::fromUtf8("a\xE2\x80\x8B"
                                     "b"),
                   headline,
                   QString::fromUtf8("a\xE2\x80\x8B"
                                     "b")},
        TeaserCase{"TwentyFiveCharacters", QString(25, QLatin1Char('q')), headline,
                   QString(25, QLatin1Char('q'))},
        TeaserCase{"TwentySixCharacters", QString(26, QLatin1Char('q')), headline, headline},
        TeaserCase{"TwentyFiveAfterCollapsing",
                   QStringLiteral("   ") + QString(12, QLatin1Char('q')) + QStringLiteral("  \n ") +
                       QString(12, QLatin1Char('q')),
                   headline,
                   QString(12, QLatin1Char('q')) + QLatin1Char(' ') + QString(12, QLatin1Char('q'))},
        TeaserCase{"EmojiCountsAsOneCharacter", QString(24, QLatin1Char('q')) + family, headline,
                   QString(24, QLatin1Char('q')) + family},
        TeaserCase{"FlagAndAccentCountOnceEach",
                   QString(23, QLatin1Char('q')) + flag + QString::fromUtf8("e\xCC\x81"), headline,
                   QString(23, QLatin1Char('q')) + flag + QString::fromUtf8("e\xCC\x81")},
        TeaserCase{"EmojiIsStillACharacter", QString(25, QLatin1Char('q')) + family, headline, headline},
        TeaserCase{"NoQuestion", std::nullopt, QStringLiteral(" Stocks \n change "),
                   QStringLiteral("Stocks change")},
        TeaserCase{"EmptyQuestion", QString(), headline, headline},
        TeaserCase{"WhiteSpaceQuestion", QString::fromUtf8(" \t\xE2\x80\x83\n"), headline, headline},
        TeaserCase{"LongHeadlineInFull", QString(40, QLatin1Char('q')),
                   QStringLiteral("A headline  much longer than twenty-five characters"),
                   QStringLiteral("A headline much longer than twenty-five characters")}),
    [](const auto& info) { return std::string(info.param.name); });

// Encodes a record as the store writes it and reads it back.
template <typename Record> Record roundTrip(const Record& record) {
  return Record::fromJson(Json::parse(Json::serialize(record.toJson())));
}

TEST(SnapshotRecords, SurviveTheStoreAndKeepTheirIdentities) {
  const SavedSnapshot saved{snapshot(), Date(789012345.125)};
  const HistoryEntry shown{QStringLiteral("impression-1"), snapshot(), Date(789012399.5), true};
  EXPECT_EQ(saved.id(), saved.snapshot.id());
  EXPECT_NE(shown.id, shown.snapshot.id());

  LocalStore store(true);
  store.save(saved, QStringLiteral("saved/") + saved.id());
  store.save(shown, QStringLiteral("history/") + shown.id);

  const auto savedEntries = store.entries<SavedSnapshot>(QStringLiteral("saved/"));
  ASSERT_EQ(savedEntries.size(), 1u);
  EXPECT_EQ(savedEntries[0].second.snapshot, saved.snapshot);
  EXPECT_EQ(savedEntries[0].second.savedAt, saved.savedAt);

  const std::optional<HistoryEntry> loaded = store.load<HistoryEntry>(QStringLiteral("history/impression-1"));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->id, shown.id);
  EXPECT_EQ(loaded->snapshot, shown.snapshot);
  EXPECT_EQ(loaded->shownAt, shown.shownAt);
  EXPECT_TRUE(loaded->automatic);
  EXPECT_FALSE(roundTrip(HistoryEntry{shown.id, snapshot(), shown.shownAt, false}).automatic);

  // Content records plug into the store through their own decode and encode.
  store.save(releaseBooks[1], QStringLiteral("book"));
  EXPECT_EQ(store.load<Book>(QStringLiteral("book")), releaseBooks[1]);
}

TEST(SnapshotRecords, IgnoreUnknownOuterKeysButNotInTheContentRecords) {
  const QJsonValue saved = SavedSnapshot{snapshot(), Date(1.0)}.toJson();
  EXPECT_EQ(SavedSnapshot::fromJson(edited(saved, {"note"}, "from a later version")).snapshot, snapshot());
  EXPECT_THROW(DropSnapshot::fromJson(edited(snapshot().toJson(), {"lore", "note"}, "x")),
               ContractValidationError);
}

// A record that must not decode, and either the path the JSON layer names or the content
// contract's message.
enum class Kind { saved, history };

// A stored record with one value changed or removed, and either the path that the JSON layer
// names or the content contract's message.
struct BrokenRecord {
  const char* name;
  Kind kind;
  const char* path;
  QJsonValue value;
  QString failure;
  friend void PrintTo(const BrokenRecord& value, std::ostream* out) { *out << value.name; }
};

class BrokenSnapshotRecord : public testing::TestWithParam<BrokenRecord> {};

// The outer records fail with the JSON layer's error naming the value; the drop, books and
// sources inside fail as strictly as in a release.
TEST_P(BrokenSnapshotRecord, FailsToDecodeAndNamesTheValue) {
  const BrokenRecord& broken = GetParam();
  const QStringList path = QString::fromLatin1(broken.path).split(QLatin1Char('/'));
  try {
    if (broken.kind == Kind::saved)
      SavedSnapshot::fromJson(edited(SavedSnapshot{snapshot(), Date(2.0)}.toJson(), path, broken.value),
                              QStringLiteral("saved"));
    else
      HistoryEntry::fromJson(edited(HistoryEntry{QStringLiteral("i"), snapshot(), Date(2.0), false}.toJson(),
                                    path, broken.value),
                             QStringLiteral("history"));
    FAIL() << "decoded";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path().toStdString(), broken.failure.toStdString());
  } catch (const ContractValidationError& error) {
    EXPECT_EQ(error.message().toStdString(), broken.failure.toStdString());
  }
}

const QJsonValue removed(QJsonValue::Undefined);

INSTANTIATE_TEST_SUITE_P(
    SnapshotRecords, BrokenSnapshotRecord,
    testing::Values(BrokenRecord{"WithoutAutomatic", Kind::history, "automatic", removed,
                                 QStringLiteral("history.automatic")},
                    BrokenRecord{"ShownAtAsText", Kind::history, "shownAt",
                                 QStringLiteral("2024-01-01T00:00:00Z"), QStringLiteral("history.shownAt")},
                    BrokenRecord{"WithoutLore", Kind::history, "snapshot/lore", removed,
                                 QStringLiteral("history.snapshot.lore")},
                    BrokenRecord{"WithoutSources", Kind::history, "snapshot/sources", removed,
                                 QStringLiteral("history.snapshot.sources")},
                    BrokenRecord{"BookAsString", Kind::history, "snapshot/books/1", QStringLiteral("book"),
                                 QStringLiteral("history.snapshot.books[1]")},
                    BrokenRecord{"OverlongHeadline", Kind::history, "snapshot/lore/headline",
                                 QString(121, QLatin1Char('h')),
                                 QStringLiteral("Text must contain 1...120 UTF-16 units")},
                    BrokenRecord{"SourceWithoutUrlKey", Kind::history, "snapshot/sources/0/url", removed,
                                 QStringLiteral(R"(Invalid fields: missing ["url"], unknown [])")},
                    BrokenRecord{"SavedWithoutSavedAt", Kind::saved, "savedAt", removed,
                                 QStringLiteral("saved.savedAt")},
                    BrokenRecord{"SavedWithNullSnapshot", Kind::saved, "snapshot", QJsonValue(),
                                 QStringLiteral("saved.snapshot")}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
