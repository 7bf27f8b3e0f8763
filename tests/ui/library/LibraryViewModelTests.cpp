#include "LibraryTestSupport.h"
#include "model/ReaderModelFixture.h"
#include "ui/library/LibraryPageModel.h"
#include "ui/library/LibraryViewModel.h"

#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

QStringList identities(const QList<DropSnapshot>& snapshots) {
  QStringList ids;
  for (const DropSnapshot& snapshot : snapshots)
    ids.append(LibraryViewModel::identity(snapshot));
  return ids;
}

LibraryInputs signedIn() {
  LibraryInputs inputs;
  inputs.signedIn = true;
  return inputs;
}

TEST(LibraryViewModel, HistoryKeepsTheNewestOfEachRevisionAndOnlyWhatMayBeRead) {
  const DropSnapshot a2 = librarySnapshot(libraryDrop("a", 2));
  const DropSnapshot a2Older = librarySnapshot(libraryDrop("a", 2, Category::science, "Older"));
  const DropSnapshot a3 = librarySnapshot(libraryDrop("a", 3));
  const DropSnapshot b1 = librarySnapshot(libraryDrop("b", 1));
  struct Case {
    const char* name;
    bool signedIn, healthy;
    QList<DropSnapshot> history, saved;
    QStringList expected;
    QString firstHeadline;
  };
  const Case cases[] = {
      {"revision 2 twice", true, true, {a2, a2Older}, {}, {"a:2"}, "Headline"},
      {"revisions 2 and 3", true, true, {a3, a2}, {}, {"a:3", "a:2"}, "Headline"},
      {"unhealthy keeps saved", true, false, {a2, b1}, {b1}, {"b:1"}, "Headline"},
      {"unhealthy compares whole values", true, false, {a2Older}, {a2}, {}, {}},
      {"signed out", false, true, {a2}, {a2}, {}, {}},
  };
  for (const Case& c : cases) {
    LibraryInputs inputs;
    inputs.signedIn = c.signedIn;
    inputs.storageHealthy = c.healthy;
    inputs.history = c.history;
    inputs.saved = c.saved;
    const QList<DropSnapshot> list = LibraryViewModel::historyList(inputs);
    EXPECT_EQ(identities(list), c.expected) << c.name;
    if (!list.isEmpty()) {
      EXPECT_EQ(list.first().lore.headline, c.firstHeadline) << c.name;
    }
  }
}

TEST(LibraryViewModel, DiscoverWalksTheReleaseByTopic) {
  QList<Drop> lore{libraryDrop("s", 1, Category::science), libraryDrop("h", 1, Category::history),
                   libraryDrop("gone", 1, Category::science), libraryDrop("p", 1, Category::psychology)};
  LibraryInputs base = signedIn();
  base.hasRelease = true;
  base.releaseLore = lore;
  base.resolve = [](const Drop& drop) -> std::optional<DropSnapshot> {
    if (drop.id == u"gone")
      return std::nullopt;
    return librarySnapshot(drop);
  };
  base.topics = {"science", "psychology"};
  struct Case {
    const char* name;
    std::function<void(LibraryInputs&)> change;
    QStringList expected;
  };
  const Case cases[] = {
      {"topics, unresolvable skipped", [](LibraryInputs&) {}, {"s:1", "p:1"}},
      {"surprise me", [](LibraryInputs& i) { i.surpriseMe = true; }, {"s:1", "h:1", "p:1"}},
      {"no topics", [](LibraryInputs& i) { i.topics.clear(); }, {}},
      {"signed out", [](LibraryInputs& i) { i.signedIn = false; }, {}},
      {"unhealthy", [](LibraryInputs& i) { i.storageHealthy = false; }, {}},
      {"no release", [](LibraryInputs& i) { i.hasRelease = false; }, {}},
  };
  for (const Case& c : cases) {
    LibraryInputs inputs = base;
    c.change(inputs);
    EXPECT_EQ(identities(LibraryViewModel::collection(ReaderTab::discover, false, inputs)), c.expected)
        << c.name;
  }
}

TEST(LibraryViewModel, BooksSortByCodePointOfTheComposedTitleStably) {
  const QString decomposed = QStringLiteral("E\u0301cole");
  const QString composed = QStringLiteral("\u00C9cole");
  const QString supplementary = QString::fromUcs4(U"\U0001D400 Bold");
  const QString privateUse = QStringLiteral("\uE000 Private");
  Drop first = libraryDrop("1", 1);
  const QList<DropSnapshot> snapshots{
      librarySnapshot(first, {"zebra", "Zebra", supplementary}),
      librarySnapshot(libraryDrop("2", 1), {privateUse, decomposed, "Apple"}),
      librarySnapshot(libraryDrop("3", 1), {composed, "Zebra"}),
  };
  QStringList ids;
  for (const Book& book : LibraryViewModel::booksOf(snapshots))
    ids.append(book.id);
  // Equal titles after composition keep their first-seen order; U+1D400 follows U+E000.
  EXPECT_EQ(ids, (QStringList{"Apple", "Zebra", "zebra", decomposed, composed, privateUse, supplementary}));
}

