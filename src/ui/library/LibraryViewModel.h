#pragma once

#include "content/ContentSnapshots.h"
#include "model/ReaderTab.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace brindlewick {

// What the library page knows of the application: plain values, copied from the model.
struct LibraryInputs {
  bool signedIn = false;
  bool storageHealthy = true;
  // The account's reading history (newest first), saved and loved ideas.
  QList<DropSnapshot> history;
  QList<DropSnapshot> saved;
  QList<DropSnapshot> loved;
  // The installed release's drops in release order; empty without a release.
  bool hasRelease = false;
  QList<Drop> releaseLore;
  // The installed release's snapshot of a drop: none for a withdrawn or unknown drop.
  std::function<std::optional<DropSnapshot>(const Drop&)> resolve;
  // The reader's topics (raw values) and whether every topic is wanted.
  QSet<QString> topics;
  bool surpriseMe = false;
};

// Which empty state the page shows when nothing is listed.
enum class LibraryEmptyState { accountCard, noMatches, noIdeas, noSaved, noHistory };

// Every list of one library page (Discover, Saved or History), derived from plain inputs: the
// collection, its books and topics, the filtered rows, the selection and the keyboard's rules.
// It keeps what it derived and rebuilds only what a change touches: new inputs or the Recent
// switch rebuild the collection and its search index; the search text, book and topic only
// filter again. update() does the work; the setters only mark it.
class LibraryViewModel {
public:
  enum class Move { up, down };

  explicit LibraryViewModel(ReaderTab tab);

  // A row's identity: the drop's id, a colon and its revision.
  static QString identity(const DropSnapshot& snapshot);
  // The texts a search looks through: headline, explanation, the books' titles, their
  // authors and the drop's tags, joined by single spaces.
  static QString searchText(const DropSnapshot& snapshot);
  // Text as search compares it: composed (NFC), then lower-cased in the reader's locale.
  static QString searchKey(const QString& text);
  // Whether the reader may open a snapshot: storage healthy and signed in, or a snapshot
  // equal to one of the account's saved or loved ones.
  static bool canRead(const LibraryInputs& inputs, const DropSnapshot& snapshot);
  // The history list: readable entries, the newest of each identity.
  static QList<DropSnapshot> historyList(const LibraryInputs& inputs);
  // The tab's collection before any filter.
  static QList<DropSnapshot> collection(ReaderTab tab, bool recentOnly, const LibraryInputs& inputs);
  // The distinct books of `snapshots`, by title in code-point order of the composed text,
  // stably; the distinct topics, sorted.
  static QList<Book> booksOf(const QList<DropSnapshot>& snapshots);
  static QStringList topicsOf(const QList<DropSnapshot>& snapshots);
  // The empty state of a page with nothing listed.
  static LibraryEmptyState emptyState(ReaderTab tab, bool signedIn, bool storageHealthy, bool filtering);
  // "1 idea", "0 ideas".
  static QString countText(qsizetype count);
  // The arrow keys: the identity to select, or none when the key is not handled.
  static std::optional<QString> moved(const QStringList& identities, const std::optional<QString>& selection,
                                      Move move);

  ReaderTab tab() const { return m_tab; }

  // MARK: Inputs (marked; derived by update())

  void setInputs(LibraryInputs inputs);
  void setSearch(const QString& search);
  void setBook(const QString& book);
  void setTopic(const QString& topic);
  void setRecentOnly(bool recentOnly);
  void setSelection(const std::optional<QString>& selection);
  const LibraryInputs& inputs() const { return m_inputs; }
  const QString& search() const { return m_search; }
  const QString& book() const { return m_book; }
  const QString& topic() const { return m_topic; }
  bool recentOnly() const { return m_recentOnly; }
  const std::optional<QString>& selection() const { return m_selection; }

  // Derives what the marks ask for, then resets a book, topic or selection that is gone.
  void update();

  // MARK: Derived

  const QList<DropSnapshot>& all() const { return m_all; }
  const QList<Book>& books() const { return m_books; }
  const QStringList& topics() const { return m_topics; }
  // Indices into all() of the listed rows, in order.
  const QList<qsizetype>& filteredIndices() const { return m_filtered; }
  qsizetype count() const { return m_filtered.size(); }
  const DropSnapshot& row(qsizetype index) const { return m_all[m_filtered[index]]; }
  QString rowIdentity(qsizetype index) const { return m_identities[m_filtered[index]]; }
  QStringList filteredIdentities() const;
  // The listed row whose identity is the selection; none when hidden or unset.
  std::optional<qsizetype> selectedIndex() const;
  bool filtering() const { return !m_search.isEmpty() || !m_book.isEmpty() || !m_topic.isEmpty(); }
  LibraryEmptyState emptyState() const;
  // The title of the chosen book, else "All books"; the chosen topic capitalised, else "All topics".
  QString bookLabel() const;
  QString topicLabel() const;
  static QString capitalized(const QString& text);

  // Keys: the selection after an arrow (none: not handled), the row Return opens (none:
  // the key travels on).
  std::optional<QString> moved(Move move) const;
  std::optional<DropSnapshot> returnTarget() const;

  // How often the collection and the filter were derived.
  int collectionBuilds() const { return m_collectionBuilds; }
  int filterBuilds() const { return m_filterBuilds; }

private:
  void rebuildCollection();
  void refilter();

  ReaderTab m_tab;
  LibraryInputs m_inputs;
  QString m_search;
  QString m_searchKey;
  QString m_book;
  QString m_topic;
  bool m_recentOnly = false;
  std::optional<QString> m_selection;

  bool m_collectionDirty = true;
  bool m_filterDirty = true;
  QList<DropSnapshot> m_all;
  QStringList m_identities;
  QStringList m_index; // searchKey(searchText()) of each row of m_all
  QList<Book> m_books;
  QStringList m_topics;
  QList<qsizetype> m_filtered;
  int m_collectionBuilds = 0;
  int m_filterBuilds = 0;
};

} // namespace brindlewick
