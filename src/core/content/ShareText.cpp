#include "content/ShareText.h"

#include <QStringList>

#include <algorithm>

namespace brindlewick {

namespace {

// UTF-16 code units order characters above U+FFFF (surrogates, 0xD800...0xDFFF) before
// U+E000...U+FFFF. Moving the surrogates above that range on the first differing unit gives
// code point order without decoding, and stays a total order for unpaired surrogates.
int codePointRank(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF)
    return unit + 0x2000;
  if (unit >= 0xE000)
    return unit - 0x800;
  return unit;
}

bool precedesInCodePointOrder(const QString& a, const QString& b) {
  const auto [left, right] = std::mismatch(a.cbegin(), a.cend(), b.cbegin(), b.cend());
  if (right == b.cend())
    return false;
  if (left == a.cend())
    return true;
  return codePointRank(left->unicode()) < codePointRank(right->unicode());
}

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
  std::sort(addresses.begin(), addresses.end(), precedesInCodePointOrder);
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
