#include "update/ArchiveExtractor.h"

#include "FolderSnapshot.h"
#include "TarGzBuilder.h"
#include "UpdateArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

using namespace brindlewick;

namespace {

QMap<QString, QByteArray> tree(const QString& root) {
  return brindlewick::testing::folderSnapshot(root);
}

QString writeArchive(const QString& folder, const QByteArray& bytes) {
  const QString path = QDir(folder).filePath(QStringLiteral("update.tar.gz"));
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(bytes);
  return path;
}

int modeOf(const QString& path) {
  struct stat status {};
  lstat(QFile::encodeName(path).constData(), &status);
  return int(status.st_mode & 07777);
}

struct Refusal {
  const char* name;
  std::function<QByteArray()> archive;
  const char* message;
  ArchiveLimits limits = {};
};

QByteArray withFiles(const std::function<void(TarGzBuilder&)>& add) {
  TarGzBuilder builder;
  builder.addFolder("release/");
  builder.addFile("release/first", "written before the bad entry");
  add(builder);
  return builder.archive();
}

QByteArray truncated() {
  const QByteArray whole = sampleUpdateArchive(QStringLiteral("1.4.0"));
  return whole.left(whole.size() * 2 / 3);
}

QByteArray corruptedInTheMiddle() {
  QByteArray bytes = sampleUpdateArchive(QStringLiteral("1.4.0"));
  bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5a);
  return bytes;
}

QByteArray badChecksum() {
  TarGzBuilder builder;
  builder.addFile("file", "x");
  QByteArray tar = builder.tar();
  tar[0] = 'g';
  return TarGzBuilder::gzip(tar);
}

QByteArray manyEntries() {
  TarGzBuilder builder;
  for (int i = 0; i < 5; ++i)
    builder.addFile("file-" + QByteArray::number(i), "x");
  return builder.archive();
}

QByteArray largeEntries() {
  TarGzBuilder builder;
  builder.addFile("a", QByteArray(3000, 'a'));
  builder.addFile("b", QByteArray(3000, 'b'));
  return builder.archive();
}

void PrintTo(const Refusal& refusal, std::ostream* out) {
  *out << refusal.name;
}

class ArchiveRefusalTest : public ::testing::TestWithParam<Refusal> {};

// Each archive is refused with its reason, and nothing beside the destination is touched: the
// sandbox holding it, with a file an escaping entry would reach, stays as it was.
TEST_P(ArchiveRefusalTest, isRefusedWithItsReasonAndTouchesNothingOutside) {
  QTemporaryDir sandbox;
  ASSERT_TRUE(sandbox.isValid());
  QDir(sandbox.path()).mkpath(QStringLiteral("outside"));
  QFile bait(QDir(sandbox.path()).filePath(QStringLiteral("outside/bait")));
  ASSERT_TRUE(bait.open(QIODevice::WriteOnly));
  bait.write("untouched");
  bait.close();
  const QString archive = writeArchive(sandbox.path(), GetParam().archive());
  const QString destination = QDir(sandbox.path()).filePath(QStringLiteral("staging/inner"));
  QDir().mkpath(destination);
  const QMap<QString, QByteArray> before = tree(sandbox.path());

  try {
    extractArchive(archive, destination, GetParam().limits);
    FAIL() << "the archive was unpacked";
  } catch (const ArchiveError& error) {
    EXPECT_TRUE(error.message().contains(QLatin1String(GetParam().message))) << error.message().toStdString();
    EXPECT_TRUE(error.message().endsWith(QLatin1Char('.'))) << error.message().toStdString();
  }

  QMap<QString, QByteArray> after = tree(sandbox.path());
  for (auto it = after.begin(); it != after.end();)
    it = it.key().startsWith(QLatin1String("staging/inner/")) ? after.erase(it) : std::next(it);
  EXPECT_EQ(after, before);
}

