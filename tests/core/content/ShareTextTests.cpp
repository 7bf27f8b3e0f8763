#include "content/ShareText.h"

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

// A snapshot of `explanation` citing the books and one source per address, in that order.
DropSnapshot snapshot(const QString& explanation, const QList<QPair<QString, QStringList>>& books,
                      const QList<std::optional<QString>>& addresses) {
  ContentRelease release;
  Drop lore;
  lore.explanation = explanation;
  for (const auto& [title, authors] : books) {
    release.books.append(Book{title, title, authors, {}, {}, {}, {}});
    lore.bookIds.append(title);
  }
  for (const std::optional<QString>& address : addresses) {
    release.sources.append(
        Source{QString::number(lore.sourceIds.size()), {}, {}, address, {}, {}, {}, {}, {}});
    lore.sourceIds.append(release.sources.back().id);
  }
  return DropSnapshot(lore, release);
}

TEST(ShareText, JoinsTheNonEmptyBlocksWithABlankLine) {
  // Addresses: a decomposed duplicate (one address, written composed), one without, and code
  // point order, in which U+FF21 precedes U+10400 although its first UTF-16 unit is larger.
  const QList<std::optional<QString>> addresses = {
      "https://b.example/caf\u00e9", std::nullopt, QStringLiteral("https://x.example/\U00010400"),
      QStringLiteral("https://b.example/cafe\u0301"), QStringLiteral("https://x.example/\uFF21")};
  EXPECT_EQ(
      shareText(snapshot("Idea", {{"Systems", {"D. Meadows", "D. Wright"}}, {"Anonymous", {}}}, addresses)),
      "Idea\n\nSystems \u2014 D. Meadows, D. Wright\nAnonymous \u2014 \n\nhttps://b.example/caf\u00e9\n"
      "https://x.example/\uFF21\nhttps://x.example/\U00010400\n\nShared from Brindlewick");
  EXPECT_EQ(shareText(snapshot("Idea", {}, {std::nullopt})), "Idea\n\nShared from Brindlewick");
  EXPECT_EQ(shareText(snapshot("", {{"Title", {"Author"}}}, {})),
            "Title \u2014 Author\n\nShared from Brindlewick");
}

} // namespace
