#include "ui/library/LibraryViewModel.h"

#include "content/ContractRules.h"

#include <QLocale>

#include <algorithm>
#include <numeric>

namespace brindlewick {

LibraryViewModel::LibraryViewModel(ReaderTab tab) : m_tab(tab) {}

QString LibraryViewModel::identity(const DropSnapshot& snapshot) {
  return snapshot.lore.id + u':' + QString::number(snapshot.lore.revision);
}

QString LibraryViewModel::searchText(const DropSnapshot& snapshot) {
  QStringList parts{snapshot.lore.headline, snapshot.lore.explanation};
  for (const Book& book : snapshot.books)
    parts.append(book.title);
  for (const Book& book : snapshot.books)
    parts.append(book.authors);
  parts.append(snapshot.lore.tags);
  return parts.join(u' ');
}

QString LibraryViewModel::searchKey(const QString& text) {
  // Composed first, so that "é" typed as e and a combining accent matches the stored "é";
  // then the locale's lower case, which knows more than a per-unit case fold.
  return QLocale().toLower(text.normalized(QString::NormalizationForm_C));
}

bool LibraryViewModel::canRead(const LibraryInputs& inputs, const DropSnapshot& snapshot) {
  if (inputs.storageHealthy && inputs.signedIn)
    return true;
  return inputs.saved.contains(snapshot) || inputs.loved.contains(snapshot);
}

QList<DropSnapshot> LibraryViewModel::historyList(const LibraryInputs& inputs) {
  QList<DropSnapshot> list;
  if (!inputs.signedIn)
    return list;
  QSet<QString> seen;
  for (const DropSnapshot& snapshot : inputs.history) {
    if (!canRead(inputs, snapshot))
      continue;
    const QString key = identity(snapshot);
    if (seen.contains(key))
      continue;
    seen.insert(key);
    list.append(snapshot);
  }
  return list;
}

QList<DropSnapshot> LibraryViewModel::collection(ReaderTab tab, bool recentOnly,
                                                 const LibraryInputs& inputs) {
  if (tab == ReaderTab::history || (tab == ReaderTab::discover && recentOnly))
    return historyList(inputs);
  if (tab == ReaderTab::saved)
    return inputs.saved;
  QList<DropSnapshot> list;
  if (tab != ReaderTab::discover || !inputs.storageHealthy || !inputs.signedIn || !inputs.hasRelease)
    return list;
  for (const Drop& drop : inputs.releaseLore) {
    if (!inputs.surpriseMe && !inputs.topics.contains(rawValue(drop.category)))
      continue;
    if (auto snapshot = inputs.resolve ? inputs.resolve(drop) : std::nullopt)
      list.append(std::move(*snapshot));
  }
  return list;
}

QList<Book> LibraryViewModel::booksOf(const QList<DropSnapshot>& snapshots) {
  QList<Book> books;
  QSet<QString> seen;
  for (const DropSnapshot& snapshot : snapshots) {
    for (const Book& book : snapshot.books) {
      if (seen.contains(book.id))
        continue;
      seen.insert(book.id);
      books.append(book);
    }
  }
  // Keys computed once: the composed title, compared by code point (UTF-16 order puts
  // characters above U+FFFF before some of the basic plane).
  QStringList keys;
  keys.reserve(books.size());
  for (const Book& book : books)
    keys.append(book.title.normalized(QString::NormalizationForm_C));
  QList<qsizetype> order(books.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](qsizetype a, qsizetype b) { return ContractRules::codePointLess(keys[a], keys[b]); });
  QList<Book> sorted;
  sorted.reserve(books.size());
  for (qsizetype index : order)
    sorted.append(books[index]);
  return sorted;
}

QStringList LibraryViewModel::topicsOf(const QList<DropSnapshot>& snapshots) {
  QSet<QString> names;
  for (const DropSnapshot& snapshot : snapshots)
    names.insert(rawValue(snapshot.lore.category));
  QStringList topics(names.begin(), names.end());
  std::sort(topics.begin(), topics.end());
  return topics;
}

LibraryEmptyState LibraryViewModel::emptyState(ReaderTab tab, bool signedIn, bool storageHealthy,
                                               bool filtering) {
  if (!signedIn || (tab == ReaderTab::discover && !storageHealthy))
    return LibraryEmptyState::accountCard;
  if (filtering)
    return LibraryEmptyState::noMatches;
  switch (tab) {
  case ReaderTab::saved: return LibraryEmptyState::noSaved;
  case ReaderTab::history: return LibraryEmptyState::noHistory;
  default: return LibraryEmptyState::noIdeas;
  }
}

QString LibraryViewModel::countText(qsizetype count) {
  return QString::number(count) + (count == 1 ? QStringLiteral(" idea") : QStringLiteral(" ideas"));
}