TEST(LibraryViewModel, SearchIsALocaleLowerCasedSubstringOfComposedText) {
  Drop drop = libraryDrop("1", 1, Category::science, "The Café Effect", "Why crowds FOLLOW");
  drop.longExplanation = "hidden words";
  drop.tags = {"habits"};
  LibraryInputs inputs = signedIn();
  inputs.saved = {librarySnapshot(drop, {"Thinking"}, "Grace Author")};
  LibraryViewModel lists(ReaderTab::saved);
  lists.setInputs(inputs);
  const std::pair<QString, qsizetype> cases[] = {
      {"FOLLOW", 1},   {"follow", 1}, {"café", 1},   {"cafe", 0}, {"cafe\u0301", 1}, {"grace", 1},
      {"thinking", 1}, {"habits", 1}, {"hidden", 0}, {"   ", 0},  {" effect", 1},    {"", 1},
  };
  for (const auto& [query, count] : cases) {
    lists.setSearch(query);
    lists.update();
    EXPECT_EQ(lists.count(), count) << query.toStdString();
  }
}

TEST(LibraryViewModel, EmptyStateTable) {
  using E = LibraryEmptyState;
  struct Case {
    ReaderTab tab;
    bool signedIn, healthy, filtering;
    E expected;
  };
  const Case cases[] = {
      {ReaderTab::saved, false, true, false, E::accountCard},
      {ReaderTab::discover, true, false, true, E::accountCard},
      {ReaderTab::history, true, false, false, E::noHistory},
      {ReaderTab::history, true, true, true, E::noMatches},
      {ReaderTab::discover, true, true, false, E::noIdeas},
      {ReaderTab::saved, true, true, false, E::noSaved},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LibraryViewModel::emptyState(c.tab, c.signedIn, c.healthy, c.filtering), c.expected);
}

TEST(LibraryViewModel, RecentResetsABookItNoLongerHasAndDoesNotCountAsFiltering) {
  LibraryInputs inputs = signedIn();
  inputs.hasRelease = true;
  inputs.surpriseMe = true;
  inputs.releaseLore = {libraryDrop("1", 1)};
  inputs.resolve = [](const Drop& drop) { return std::optional(librarySnapshot(drop, {"Only Book"})); };
  LibraryViewModel lists(ReaderTab::discover);
  lists.setInputs(inputs);
  lists.update();
  lists.setBook("Only Book");
  lists.update();
  ASSERT_EQ(lists.count(), 1);
  lists.setRecentOnly(true);
  lists.update();
  EXPECT_EQ(lists.book(), QString());
  EXPECT_FALSE(lists.filtering());
  EXPECT_EQ(lists.emptyState(), LibraryEmptyState::noIdeas);
}

TEST(LibraryViewModel, ArrowsAndReturn) {
  using M = LibraryViewModel::Move;
  const QStringList rows{"a:1", "b:1", "c:1"};
  struct Case {
    std::optional<QString> selection;
    M move;
    QString expected;
  };
  const Case cases[] = {{std::nullopt, M::down, "a:1"}, {std::nullopt, M::up, "a:1"},
                        {"x:1", M::up, "a:1"},          {"a:1", M::up, "a:1"},
                        {"c:1", M::down, "c:1"},        {"a:1", M::down, "b:1"}};
  for (const Case& c : cases)
    EXPECT_EQ(LibraryViewModel::moved(rows, c.selection, c.move), c.expected);
  EXPECT_EQ(LibraryViewModel::moved({}, std::nullopt, M::down), std::nullopt);
}

TEST(LibraryPageModel, ABurstOfSignalsDerivesOnceAndASearchNeverRebuildsTheCollection) {
  ReaderModelFixture fixture;
  fixture.signIn();
  ReaderModel& model = fixture.open();
  fixture.settle();
  LibraryPageModel page(model, ReaderTab::discover);
  QCoreApplication::processEvents();
  const int collections = page.lists().collectionBuilds();
  const int filters = page.lists().filterBuilds();
  ASSERT_GT(page.lists().all().size(), 0);

  for (int i = 0; i < 5; ++i)
    Q_EMIT model.savedSnapshotsChanged();
  model.setLibrarySearch(QStringLiteral("zzz-no-such-text"));
  QCoreApplication::processEvents();
  EXPECT_EQ(page.lists().collectionBuilds(), collections + 1);
  EXPECT_EQ(page.lists().filterBuilds(), filters + 1);
  EXPECT_EQ(page.lists().count(), 0);

  model.setLibrarySearch(QString());
  model.setLibrarySearch(QStringLiteral("a"));
  QCoreApplication::processEvents();
  EXPECT_EQ(page.lists().collectionBuilds(), collections + 1);
  EXPECT_EQ(page.lists().filterBuilds(), filters + 2);
}

} // namespace
