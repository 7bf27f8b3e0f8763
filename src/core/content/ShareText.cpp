#include "content/ShareText.h"

#include <QStringList>

#include <algorithm>

namespace brindlewick {

namespace {

QString booksBlock(const DropSnapshot& snapshot) {
  QStringList lines;
  for (const Book& book : snapshot.books)
    lines.append(book.title + QStringLiteral(" \u2014 ") + book.authors.join(QStringLiteral(", ")));
  return lines.join(QLatin1Char('\n'));
}

QString sourcesBlock(const DropSnapshot& snapshot) {
  QStringList addresses;
  for (const Source& source : snapshot.sources) {
    if (source.url)
      addresses.append(source.url->normalized(QString::NormalizationForm_C));
  }
  std::sort(addresses.begin(), addresses.end(), ContractRules::codePointLess);
  addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
  return addresses.join(QLatin1Char('\n'));
}

} // namespace

QString shareText(const DropSnapshot& snapshot) {
  QStringList blocks{snapshot.lore.explanation, booksBlock(snapshot), sourcesBlock(snapshot),
                     QStringLiteral("Shared from Brindlewick")};
  blocks.removeAll(QString());
  return blocks.join(QStringLiteral("\n\n"));
}

} // namespace brindlewick
