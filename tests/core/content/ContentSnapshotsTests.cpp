#include "ReleaseGenerator.h"
#include "content/ContentSnapshots.h"
#include "content/LocalStore.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace brindlewick;

namespace {

// A release of three books and four sources; its first drop cites the second book before the
// first, the fourth source before the first, and an id that the release does not hold.
const ContentRelease& theRelease() {
  static const ContentRelease release = [] {
    ContentRelease made = generateRelease(4, ReleaseShape{3, 4, 1}).release;
    const QString missing = generatedId(9, 9);
    Drop& lore = made.lore[0];
    lore.bookIds = {made.books[1].id, made.books[0].id, missing};
    lore.sourceIds = {made.sources[3].id, made.sources[0].id, missing};
    return made;
  }();
  return release;
}

DropSnapshot snapshot() {
  return DropSnapshot(theRelease().lore[0], theRelease());
}

TEST(DropSnapshot, KeepsTheCitedBooksAndSourcesInReleaseOrder) {
  const ContentRelease& release = theRelease();
  const DropSnapshot made = snapshot();
  EXPECT_EQ(made.lore, release.lore[0]);
  EXPECT_EQ(made.books, (QList<Book>{release.books[0], release.books[1]}));
  EXPECT_EQ(made.sources, (QList<Source>{release.sources[0], release.sources[3]}));
}

TEST(DropSnapshot, TeaserIsTheShortQuestionOrElseTheCollapsedHeadline) {
  const ContentRelease& release = theRelease();
  const QString headline = QStringLiteral("Stocks change only through flows");
  const QString family =
      QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
  const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
  const QString accented = QString::fromUtf8("e\xCC\x81");
  const auto q = [](int count) { return QString(count, QLatin1Char('q')); };
  const struct {
    std::optional<QString> question;
    QString headline;
    QString expected;
  } cases[] = {
      {QStringLiteral("  Why   do\n birds sing? "), headline, QStringLiteral("Why do birds sing?")},
      // Tab, no-break space, em space, CR LF (one character), next line, ideographic space.
      {QString::fromUtf8("\tA\xC2\xA0"
                         "b\xE2\x80\x83"
                         "c\r\nd\xC2\x85"
                         "e\xE3\x80\x80"),
       headline, QStringLiteral("A b c d e")},
      // A zero-width space is no white space; a combining mark on a space goes with the space.
      {QString::fromUtf8("a\xE2\x80\x8B"
                         "b"),
       headline,
       QString::fromUtf8("a\xE2\x80\x8B"
                         "b")},
      {QString::fromUtf8("a \xCC\x81"
                         "b"),
       headline, QStringLiteral("a b")},
      {q(25), headline, q(25)},
      {q(26), headline, headline},
      {QStringLiteral("   ") + q(12) + QStringLiteral("  \n ") + q(12), headline,
       q(12) + QLatin1Char(' ') + q(12)},
      {q(24) + family, headline, q(24) + family},
      {q(25) + family, headline, headline},
      {q(23) + flag + accented, headline, q(23) + flag + accented},
      {std::nullopt, QStringLiteral(" Stocks \n change "), QStringLiteral("Stocks change")},
      {QString(), headline, headline},
      {QString::fromUtf8(" \t\xE2\x80\x83\n"), headline, headline},
      {q(40), QStringLiteral("A headline  much longer than twenty-five characters"),
       QStringLiteral("A headline much longer than twenty-five characters")},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.question.value_or(QStringLiteral("(none)")).toStdString());
    Drop lore = release.lore[0];
    lore.question = test.question;
    lore.headline = test.headline;
    EXPECT_EQ(DropSnapshot(lore, release).teaser(), test.expected);
  }
}

TEST(SnapshotRecords, SurviveTheStore) {
  const SavedSnapshot saved{snapshot(), Date(789012345.125)};
  const HistoryEntry shown{QStringLiteral("impression-1"), snapshot(), Date(789012399.5), false};
  LocalStore store(true);
  store.save(saved, QStringLiteral("saved/1"));
  store.save(shown, QStringLiteral("history/1"));
  const SavedSnapshot savedBack = *store.load<SavedSnapshot>(QStringLiteral("saved/1"));
  EXPECT_EQ(std::tie(savedBack.snapshot, savedBack.savedAt), std::tie(saved.snapshot, saved.savedAt));
  const HistoryEntry loaded = *store.load<HistoryEntry>(QStringLiteral("history/1"));
  EXPECT_EQ(std::tie(loaded.id, loaded.snapshot, loaded.shownAt, loaded.automatic),
            std::tie(shown.id, shown.snapshot, shown.shownAt, shown.automatic));
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

// The outer records ignore keys they do not know and name a missing or mistyped value by its
// path; the drop, books and sources inside are read as strictly as in a release.
TEST(SnapshotRecords, OuterRecordsAreLenientAndTheContentInsideStrict) {
  const QJsonValue history = HistoryEntry{QStringLiteral("i"), snapshot(), Date(2.0), false}.toJson();
  const QJsonValue saved = SavedSnapshot{snapshot(), Date(2.0)}.toJson();
  EXPECT_EQ(SavedSnapshot::fromJson(edited(saved, {"note"}, "from a later version")).snapshot, snapshot());
  EXPECT_EQ(HistoryEntry::fromJson(edited(history, {"snapshot", "note"}, 1)).snapshot, snapshot());

  const QJsonValue removed(QJsonValue::Undefined);
  const struct {
    const QJsonValue& record;
    const char* path;
    QJsonValue value;
    QString failure; // the path the JSON layer names, or the content contract's message
  } cases[] = {
      {history, "automatic", removed, QStringLiteral("r.automatic")},
      {history, "id", 7, QStringLiteral("r.id")},
      {history, "shownAt", QStringLiteral("2024-01-01T00:00:00Z"), QStringLiteral("r.shownAt")},
      {history, "snapshot/lore", removed, QStringLiteral("r.snapshot.lore")},
      {history, "snapshot/sources", removed, QStringLiteral("r.snapshot.sources")},
      {history, "snapshot/books/1", QStringLiteral("book"), QStringLiteral("r.snapshot.books[1]")},
      {history, "snapshot/lore/headline", QString(121, QLatin1Char('h')),
       QStringLiteral("Text must contain 1...120 UTF-16 units")},
      {history, "snapshot/lore/note", 1, QStringLiteral(R"(Invalid fields: missing [], unknown ["note"])")},
      {history, "snapshot/sources/0/url", removed,
       QStringLiteral(R"(Invalid fields: missing ["url"], unknown [])")},
      {saved, "savedAt", removed, QStringLiteral("r.savedAt")},
      {saved, "snapshot", QJsonValue(), QStringLiteral("r.snapshot")},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.path);
    const QJsonValue broken =
        edited(test.record, QString::fromLatin1(test.path).split(QLatin1Char('/')), test.value);
    try {
      if (&test.record == &saved)
        SavedSnapshot::fromJson(broken, QStringLiteral("r"));
      else
        HistoryEntry::fromJson(broken, QStringLiteral("r"));
      ADD_FAILURE() << "decoded";
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(error.path(), test.failure);
    } catch (const ContractValidationError& error) {
      EXPECT_EQ(error.message(), test.failure);
    }
  }
}

} // namespace
