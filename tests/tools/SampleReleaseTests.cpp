#include "StandInHarness.h"
#include "content/ContentContracts.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace brindlewick;

namespace {

// The archives whose pages may stand as a sample source: each book must be readable there,
// free, in the very edition the source names.
const QSet<QString> archiveHosts = {QStringLiteral("www.gutenberg.org"), QStringLiteral("en.wikisource.org"),
                                    QStringLiteral("archive.org")};

QByteArray sampleBody() {
  QFile file(QStringLiteral(BRINDLEWICK_SAMPLE_RELEASE));
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("cannot read the sample release");
  return file.readAll();
}

// The sample as a newcomer's first sync receives it: the stand-in publishes it by default,
// announces it with the manifest it makes from the bytes, and serves those bytes; the running
// build's own version checks both.
ContentRelease publishedSample() {
  static const ContentRelease sample = [] {
    StandInHarness harness;
    harness.service().accounts().addReader(
        {QStringLiteral("r1"), QStringLiteral("Ada"), QStringLiteral("a@b.c")});
    const QString token = harness.service().accounts().openSession(QStringLiteral("r1"));
    const QString version = QStringLiteral(BRINDLEWICK_CONFIGURED_VERSION);
    const ContentManifest manifest = ContractValidation::decodeManifest(
        harness.fetch("GET", QStringLiteral("/api/v1/content/manifest"), {}, token).body, version);
    const QByteArray body =
        harness.fetch("GET", QStringLiteral("/api/v1/content/releases/") + manifest.releaseId, {}, token)
            .body;
    if (body != sampleBody())
      throw std::runtime_error("the stand-in serves other bytes than the sample file");
    return ContractValidation::validateRelease(body, manifest, version);
  }();
  return sample;
}

TEST(SampleRelease, PassesTheGateOfTheBuildsOwnVersionAndCoversEveryCategoryAndKind) {
  ContentRelease release;
  ASSERT_NO_THROW(release = publishedSample());
  EXPECT_FALSE(release.developmentOnly);
  EXPECT_TRUE(release.withdrawals.isEmpty());
  EXPECT_GE(release.lore.size(), 48);
  EXPECT_LE(release.lore.size(), 72);

  QHash<Category, int> perCategory;
  QSet<DropKind> kinds;
  QSet<EpistemicStatus> statuses;
  bool teaserSizedQuestion = false;
  for (const Drop& drop : release.lore) {
    ++perCategory[drop.category];
    kinds.insert(drop.kind);
    statuses.insert(drop.epistemicStatus);
    // The teaser shows a question only when it is short.
    teaserSizedQuestion = teaserSizedQuestion || (drop.question && drop.question->size() <= 25);
  }
  for (Category category : allCases<Category>())
    EXPECT_GE(perCategory.value(category), 4) << rawValue(category).toStdString();
  for (DropKind kind : allCases<DropKind>())
    EXPECT_TRUE(kinds.contains(kind)) << rawValue(kind).toStdString();
  EXPECT_GE(statuses.size(), 3);
  EXPECT_TRUE(teaserSizedQuestion);
}

TEST(SampleRelease, EveryBookAndSourceIsPublicDomainAtAnArchive) {
  const ContentRelease release = publishedSample();
  EXPECT_GE(release.books.size(), 20);
  EXPECT_LE(release.books.size(), 40);
  for (const Book& book : release.books) {
    SCOPED_TRACE(book.title.toStdString());
    ASSERT_TRUE(book.publicationYear.has_value());
    EXPECT_LT(*book.publicationYear, 1929);
  }

  QSet<QString> citedBooks;
  for (const Source& source : release.sources) {
    SCOPED_TRACE(source.title.toStdString());
    EXPECT_EQ(source.rightsBasis, RightsBasis::publicDomain);
    ASSERT_TRUE(source.url.has_value());
    const QUrl url(*source.url);
    EXPECT_EQ(url.scheme(), QStringLiteral("https"));
    EXPECT_TRUE(archiveHosts.contains(url.host())) << url.host().toStdString();
    citedBooks.insert(source.bookId);
  }
  // A book no source names could not be checked against an archive.
  for (const Book& book : release.books)
    EXPECT_TRUE(citedBooks.contains(book.id)) << book.title.toStdString();
}

} // namespace