const Refusal refusals[] = {
    {"absolutePath",
     [] { return withFiles([](TarGzBuilder& b) { b.addFile("/tmp/brindlewick-escape", "x"); }); },
     "an absolute path"},
    {"parentFolder",
     [] { return withFiles([](TarGzBuilder& b) { b.addFile("release/../../outside/bait", "x"); }); },
     "a path that leaves its folder"},
    {"linkPointingOut",
     [] { return withFiles([](TarGzBuilder& b) { b.addLink("release/out", "../../outside"); }); },
     "a link pointing outside it"},
    {"absoluteLink", [] { return withFiles([](TarGzBuilder& b) { b.addLink("release/etc", "/etc"); }); },
     "a link pointing outside it"},
    {"linkClimbingFromALink",
     [] {
       return withFiles([](TarGzBuilder& b) {
         b.addFolder("release/a/b/");
         b.addLink("release/a/b/up", "../../..");
         // By name inside, but ".." climbs from where "up" points: out of the folder.
         b.addLink("release/a/b/out", "up/../../../outside");
       });
     },
     "a link pointing outside it"},
    {"fileThroughALink",
     [] {
       return withFiles([](TarGzBuilder& b) {
         b.addFolder("release/real/");
         b.addLink("release/alias", "real");
         b.addFile("release/alias/file", "x");
       });
     },
     "leads through a symbolic link"},
    {"fileOverALink",
     [] {
       return withFiles([](TarGzBuilder& b) {
         b.addLink("release/alias", "first");
         b.addFile("release/alias", "x");
       });
     },
     "would replace another entry"},
    {"sameFileTwice", [] { return withFiles([](TarGzBuilder& b) { b.addFile("release/first", "again"); }); },
     "would replace another entry"},
    {"hardLink",
     [] {
       return withFiles([](TarGzBuilder& b) { b.addEntry('1', "release/hard", {}, 0644, "release/first"); });
     },
     "neither a file, a folder nor a symbolic link"},
    {"device", [] { return withFiles([](TarGzBuilder& b) { b.addEntry('3', "release/tty", {}); }); },
     "neither a file, a folder nor a symbolic link"},
    {"pipe", [] { return withFiles([](TarGzBuilder& b) { b.addEntry('6', "release/pipe", {}); }); },
     "neither a file, a folder nor a symbolic link"},
    {"oversizeEntry", largeEntries, "which is larger than", ArchiveLimits{.maximumEntryBytes = 2048}},
    {"oversizeTotal", largeEntries, "unpacks to more than", ArchiveLimits{.maximumTotalBytes = 5000}},
    {"tooManyEntries", manyEntries, "more than 3 entries", ArchiveLimits{.maximumEntries = 3}},
    {"truncatedGzip", truncated, "it ends early"},
    {"corruptedStream", corruptedInTheMiddle, "The update archive is damaged"},
    {"badHeaderChecksum", badChecksum, "checksum does not match"},
    {"dataAfterTheEnd", [] { return sampleUpdateArchive(QStringLiteral("1.4.0")) + "trailing"; },
     "data after its end"},
    {"notGzip", [] { return QByteArray("just text, not an archive"); }, "not a gzip-compressed tar archive"},
    {"emptyFile", [] { return QByteArray(); }, "not a gzip-compressed tar archive"},
    {"notTar", [] { return TarGzBuilder::gzip(QByteArray(1024, 'x')); },
     "not a tar archive in the ustar format"},
};

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveRefusalTest, ::testing::ValuesIn(refusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                           return std::string(info.param.name);
                         });

TEST(ArchiveExtractorTest, unpacksFilesFoldersAndLinksPrivately) {
  QTemporaryDir sandbox;
  TarGzBuilder builder;
  builder.addFolder("./");
  builder.addFolder("top/");
  builder.addFile("top/program", "#!/bin/sh\n", 0755);
  builder.addFile("top/notes.txt", "plain", 0664);
  builder.addLink("top/alias", "program");
  // Implied folders and a name longer than a ustar header holds.
  const QByteArray longName = "top/deep/" + QByteArray(120, 'n');
  builder.addFile(longName, "long");
  const QString archive = writeArchive(sandbox.path(), builder.archive());
  const QString destination = QDir(sandbox.path()).filePath(QStringLiteral("out"));
  QDir().mkpath(destination);

  extractArchive(archive, destination);

  const QDir out(destination);
  QMap<QString, QByteArray> expected{
      {QStringLiteral("top"), "folder"},
      {QStringLiteral("top/program"), "#!/bin/sh\n"},
      {QStringLiteral("top/notes.txt"), "plain"},
      {QStringLiteral("top/alias"), "link:" + QFile::encodeName(out.filePath(QStringLiteral("top/program")))},
      {QStringLiteral("top/deep"), "folder"},
      {QString::fromUtf8(longName), "long"}};
  EXPECT_EQ(tree(destination), expected);
  EXPECT_EQ(QFileInfo(out.filePath(QStringLiteral("top/alias"))).symLinkTarget(),
            out.filePath(QStringLiteral("top/program")));
  EXPECT_EQ(modeOf(out.filePath(QStringLiteral("top/program"))), 0700);
  EXPECT_EQ(modeOf(out.filePath(QStringLiteral("top/notes.txt"))), 0600);
  EXPECT_EQ(modeOf(out.filePath(QStringLiteral("top/deep"))), 0700);
  EXPECT_EQ(modeOf(out.filePath(QStringLiteral("top"))), 0700);
}

