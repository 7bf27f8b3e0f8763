#pragma once

#include "content/ContentContracts.h"
#include "foundation/Date.h"
#include "foundation/Json.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

namespace brindlewick {

// A drop frozen together with the books and sources it cites, so that it can be shown,
// saved, loved and kept in the history without the release it came from.
struct DropSnapshot {
  Drop lore;
  QList<Book> books;
  QList<Source> sources;

  // Keeps the release's books and sources that the drop cites, in the release's order (not
  // the order of the drop's id lists); an id that names nothing in the release is skipped.
  // Besides decoding, the only way to make a snapshot.
  DropSnapshot(Drop lore, const ContentRelease& release);

  const QString& id() const { return lore.id; }

  // The short text of the teaser panel: the drop's question when, with its white space
  // collapsed, it is 1 to 25 user-perceived characters long; otherwise the collapsed headline.
  QString teaser() const;

  // {"lore", "books", "sources"}; other keys are ignored, the nested records are read strictly.
  static DropSnapshot fromJson(const QJsonValue& value, const QString& path = {});
  // The same reading on a value of a parsed document, for the readers of larger documents.
  static DropSnapshot decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject toJson() const;

  // A newer revision of the same drop is a different snapshot.
  friend bool operator==(const DropSnapshot&, const DropSnapshot&) = default;

private:
  // Decoding keeps the stored lists exactly as they were written.
  struct Stored {};
  DropSnapshot(Stored, Drop lore, QList<Book> books, QList<Source> sources);
};

// A snapshot kept on this computer with the time it was saved (or loved).
struct SavedSnapshot {
  DropSnapshot snapshot;
  Date savedAt;

  const QString& id() const { return snapshot.id(); }

  static SavedSnapshot fromJson(const QJsonValue& value, const QString& path = {});
  QJsonObject toJson() const;
};

// One showing of a drop. `id` is the showing's own identifier, not the drop's: two showings
// of one drop are two entries, and whoever needs the drop uses snapshot.id().
struct HistoryEntry {
  QString id;
  DropSnapshot snapshot;
  Date shownAt;
  bool automatic = false; // a scheduled delivery, not one the reader asked for

  static HistoryEntry fromJson(const QJsonValue& value, const QString& path = {});
  QJsonObject toJson() const;
};

} // namespace brindlewick
