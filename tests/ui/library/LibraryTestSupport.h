#pragma once

#include "content/ContentSnapshots.h"

#include <QStringList>

namespace brindlewick::testing {

// A drop citing `books` (each book's id is its title), with a headline and explanation.
inline Drop libraryDrop(const QString& id, qint64 revision, Category category = Category::science,
                        const QString& headline = QStringLiteral("Headline"),
                        const QString& explanation = QStringLiteral("Explanation")) {
  Drop drop;
  drop.id = id;
  drop.revision = revision;
  drop.category = category;
  drop.headline = headline;
  drop.explanation = explanation;
  return drop;
}

// A snapshot of `drop` citing books by `titles` (id = title), each by `author`.
inline DropSnapshot librarySnapshot(Drop drop, const QStringList& titles = {},
                                    const QString& author = QStringLiteral("Ada Writer")) {
  ContentRelease release;
  for (const QString& title : titles) {
    Book book;
    book.id = title;
    book.title = title;
    book.authors = author.isEmpty() ? QStringList{} : QStringList{author};
    release.books.append(book);
    drop.bookIds.append(title);
  }
  return DropSnapshot(std::move(drop), release);
}

} // namespace brindlewick::testing