struct LinkTarget {
  const char* name;
  // Links to add, named below the archive's top folder; its program folder is lib/brindlewick.
  QList<std::pair<QByteArray, QByteArray>> links;
  // The link the refusal names, or none when the program folder is accepted.
  const char* refused;
};

void PrintTo(const LinkTarget& row, std::ostream* out) {
  *out << row.name;
}

class LinkTargetTest : public ::testing::TestWithParam<LinkTarget> {};

// Only the program folder is put in place, so a link in it must stay inside it, resolved by
// name from where it stands, through other links too; a link elsewhere in the archive is not
// put anywhere and is no concern of it.
TEST_P(LinkTargetTest, aLinkInTheProgramFolderMustStayInsideIt) {
  QTemporaryDir sandbox;
  TarGzBuilder builder;
  builder.addFolder("release/lib/brindlewick/sub/");
  builder.addFolder("release/bin/");
  builder.addFolder("release/share/");
  builder.addFile("release/lib/brindlewick/brindlewick", "#!/bin/sh\n", 0755);
  builder.addFile("release/lib/brindlewick/sub/data", "data");
  builder.addLink("release/bin/brindlewick", "../lib/brindlewick/brindlewick");
  for (const auto& [name, target] : GetParam().links)
    builder.addLink("release/" + name, target);
  const QString staging = QDir(sandbox.path()).filePath(QStringLiteral("staging"));
  QDir().mkpath(staging);
  extractArchive(writeArchive(sandbox.path(), builder.archive()), staging);
  const QString program = QDir(staging).filePath(QStringLiteral("release/lib/brindlewick"));

  if (!GetParam().refused) {
    EXPECT_NO_THROW(requireLinksInside(program, staging));
    return;
  }
  try {
    requireLinksInside(program, staging);
    FAIL() << "the program folder was accepted";
  } catch (const ArchiveError& error) {
    EXPECT_EQ(error.message(),
              QStringLiteral("The update archive holds \"release/%1\", a link pointing outside "
                             "the program folder; it was not installed.")
                  .arg(QString::fromLatin1(GetParam().refused)));
  }
}

const LinkTarget linkTargets[] = {
    {"besideItsTarget", {{"lib/brindlewick/alias", "brindlewick"}}, nullptr},
    {"theFolderItself", {{"lib/brindlewick/self", "."}}, nullptr},
    {"upFromAFolderInside", {{"lib/brindlewick/sub/up", ".."}}, nullptr},
    {"downIntoAFolderInside", {{"lib/brindlewick/data", "sub/data"}}, nullptr},
    {"toNothingYet", {{"lib/brindlewick/later", "sub/not-there"}}, nullptr},
    {"throughALinkThatStaysInside",
     {{"lib/brindlewick/inner", "sub"}, {"lib/brindlewick/hop", "inner/data"}},
     nullptr},
    {"intoThePrefix", {{"lib/brindlewick/home", "../../bin"}}, "lib/brindlewick/home"},
    {"toTheTopOfTheArchive", {{"lib/brindlewick/up", "../../.."}}, "lib/brindlewick/up"},
    {"itsParent", {{"lib/brindlewick/parent", ".."}}, "lib/brindlewick/parent"},
    {"outFromAFolderInside", {{"lib/brindlewick/sub/out", "../../../share"}}, "lib/brindlewick/sub/out"},
    {"outAndBackIn", {{"lib/brindlewick/again", "../brindlewick/brindlewick"}}, "lib/brindlewick/again"},
    {"throughALinkThatPointsOut",
     {{"lib/brindlewick/exit", "../../share"}, {"lib/brindlewick/hop", "exit/file"}},
     "lib/brindlewick/exit"},
};

INSTANTIATE_TEST_SUITE_P(Targets, LinkTargetTest, ::testing::ValuesIn(linkTargets),
                         [](const ::testing::TestParamInfo<LinkTarget>& info) {
                           return std::string(info.param.name);
                         });

} // namespace
