#include "FileModes.h"
#include "foundation/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using FileModes::modeOf;
using FileModes::ScopedUmask;
using FileModes::setMode;

QByteArray contentsOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PrivateFiles, FoldersAreMadeForTheReaderAloneAndOnlyOursAreTightened) {
  const ScopedUmask session(022);
  const QTemporaryDir home;
  ASSERT_TRUE(setMode(home.path(), 0755));
  const QString nested = home.filePath(QStringLiteral("config/app.brindlewick"));
  EXPECT_EQ(PrivateFiles::createFolder(nested), std::nullopt);
  EXPECT_EQ(modeOf(home.filePath(QStringLiteral("config"))), 0700);
  EXPECT_EQ(modeOf(nested), 0700);
  EXPECT_EQ(modeOf(home.path()), 0755) << "a parent that existed keeps its mode";

  const QString open = home.filePath(QStringLiteral("open"));
  ASSERT_TRUE(QDir().mkdir(open) && setMode(open, 0755));
  EXPECT_EQ(PrivateFiles::createFolder(open), std::nullopt);
  EXPECT_EQ(modeOf(open), 0755);
  EXPECT_EQ(PrivateFiles::makePrivateFolder(open), std::nullopt);
  EXPECT_EQ(modeOf(open), 0700);

  QFile blocker(home.filePath(QStringLiteral("file")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  EXPECT_EQ(PrivateFiles::makePrivateFolder(blocker.fileName()), PrivateFiles::describe(ENOTDIR));
  EXPECT_EQ(PrivateFiles::createFolder(blocker.fileName() + QStringLiteral("/below")),
            PrivateFiles::describe(ENOTDIR));
}

TEST(PrivateFiles, TighteningTakesAwayOnlyWhatGroupAndOthersMayDo) {
  const QTemporaryDir folder;
  const struct {
    int before;
    int after;
  } cases[] = {{0644, 0600}, {0666, 0600}, {0755, 0700}, {0600, 0600}, {0400, 0400}, {0004, 0000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    const QString path = folder.filePath(QStringLiteral("file-%1").arg(c.before, 0, 8));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
    file.close();
    ASSERT_TRUE(setMode(path, c.before));
    EXPECT_TRUE(PrivateFiles::tighten(path));
    EXPECT_EQ(modeOf(path), c.after);
    ASSERT_TRUE(setMode(path, 0600));
    EXPECT_EQ(contentsOf(path), "kept");
  }
  EXPECT_TRUE(PrivateFiles::tighten(folder.filePath(QStringLiteral("missing"))));
}

// The handler that gives started programs the session's umask stays for the rest of the
// process; the umask itself is put back at the end.
TEST(PrivateFiles, TheProcessCreatesPrivateFilesWhileTheProgramsItStartsKeepTheSessionsUmask) {
  const ScopedUmask session(022);
  PrivateFiles::restrictNewFiles();
  const QTemporaryDir folder;
  QFile file(folder.filePath(QStringLiteral("written")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  EXPECT_EQ(modeOf(file.fileName()), 0600);
  ASSERT_TRUE(QDir().mkdir(folder.filePath(QStringLiteral("made"))));
  EXPECT_EQ(modeOf(folder.filePath(QStringLiteral("made"))), 0700);

  // A browser opened for the reader is started this way.
  const QString report = folder.filePath(QStringLiteral("umask"));
  ASSERT_TRUE(QProcess::startDetached(QStringLiteral("/bin/sh"),
                                      {QStringLiteral("-c"), QStringLiteral("umask > \"$0\""), report}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return contentsOf(report).endsWith('\n'); }, 5000));
  EXPECT_EQ(contentsOf(report).trimmed(), "0022");

  // A program started and watched (xdg-open, whose exit status says whether the address was
  // taken) may be spawned without the fork handlers.
  QProcess watched;
  PrivateFiles::giveSessionUmask(watched);
  watched.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("umask")});
  ASSERT_TRUE(watched.waitForFinished(5000));
  EXPECT_EQ(watched.readAllStandardOutput().trimmed(), "0022");
}

} // namespace
} // namespace brindlewick
