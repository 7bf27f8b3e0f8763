#include "update/DownloadedUpdate.h"

#include "StandInUpdates.h"
#include "update/TarGzReader.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace brindlewick;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

// What stands where a download should be is refused with the reason, at once: a pipe nobody
// writes to must not hold the updater (the open runs in a child that an alarm ends should it
// hang).
TEST(DownloadedUpdate, OpensOnlyARegularFileAndSaysWhyNot) {
  QTemporaryDir folder;
  const QString archive = folder.filePath(QStringLiteral("archive"));
  writeFile(archive, "bytes");
  const struct {
    const char* name;
    std::function<void(const QString&)> make;
    const char* why;
  } rows[] = {
      {"nothing", [](const QString&) {}, "No such file or directory"},
      {"a link to a file", [&](const QString& path) { QFile::link(archive, path); }, "it is a symbolic link"},
      {"a folder", [](const QString& path) { QDir().mkpath(path); }, "it is not a file"},
      {"a pipe", [](const QString& path) { ::mkfifo(QFile::encodeName(path).constData(), 0600); },
       "it is not a file"},
  };
  int index = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString path = folder.filePath(QStringLiteral("download-%1").arg(++index));
    row.make(path);
    const QString expected = QStringLiteral("The update archive could not be read: %1.").arg(row.why);
    EXPECT_EXIT(
        {
          ::alarm(10);
          try {
            DownloadedUpdate::open(path);
          } catch (const ArchiveError& error) {
            std::_Exit(error.message() == expected ? 0 : 3);
          }
          std::_Exit(4);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

// The signature and every reader cover the bytes there were at the open, not what the file
// holds later: bytes added, written over in place or cut off since change nothing (and are
// no crash).
TEST(DownloadedUpdate, ReadsAndChecksTheBytesItWasOpenedWith) {
  StandInUpdates signer;
  const QByteArray key = QByteArray::fromBase64(signer.publicKey().toLatin1());
  const QByteArray bytes = QByteArray(200000, 'a') + "end";
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("download"));
  writeFile(path, bytes);
  const std::shared_ptr<const DownloadedUpdate> update = DownloadedUpdate::open(path);

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write("more");
  file.close();
  EXPECT_EQ(update->size(), bytes.size());
  EXPECT_TRUE(update->hasSignature(key, signer.signature(bytes)));
  EXPECT_FALSE(update->hasSignature(key, signer.signature(bytes + "more")));
  // Two readers at once, each from the start.
  const std::unique_ptr<QIODevice> first = update->reader();
  const std::unique_ptr<QIODevice> second = update->reader();
  EXPECT_EQ(first->read(10), bytes.left(10));
  EXPECT_EQ(second->readAll(), bytes);
  EXPECT_EQ(first->readAll(), bytes.mid(10));

  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.seek(100000));
  file.write("planted");
  file.close();
  EXPECT_TRUE(update->hasSignature(key, signer.signature(bytes)));
  EXPECT_EQ(update->reader()->readAll(), bytes);

  ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 0), 0);
  EXPECT_TRUE(update->hasSignature(key, signer.signature(bytes)));
  EXPECT_EQ(update->reader()->readAll(), bytes);
}

} // namespace
