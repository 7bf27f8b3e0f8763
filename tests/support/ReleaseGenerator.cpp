#include "ReleaseGenerator.h"

#include "foundation/Json.h"

#include <algorithm>
#include <stdexcept>

namespace brindlewick {

namespace {

enum IdKind { bookKind = 1, sourceKind = 2, dropKind = 3, withdrawnKind = 4 };

const QStringList tagWords = {QStringLiteral("habits"),  QStringLiteral("memory"),
                              QStringLiteral("systems"), QStringLiteral("markets"),
                              QStringLiteral("design"),  QStringLiteral("attention"),
                              QStringLiteral("history"), QStringLiteral("risk")};

// Letters only, so padding never adds white space that reading would trim away.
QString filler(qsizetype length) {
  static const QString pattern = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
  QString text;
  text.reserve(length);
  while (text.size() < length)
    text += pattern.left(length - text.size());
  return text;
}

Drop makeDrop(int index, int drops, const ReleaseShape& shape, const QList<Source>& sources) {
  Drop drop;
  drop.id = generatedId(dropKind, index, shape.seed);
  drop.revision = 1 + index % 3;
  drop.kind = allCases<DropKind>()[std::size_t(index) % caseCount<DropKind>()];
  drop.headline = QStringLiteral("Idea %1: small levers move large systems").arg(index);
  drop.explanation =
      QString::fromUtf8("A short explanation \xE2\x80\x94 with a caf\xC3\xA9 and a na\xC3\xAFve reader.");
  drop.longExplanation = QStringLiteral("The longer explanation of idea %1.").arg(index);
  drop.whySurprising = QStringLiteral("Intuition says otherwise.");
  drop.category = allCases<Category>()[std::size_t(index) % caseCount<Category>()];
  drop.tags = {tagWords[index % tagWords.size()], tagWords[(index + 3) % tagWords.size()]};
  drop.conceptKey = QStringLiteral("concept-%1").arg(index % 500);
  drop.epistemicStatus = allCases<EpistemicStatus>()[std::size_t(index) % caseCount<EpistemicStatus>()];
  drop.scores = Scores{index % 6,       (index + 1) % 6, (index + 2) % 6, (index + 3) % 6,
                       (index + 4) % 6, (index + 5) % 6, 5 - index % 6,   3};

  const Source& first = sources[index % sources.size()];
  drop.sourceIds = {first.id};
  drop.bookIds = {first.bookId};
  if (drop.kind == DropKind::crossBookConnection) {
    const auto other = std::find_if(sources.begin(), sources.end(),
                                    [&](const Source& s) { return s.bookId != first.bookId; });
    if (other != sources.end()) {
      drop.sourceIds.append(other->id);
      drop.bookIds.append(other->bookId);
    } else {
      drop.kind = DropKind::mentalModel;
    }
  }
  if (drop.kind == DropKind::beliefVsReality)
    drop.commonBelief = QStringLiteral("Big effects need big causes.");
  if (drop.kind == DropKind::question)
    drop.question = QStringLiteral("What would change if this were true?");
  if (drops > 1 && index % 4 == 0)
    drop.relatedLoreIds = {generatedId(dropKind, (index + 1) % drops, shape.seed)};
  return drop;
}

// Lengthens drop texts (up to their bounds) until the body has exactly `target` bytes.
void pad(ContentRelease& release, QByteArray& body, qsizetype target) {
  qsizetype missing = target - body.size();
  if (missing < 0)
    throw std::invalid_argument("the release is larger than the requested size");
  for (Drop& drop : release.lore) {
    if (missing == 0)
      break;
    const qsizetype room = std::min<qsizetype>(5000 - drop.longExplanation.size(), missing);
    drop.longExplanation += filler(room);
    missing -= room;
  }
  if (missing > 0)
    throw std::invalid_argument("too few drops to reach the requested size");
  body = encodeRelease(release);
  if (body.size() != target)
    throw std::logic_error("padding missed the requested size");
}

} // namespace

QString generatedId(int kind, qint64 index, int seed) {
  const auto hex = [](quint64 value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).right(width);
  };
  return hex(0x5eed0000u + quint64(seed), 8) + u'-' + hex(quint64(kind), 4) + QStringLiteral("-4") +
         hex(quint64(index) >> 48, 3) + QStringLiteral("-8") + hex(quint64(seed), 3) + u'-' +
         hex(quint64(index) & 0xFFFFFFFFFFFFull, 12);
}

QByteArray encodeRelease(const ContentRelease& release) {
  return Json::serialize(release.encode());
}

GeneratedRelease generateRelease(int drops, const ReleaseShape& shape) {
  GeneratedRelease generated;
  ContentRelease& release = generated.release;
  release.releaseId = shape.releaseId;
  release.publishedAt = shape.publishedAt;
  release.minimumAppVersion = shape.minimumAppVersion;
  release.developmentOnly = shape.developmentOnly;

  const int books = shape.books > 0 ? shape.books : std::max(2, drops / 20);
  const int sources = shape.sources > 0 ? shape.sources : 2 * books;
  const int withdrawals = shape.withdrawals > 0 ? shape.withdrawals : drops / 50;

  for (int i = 0; i < books; ++i) {
    Book book;
    book.id = generatedId(bookKind, i, shape.seed);
    book.title = QStringLiteral("Book %1").arg(i);
    book.authors = {QStringLiteral("Author %1").arg(i % 97)};
    if (i % 3 != 0)
      book.publicationYear = 1900 + i % 125;
    if (i % 2 == 0)
      book.publisher = QStringLiteral("Publisher %1").arg(i % 13);
    book.description = QStringLiteral("A book about one of the ideas.");
    book.topics = {allCases<Category>()[std::size_t(i) % caseCount<Category>()]};
    release.books.append(book);
  }
  for (int i = 0; i < sources; ++i) {
    Source source;
    source.id = generatedId(sourceKind, i, shape.seed);
    source.bookId = release.books[i % books].id;
    source.title = QStringLiteral("Chapter %1").arg(i);
    if (i % 2 == 0)
      source.url = QStringLiteral("https://example.com/sources/%1").arg(i);
    source.locator = QStringLiteral("p. %1").arg(1 + i % 400);
    source.sourceType = allCases<SourceType>()[std::size_t(i) % caseCount<SourceType>()];
    source.rightsBasis = allCases<RightsBasis>()[std::size_t(i) % caseCount<RightsBasis>()];
    source.rightsNotes = QStringLiteral("Short quotation.");
    source.accessedAt = QStringLiteral("2025-11-%1T09:30:00Z").arg(1 + i % 28, 2, 10, QLatin1Char('0'));
    release.sources.append(source);
  }
  if (drops > 0 && sources == 0)
    throw std::invalid_argument("drops need at least one source");
  for (int i = 0; i < drops; ++i)
    release.lore.append(makeDrop(i, drops, shape, release.sources));
  for (int i = 0; i < withdrawals; ++i) {
    Withdrawal withdrawal;
    withdrawal.loreId = generatedId(withdrawnKind, i, shape.seed);
    withdrawal.reason = QStringLiteral("Replaced by a better drop.");
    withdrawal.withdrawnAt = QStringLiteral("2026-01-15T12:00:00.250+01:00");
    release.withdrawals.append(withdrawal);
  }

  generated.body = encodeRelease(release);
  if (shape.targetBytes > 0)
    pad(release, generated.body, shape.targetBytes);
  generated.manifest = manifestFor(release, generated.body);
  generated.manifestBody = Json::serialize(generated.manifest.encode());
  return generated;
}

} // namespace brindlewick
