#include "update/SealedCopy.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace brindlewick;

namespace {

QByteArray readAll(int descriptor, qint64 size) {
  QByteArray bytes(size, '\0');
  qint64 done = 0;
  while (done < size) {
    const ssize_t got = ::pread(descriptor, bytes.data() + done, size_t(size - done), off_t(done));
    if (got <= 0)
      break;
    done += got;
  }
  bytes.truncate(done);
  return bytes;
}

class SealedCopyTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_folder.isValid());
    // More than one piece of the copy, so a cut can land after the first.
    m_bytes = QByteArray(3 << 20, 'a') + "end";
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(m_bytes), m_bytes.size());
    file.close();
    m_source = ::open(QFile::encodeName(path()).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(m_source, 0);
  }
  void TearDown() override { ::close(m_source); }

  QString path() const { return m_folder.filePath(QStringLiteral("download")); }

  QTemporaryDir m_folder;
  QByteArray m_bytes;
  int m_source = -1;
};

// Nobody who gets hold of the copy's descriptor can change it: no write, no shrinking (so a
// mapping never faults), no growing, no writable mapping, and no seal taken off.
TEST_F(SealedCopyTest, CannotBeChangedThroughItsDescriptor) {
  const SealedCopy copy = SealedCopy::of(m_source, m_bytes.size());
  const int fd = copy.descriptor();
  EXPECT_EQ(::pwrite(fd, "x", 1, 0), -1);
  EXPECT_NE(::ftruncate(fd, 10), 0);
  EXPECT_NE(::ftruncate(fd, copy.size() + 10), 0);
  EXPECT_EQ(::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0), MAP_FAILED);
  EXPECT_EQ(::fcntl(fd, F_GET_SEALS), F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
  EXPECT_EQ(readAll(fd, copy.size()), m_bytes);
}

// A file shorter than it was said to be, as when it is cut while it is copied, is a clear
// error rather than a crash or a copy that ends early.
TEST_F(SealedCopyTest, AFileCutShorterIsAnError) {
  for (const qint64 kept : {qint64(0), qint64(100), qint64(2 << 20)}) {
    SCOPED_TRACE(kept);
    ASSERT_EQ(::ftruncate(m_source, off_t(kept)), 0);
    try {
      SealedCopy::of(m_source, m_bytes.size());
      ADD_FAILURE() << "no error";
    } catch (const SealedCopy::Error& error) {
      EXPECT_STREQ(error.what(), "it is shorter than when it was opened");
    }
  }
  const SealedCopy empty = SealedCopy::of(m_source, 0);
  EXPECT_EQ(empty.size(), 0);
}

} // namespace