std::optional<QString> LibraryViewModel::moved(const QStringList& identities,
                                               const std::optional<QString>& selection, Move move) {
  if (identities.isEmpty())
    return std::nullopt;
  const qsizetype found = selection ? identities.indexOf(*selection) : -1;
  qsizetype next = 0;
  if (found >= 0)
    next = std::clamp<qsizetype>(found + (move == Move::down ? 1 : -1), 0, identities.size() - 1);
  return identities[next];
}

QString LibraryViewModel::capitalized(const QString& text) {
  QString result = text.toLower();
  bool start = true;
  for (QChar& c : result) {
    if (start && c.isLetter())
      c = c.toUpper();
    start = c.isSpace();
  }
  return result;
}

// MARK: Inputs

void LibraryViewModel::setInputs(LibraryInputs inputs) {
  m_inputs = std::move(inputs);
  m_collectionDirty = true;
}

void LibraryViewModel::setSearch(const QString& search) {
  if (search == m_search)
    return;
  m_search = search;
  m_searchKey = searchKey(search);
  m_filterDirty = true;
}

void LibraryViewModel::setBook(const QString& book) {
  if (book == m_book)
    return;
  m_book = book;
  m_filterDirty = true;
}

void LibraryViewModel::setTopic(const QString& topic) {
  if (topic == m_topic)
    return;
  m_topic = topic;
  m_filterDirty = true;
}

void LibraryViewModel::setRecentOnly(bool recentOnly) {
  if (recentOnly == m_recentOnly)
    return;
  m_recentOnly = recentOnly;
  m_collectionDirty = true;
}

void LibraryViewModel::setSelection(const std::optional<QString>& selection) {
  m_selection = selection;
}

void LibraryViewModel::update() {
  if (m_collectionDirty) {
    rebuildCollection();
    // A filter on a book or topic the new collection lacks would hide everything unseen.
    if (!m_book.isEmpty() &&
        std::none_of(m_books.begin(), m_books.end(), [&](const Book& book) { return book.id == m_book; }))
      m_book.clear();
    if (!m_topic.isEmpty() && !m_topics.contains(m_topic))
      m_topic.clear();
    m_filterDirty = true;
  }
  if (m_filterDirty) {
    refilter();
    if (m_selection && !selectedIndex())
      m_selection.reset();
  }
}

void LibraryViewModel::rebuildCollection() {
  ++m_collectionBuilds;
  m_collectionDirty = false;
  m_all = collection(m_tab, m_recentOnly, m_inputs);
  m_identities.clear();
  m_index.clear();
  m_identities.reserve(m_all.size());
  m_index.reserve(m_all.size());
  for (const DropSnapshot& snapshot : m_all) {
    m_identities.append(identity(snapshot));
    m_index.append(searchKey(searchText(snapshot)));
  }
  m_books = booksOf(m_all);
  m_topics = topicsOf(m_all);
}

void LibraryViewModel::refilter() {
  ++m_filterBuilds;
  m_filterDirty = false;
  m_filtered.clear();
  const bool anyBook = m_book.isEmpty();
  const bool anyTopic = m_topic.isEmpty();
  const bool anyText = m_search.isEmpty();
  for (qsizetype i = 0; i < m_all.size(); ++i) {
    const Drop& drop = m_all[i].lore;
    if (!anyBook && !drop.bookIds.contains(m_book))
      continue;
    if (!anyTopic && rawValue(drop.category) != m_topic)
      continue;
    if (!anyText && !m_index[i].contains(m_searchKey))
      continue;
    m_filtered.append(i);
  }
}

// MARK: Derived

QStringList LibraryViewModel::filteredIdentities() const {
  QStringList identities;
  identities.reserve(m_filtered.size());
  for (qsizetype index : m_filtered)
    identities.append(m_identities[index]);
  return identities;
}

std::optional<qsizetype> LibraryViewModel::selectedIndex() const {
  if (!m_selection)
    return std::nullopt;
  for (qsizetype i = 0; i < m_filtered.size(); ++i) {
    if (m_identities[m_filtered[i]] == *m_selection)
      return i;
  }
  return std::nullopt;
}

LibraryEmptyState LibraryViewModel::emptyState() const {
  return emptyState(m_tab, m_inputs.signedIn, m_inputs.storageHealthy, filtering());
}

QString LibraryViewModel::bookLabel() const {
  for (const Book& book : m_books) {
    if (book.id == m_book)
      return book.title;
  }
  return QStringLiteral("All books");
}

QString LibraryViewModel::topicLabel() const {
  return m_topic.isEmpty() ? QStringLiteral("All topics") : capitalized(m_topic);
}

std::optional<QString> LibraryViewModel::moved(Move move) const {
  return moved(filteredIdentities(), m_selection, move);
}

std::optional<DropSnapshot> LibraryViewModel::returnTarget() const {
  if (const auto index = selectedIndex())
    return row(*index);
  return std::nullopt;
}

} // namespace brindlewick
