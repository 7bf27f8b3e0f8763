#include "FileModes.h"
#include "FolderSnapshot.h"
#include "foundation/OwnFolder.h"
#include "foundation/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace brindlewick {
namespace {

using FileModes::modeOf;
using FileModes::setMode;

bool isLink(const QString& path) {
  return QFileInfo(path).isSymLink();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

// The widest clearing there is: every name counts as one of ours.
bool everyName(const QString&) {
  return true;
}

// The reader's own folder, open to others, with what a reader keeps.
void fillReadersFolder(const QString& folder) {
  ASSERT_TRUE(QDir().mkpath(folder));
  writeFile(folder + "/thesis.odt", "chapter one");
  writeFile(folder + "/photo.jpg", "jpeg");
  writeFile(folder + "/.hidden-notes", "notes");
  ASSERT_TRUE(QFile::link(folder + "/thesis.odt", folder + "/thesis-link"));
  ASSERT_TRUE(setMode(folder, 0755));
}

// Every way the program clears or tightens a folder of its own, with a link to the reader's
// folder standing at its name: the reader's folder keeps every file and its mode.
TEST(OwnFolder, ALinkAtTheNameOfAFolderOfOursLeavesWhatItPointsToAlone) {
  const struct {
    const char* name;
    std::function<void(const QString& place)> act;
    // The link is renamed "<name>.link" (else it stays where it was).
    bool setAside;
    // A real folder of ours stands at the name afterwards.
    bool madeAnew;
  } rows[] = {
      {"cleared at a start",
       [](const QString& place) {
         if (const std::optional<OwnFolder> folder = OwnFolder::open(place, OwnFolder::Absent::leave)) {
           folder->tighten();
           folder->removeFiles(everyName);
         }
       },
       true, false},
      {"opened for a download",
       [](const QString& place) {
         const std::optional<OwnFolder> folder = OwnFolder::open(place, OwnFolder::Absent::create);
         ASSERT_TRUE(folder);
         EXPECT_TRUE(folder->tighten());
         folder->removeFiles(everyName);
         writeFile(place + "/download", "archive");
       },
       true, true},
      {"tightened", [](const QString& place) { EXPECT_TRUE(PrivateFiles::tighten(place)); }, false, false},
      {"made private",
       [](const QString& place) { EXPECT_EQ(PrivateFiles::makePrivateFolder(place), std::nullopt); }, false,
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QTemporaryDir home;
    const QString readers = home.filePath("Documents");
    fillReadersFolder(readers);
    const QMap<QString, QByteArray> before = testing::folderSnapshot(readers);
    const QString place = home.filePath("updates");
    ASSERT_TRUE(QFile::link(readers, place));

    row.act(place);

    EXPECT_EQ(testing::folderSnapshot(readers), before);
    EXPECT_EQ(modeOf(readers), 0755);
    const QString linkNow = row.setAside ? place + ".link" : place;
    EXPECT_TRUE(isLink(linkNow));
    EXPECT_EQ(QFileInfo(linkNow).symLinkTarget(), readers);
    if (row.madeAnew) {
      EXPECT_FALSE(isLink(place));
      EXPECT_EQ(modeOf(place), 0700);
      EXPECT_EQ(testing::folderSnapshot(place).keys(), QStringList{"download"});
    } else if (row.setAside) {
      EXPECT_FALSE(QFileInfo::exists(place) || isLink(place));
    }
  }
}

// What the folder cannot be opened as is said, and nothing there is changed.
TEST(OwnFolder, AMissingFolderIsMadeOnlyWhenAskedAndAFileInItsPlaceIsRefused) {
  const QTemporaryDir home;
  QString problem = "unchanged";
  EXPECT_FALSE(OwnFolder::open(home.filePath("cache/updates"), OwnFolder::Absent::leave, &problem));
  EXPECT_EQ(problem, QString());
  EXPECT_FALSE(QFileInfo::exists(home.filePath("cache"))) << "nothing is made when not asked";

  const std::optional<OwnFolder> made =
      OwnFolder::open(home.filePath("cache/updates"), OwnFolder::Absent::create);
  ASSERT_TRUE(made);
  EXPECT_EQ(modeOf(home.filePath("cache")), 0700);
  EXPECT_EQ(modeOf(home.filePath("cache/updates")), 0700);

  writeFile(home.filePath("file"), "the reader's");
  EXPECT_FALSE(OwnFolder::open(home.filePath("file"), OwnFolder::Absent::create, &problem));
  EXPECT_EQ(problem, PrivateFiles::describe(ENOTDIR));
  EXPECT_EQ(testing::folderSnapshot(home.path()).value("file"), "the reader's");
}

} // namespace
} // namespace brindlewick
