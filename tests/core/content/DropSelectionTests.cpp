#include "content/DropSelection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace brindlewick;

namespace {

// Drops are built by hand: selection reads only ids, categories, books, tags, related ids
// and three scores, so nothing else needs to be valid.
Drop drop(const QString& id, Category category, QStringList books = {QStringLiteral("book-1")},
          QStringList tags = {}, QStringList related = {}) {
  Drop d;
  d.id = id;
  d.category = category;
  d.bookIds = std::move(books);
  d.tags = std::move(tags);
  d.relatedLoreIds = std::move(related);
  return d;
}

Drop scored(Drop d, qint64 usefulness, qint64 clarity, qint64 sourceConfidence) {
  d.scores.usefulness = usefulness;
  d.scores.clarity = clarity;
  d.scores.sourceConfidence = sourceConfidence;
  return d;
}

constexpr Category psychology = Category::psychology;
constexpr Category science = Category::science;
constexpr Category history = Category::history;
constexpr Category design = Category::design;

// A repository's state, built up per test, and one choice over it.
struct Library {
  QList<Drop> lore;
  QHash<QString, QString> withdrawals;
  QHash<QString, Date> seen;
  QHash<QString, Date> arrivals;
  QList<HistoryEntry> history; // newest first

  const Drop& find(const QString& id) const {
    for (const Drop& d : lore) {
      if (d.id == id)
        return d;
    }
    throw std::logic_error("no such drop");
  }

  // Appends a showing of a drop as the oldest entry so far.
  void shown(const QString& dropId, double at) {
    const QString impression = QStringLiteral("impression-%1").arg(history.size());
    history.append(HistoryEntry{impression, DropSnapshot(find(dropId), ContentRelease()), Date(at), true});
  }

  // The id of the chosen drop, "none" when nothing is eligible.
  QString choose(const SelectionRequest& request, double draw = 0.0, int* calls = nullptr) const {
    const SelectionIndex byPosition(lore, withdrawals, arrivals);
    const SelectionState state{lore, byPosition, seen, history};
    const std::optional<qsizetype> index = DropSelection::choose(state, request, [&] {
      if (calls)
        ++*calls;
      return draw;
    });
    return index ? lore[*index].id : QStringLiteral("none");
  }

  QString choose(double draw = 0.0) const { return choose(everything(), draw); }

