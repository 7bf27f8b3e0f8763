#include "content/ContentSnapshots.h"

#include "foundation/Json.h"

#include <QJsonArray>
#include <QTextBoundaryFinder>

namespace brindlewick {

namespace {

// Walks a user-perceived character (extended grapheme cluster) at a time. A character counts
// as white space when its first code point does, so "\r\n" is one white-space character and a
// combining mark on a space goes with the space.
template <typename Visit> void forEachCharacter(const QString& text, Visit visit) {
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype start = 0;
  for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary()) {
    visit(QStringView(text).sliced(start, end - start));
    start = end;
  }
}

bool isWhiteSpace(QStringView character) {
  const char16_t first = character.front().unicode();
  if (QChar::isHighSurrogate(first) && character.size() > 1)
    return QChar::isSpace(QChar::surrogateToUcs4(first, character[1].unicode()));
  return QChar::isSpace(char32_t(first));
}

// Splits at every run of white space, drops the empty pieces and joins the rest with one space.
QString collapsed(const QString& text) {
  QString result;
  result.reserve(text.size());
  bool spaceBefore = false;
  forEachCharacter(text, [&](QStringView character) {
    if (isWhiteSpace(character)) {
      spaceBefore = true;
      return;
    }
    if (spaceBefore && !result.isEmpty())
      result += QLatin1Char(' ');
    spaceBefore = false;
    result += character;
  });
  return result;
}

qsizetype characterCount(const QString& text) {
  qsizetype count = 0;
  forEachCharacter(text, [&](QStringView) { ++count; });
  return count;
}

// The longest question the teaser shows, in user-perceived characters.
constexpr qsizetype longestTeaserQuestion = 25;

using namespace Qt::StringLiterals;

template <typename Record> QList<Record> decodeList(const Json::Tree::Value& array, const Json::Path& path) {
  return Json::readArray(array, path, [](const Json::Tree::Value& value, const Json::Path& at) {
    return Record::decode(value, at);
  });
}

} // namespace

DropSnapshot::DropSnapshot(Drop drop, const ContentRelease& release) : lore(std::move(drop)) {
  for (const Book& book : release.books)
    if (lore.bookIds.contains(book.id))
      books.append(book);
  for (const Source& source : release.sources)
    if (lore.sourceIds.contains(source.id))
      sources.append(source);
}

DropSnapshot::DropSnapshot(Stored, Drop drop, QList<Book> storedBooks, QList<Source> storedSources)
    : lore(std::move(drop)), books(std::move(storedBooks)), sources(std::move(storedSources)) {}

QString DropSnapshot::teaser() const {
  if (lore.question) {
    QString question = collapsed(*lore.question);
    if (!question.isEmpty() && characterCount(question) <= longestTeaserQuestion)
      return question;
  }
  return collapsed(lore.headline);
}

DropSnapshot DropSnapshot::fromJson(const QJsonValue& value, const QString& path) {
  // One text and one tree for the whole snapshot: the content records read trees.
  const Json::Tree tree(Json::serialize(value));
  return decode(tree.root(), Json::Path(path));
}

DropSnapshot DropSnapshot::decode(const Json::Tree::Value& value, const Json::Path& path) {
  static constexpr std::array keys{"lore"_L1, "books"_L1, "sources"_L1};
  const Json::Members members(value, path, keys);
  Drop lore = Drop::decode(members.required(0), members.path(0));
  QList<Book> books = decodeList<Book>(members.required(1), members.path(1));
  QList<Source> sources = decodeList<Source>(members.required(2), members.path(2));
  return DropSnapshot(Stored{}, std::move(lore), std::move(books), std::move(sources));
}

QJsonObject DropSnapshot::toJson() const {
  return QJsonObject{
      {"lore", lore.encode()}, {"books", encodeRecords(books)}, {"sources", encodeRecords(sources)}};
}

SavedSnapshot SavedSnapshot::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  DropSnapshot snapshot = DropSnapshot::fromJson(reader.required(u"snapshot"), reader.pathOf(u"snapshot"));
  return SavedSnapshot{std::move(snapshot), reader.date(u"savedAt")};
}

QJsonObject SavedSnapshot::toJson() const {
  return QJsonObject{{"snapshot", snapshot.toJson()}, {"savedAt", savedAt.toJson()}};
}

HistoryEntry HistoryEntry::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  QString id = reader.string(u"id");
  DropSnapshot snapshot = DropSnapshot::fromJson(reader.required(u"snapshot"), reader.pathOf(u"snapshot"));
  return HistoryEntry{std::move(id), std::move(snapshot), reader.date(u"shownAt"),
                      reader.boolean(u"automatic")};
}

QJsonObject HistoryEntry::toJson() const {
  return QJsonObject{
      {"id", id}, {"snapshot", snapshot.toJson()}, {"shownAt", shownAt.toJson()}, {"automatic", automatic}};
}

} // namespace brindlewick