  static SelectionRequest everything() {
    SelectionRequest request;
    request.categories = DropSelection::wantedCategories({}, true);
    return request;
  }
};

SelectionRequest topics(const QSet<QString>& wanted) {
  SelectionRequest request;
  request.categories = DropSelection::wantedCategories(wanted, false);
  return request;
}

// ---------------------------------------------------------------------------------------------

TEST(DropSelection, WantedCategoriesFollowTopicsUnlessSurpriseMe) {
  // A topic that names no category, or names one in the wrong case, matches nothing.
  const CategoryMask some = DropSelection::wantedCategories(
      {QStringLiteral("science"), QStringLiteral("Design"), QStringLiteral("x")}, false);
  for (const Category c : allCases<Category>())
    EXPECT_EQ(some[static_cast<std::size_t>(c)], c == science) << rawValue(c).toStdString();
}

TEST(DropSelection, EligibilityExclusionAndWithdrawal) {
  Library library;
  library.lore = {drop("a", psychology), drop("b", science), drop("c", design)};
  library.withdrawals.insert("b", "Retracted");

  EXPECT_EQ(library.choose(topics({"science"})), "none"); // its only drop is withdrawn
  EXPECT_EQ(library.choose(topics({})), "none");
  EXPECT_EQ(library.choose(topics({"design", "biography"})), "c");

  SelectionRequest excludingC = topics({"design"});
  excludingC.excluding = QStringLiteral("c");
  EXPECT_EQ(library.choose(excludingC), "none"); // never the drop being replaced, even when alone

  const Drop c = library.find("c");
  SelectionRequest relatedToC = topics({"design"});
  relatedToC.relatedTo = &c;
  EXPECT_EQ(library.choose(relatedToC), "none");

  // With surprise-me every drop that is not withdrawn can come.
  SelectionRequest anyButA = Library::everything();
  anyButA.excluding = QStringLiteral("a");
  EXPECT_EQ(library.choose(anyButA, 0.0), "c");
}

TEST(DropSelection, RelatedToKeepsOnlyNeighbours) {
  const Drop target = drop("t", psychology, {"book-t"}, {"memory", "habit"}, {"named"});
  struct Case {
    Drop candidate;
    bool related;
  };
  const std::vector<Case> cases{
      {drop("named", science, {"book-x"}), true},                // the target names it
      {drop("names", science, {"book-x"}, {}, {"t"}), true},     // it names the target
      {drop("same-category", psychology, {"book-x"}), true},     //
      {drop("same-book", science, {"book-x", "book-t"}), true},  //
      {drop("same-tag", science, {"book-x"}, {"habit"}), true},  //
      {drop("tag-case", science, {"book-x"}, {"Habit"}), false}, // tags compare exactly
      {drop("stranger", science, {"book-x"}, {"sleep"}), false},
  };
  for (const Case& c : cases) {
    Library library;
    library.lore = {target, c.candidate};
    SelectionRequest request = Library::everything();
    request.relatedTo = &target;
    EXPECT_EQ(library.choose(request), c.related ? c.candidate.id : QStringLiteral("none"))
        << c.candidate.id.toStdString();
  }
}

TEST(DropSelection, NeverShownBeatsShownWhateverItsCategory) {
  // The last show was psychology, so variety would avoid "fresh"; freshness wins first.
  Library library;
  library.lore = {drop("shown", design), drop("fresh", psychology), drop("other-psych", psychology)};
  library.seen = {{"shown", Date(10)}, {"other-psych", Date(20)}};
  library.shown("other-psych", 20);
  EXPECT_EQ(library.choose(0.0), "fresh");
  EXPECT_EQ(library.choose(0.99), "fresh");
}

TEST(DropSelection, AmongNeverShownOnlyTheNewestArrivalBatchRemains) {
  Library library;
  library.lore = {drop("old-1", psychology), drop("new-1", science), drop("old-2", design),
                  drop("new-2", history), drop("undated", science)};
  library.arrivals = {{"old-1", Date::distantPast()},
                      {"old-2", Date::distantPast()},
                      {"new-1", Date(500)},
                      {"new-2", Date(500)}};
  // Equal weights: the draw walks the batch in release order.
  EXPECT_EQ(library.choose(0.0), "new-1");
  EXPECT_EQ(library.choose(0.99), "new-2");

  // On a first install every drop has the same date, so arrival narrows nothing; a drop
  // without an arrival counts as the distant past too.
  library.arrivals = {{"old-1", Date::distantPast()},
                      {"old-2", Date::distantPast()},
                      {"new-1", Date::distantPast()},
                      {"new-2", Date::distantPast()}};
  EXPECT_EQ(library.choose(0.99), "undated");
}

TEST(DropSelection, WhenAllWereShownTheLeastRecentlyShownRemain) {
  Library library;
  library.lore = {drop("a", psychology), drop("b", psychology), drop("c", psychology), drop("d", psychology)};
  library.seen = {{"a", Date(10)}, {"b", Date(100)}, {"c", Date(100)}, {"d", Date(50)}};
  // "d" was seen at 50 but shown again at 400 according to the history alone; two entries
  // of "a" count by the later one, wherever it stands in the list.
  library.shown("d", 400);
  library.shown("a", 20);
  library.shown("a", 350);
  EXPECT_EQ(library.choose(0.0), "b");
  EXPECT_EQ(library.choose(0.99), "c");

  // An older history entry never moves a later seen date back.
  library.seen.insert("b", Date(200));
  EXPECT_EQ(library.choose(0.0), "c");
}

TEST(DropSelection, CategoryVarietyAvoidsAsManyRecentCategoriesAsPossible) {
  // Recent list (A, A, B): k = 3 leaves nothing, k = 2 avoids only A and leaves B.
  Library library;
  library.lore = {drop("a1", psychology), drop("a2", psychology), drop("b1", science), drop("b2", science),
                  drop("x", design)};
  library.withdrawals.insert("x", "Gone");
  const auto showCategory = [&](Category category, double at) {
    const QString id = QStringLiteral("shown-%1").arg(library.history.size());
    Drop d = drop(id, category);
    library.history.append(HistoryEntry{id, DropSnapshot(d, ContentRelease()), Date(at), false});
  };
  showCategory(psychology, 30);
  showCategory(psychology, 20);
  showCategory(science, 10);
  showCategory(design, 5); // a fourth entry does not count
  EXPECT_EQ(library.choose(0.0), "b1");
  EXPECT_EQ(library.choose(0.99), "b2");

  // Only three history entries count: with the fourth (design) the design drop would be
  // avoided too.
  library.lore.append(drop("d1", design));
  library.lore.append(drop("h1", history));
  EXPECT_EQ(library.choose(0.0), "d1");
  library.lore.removeLast();

  // The reference category of the drop being replaced comes first, even when that drop is
  // withdrawn and outside the topics.
  SelectionRequest replacingX = Library::everything();
  replacingX.excluding = QStringLiteral("x");
  EXPECT_EQ(library.choose(replacingX, 0.0), "b1"); // (design, A, A, B): k = 4 nothing, k = 3 keeps B
  // Without the reference the design drop is outside all three recent categories.
  EXPECT_EQ(library.choose(0.0), "d1");

  // A neighbour request skips the rule.
  const Drop target = drop("target", history, {"book-1"});
  SelectionRequest related = Library::everything();
  related.relatedTo = &target;
  library.lore.removeLast();
  EXPECT_EQ(library.choose(related, 0.0), "a1");
}

TEST(DropSelection, CategoryVarietyKeepsTheListWhenNoCategoryIsLeft) {
  Library library;
  library.lore = {drop("a1", psychology), drop("a2", psychology)};
  library.history.append(
      HistoryEntry{"h", DropSnapshot(drop("h", psychology), ContentRelease()), Date(1), true});
  EXPECT_EQ(library.choose(0.99), "a2");
}

TEST(DropSelection, WeightsFavourUsefulClearSourcedDropsUnlikeThePreviousOne) {
  const Drop previous = drop("p", psychology, {"book-p", "book-q"});
  struct Case {
    const char* name;
    Drop candidate;
    const Drop* previous;
    double weight;
  };
  const std::vector<Case> cases{
      {"NoPreviousDrop", scored(drop("c", psychology), 1, 2, 3), nullptr, 14.0},
      {"SameCategory", scored(drop("c", psychology, {"book-x"}), 1, 2, 3), &previous, 7.0},
      {"OtherCategoryOtherBooks", scored(drop("c", science, {"book-x"}), 1, 2, 3), &previous, 14.0},
      {"OtherCategorySharedBook", scored(drop("c", science, {"book-q"}), 1, 2, 3), &previous, 7.0},
      {"Lowest", scored(drop("c", psychology), 0, 0, 0), &previous, 1.0},
      {"Highest", scored(drop("c", science, {"book-x"}), 5, 5, 5), &previous, 32.0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DropSelection::weight(c.candidate, c.previous), c.weight) << c.name;
}

TEST(DropSelection, DrawsAreClampedIntoTheUnitInterval) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, double>> cases{
      {0.0, 0.0},         {-0.5, 0.0},  {std::nan(""), 0.0},
      {inf, 0.0},         {-inf, 0.0},  {1.0, 0.999999999},
      {7.5, 0.999999999}, {0.25, 0.25}, {0.999999999, 0.999999999}};
  for (const auto& [raw, clamped] : cases)
    EXPECT_EQ(DropSelection::clampDraw(raw), clamped) << raw;
}

TEST(DropSelection, TheDrawWalksCumulativeWeights) {
  struct Case {
    std::vector<double> weights;
    double draw;
    qsizetype chosen;
  };
  const std::vector<Case> cases{
      {{3, 1}, 0.75, 1},        // target 3 − 3 = 0 is not below zero: the next one
      {{3, 1}, 0.7499, 0},      //
      {{3, 1}, 0.999999999, 1}, //
      {{1, 1, 1, 1}, 0.5, 2},   //
      {{5}, 0.999999999, 0},    //
      {{1e-300, 1e-300}, 0.999999999, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DropSelection::drawIndex(c.weights, c.draw), c.chosen) << c.draw;
}

TEST(DropSelection, ScriptedRandomPicksByWeightAndIsCalledOnceOnlyWhenDrawing) {
  Library library;
  library.lore = {scored(drop("light", psychology), 0, 0, 0), scored(drop("heavy", science), 1, 1, 0),
                  scored(drop("mid", design), 0, 1, 0)};
  // Weights without a previous drop: 2, 6, 4; total 12.
  struct Case {
    double draw;
    const char* chosen;
  };
  for (const Case& c : {Case{0.0, "light"}, Case{2.0 / 12, "heavy"}, Case{8.0 / 12, "mid"},
                        Case{std::nan(""), "light"}}) { // NaN would run off to the last
    int calls = 0;
    EXPECT_EQ(library.choose(Library::everything(), c.draw, &calls), c.chosen) << c.draw;
    EXPECT_EQ(calls, 1);
  }
  int calls = 0;
  EXPECT_EQ(library.choose(topics({"biography"}), 0.0, &calls), "none");
  EXPECT_EQ(calls, 0);
}

} // namespace
