#include "update/DownloadedUpdate.h"

#include "foundation/WorkerThread.h"
#include "update/TarGzReader.h"
#include "update/UpdateSignature.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick {

namespace {

ArchiveError unreadable(const QString& why) {
  return ArchiveError(QStringLiteral("The update archive could not be read: %1.").arg(why));
}

QString errnoText() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

// Reads the first `size` bytes of a descriptor by offset, so that no reader moves another's
// position (a dup() would share one). The sealed copy never shrinks; the end is checked all
// the same.
class OffsetReader final : public QIODevice {
public:
  OffsetReader(int descriptor, qint64 size) : m_descriptor(descriptor), m_size(size) {
    // Unbuffered: pos() is then exactly where the next readData() starts.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return false; }
  qint64 size() const override { return m_size; }

protected:
  qint64 readData(char* data, qint64 maximum) override {
    const qint64 wanted = std::min(maximum, m_size - pos());
    if (wanted <= 0)
      return 0;
    for (;;) {
      const ssize_t got = ::pread(m_descriptor, data, size_t(wanted), off_t(pos()));
      if (got > 0)
        return got;
      if (got == 0) {
        setErrorString(QStringLiteral("it is shorter than when it was opened"));
        return -1;
      }
      if (errno != EINTR) {
        setErrorString(errnoText());
        return -1;
      }
    }
  }
  qint64 writeData(const char*, qint64) override { return -1; }

private:
  int m_descriptor;
  qint64 m_size;
};

} // namespace

std::shared_ptr<const DownloadedUpdate> DownloadedUpdate::open(const QString& path) {
  // O_NONBLOCK: a pipe put there must not hold the open; a regular file ignores the flag.
  const int descriptor =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0)
    throw unreadable(errno == ELOOP ? QStringLiteral("it is a symbolic link") : errnoText());
  struct stat status {};
  const bool looked = ::fstat(descriptor, &status) == 0;
  if (!looked || !S_ISREG(status.st_mode)) {
    const QString why = looked ? QStringLiteral("it is not a file") : errnoText();
    ::close(descriptor);
    throw unreadable(why);
  }
  // From here only the copy counts: whoever else holds the file may write into it or cut it
  // shorter, and neither reaches what is checked and unpacked.
  std::optional<SealedCopy> copy;
  QString problem;
  try {
    copy.emplace(SealedCopy::of(descriptor, status.st_size));
  } catch (const SealedCopy::Error& error) {
    problem = QString::fromLocal8Bit(error.what());
  }
  ::close(descriptor);
  if (!copy)
    throw unreadable(problem);
  return std::shared_ptr<const DownloadedUpdate>(new DownloadedUpdate(path, std::move(*copy)));
}

QCoro::Task<std::shared_ptr<const DownloadedUpdate>> DownloadedUpdate::openInBackground(QString path) {
  Completion<std::shared_ptr<const DownloadedUpdate>> opened =
      onWorkerThread<std::shared_ptr<const DownloadedUpdate>>([path] {
        try {
          return open(path);
        } catch (const ArchiveError&) {
          throw;
        } catch (const std::exception& error) {
          // Memory for the copy, most likely: said like any other reason it cannot be read.
          throw unreadable(QString::fromLocal8Bit(error.what()));
        }
      });
  co_return co_await opened;
}

DownloadedUpdate::DownloadedUpdate(QString path, SealedCopy copy)
    : m_path(std::move(path)), m_copy(std::move(copy)) {}

bool DownloadedUpdate::hasSignature(QByteArrayView publicKey, QByteArrayView signature) const {
  const qint64 size = m_copy.size();
  if (size == 0)
    return UpdateSignature::verify(publicKey, signature, QByteArrayView());
  // Mapped rather than read: Ed25519 takes the message in one piece. The copy is sealed
  // against shrinking, so the mapping cannot fault. It ends before this returns.
  void* bytes = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, m_copy.descriptor(), 0);
  if (bytes == MAP_FAILED)
    return false;
  const bool valid =
      UpdateSignature::verify(publicKey, signature, QByteArrayView(static_cast<const char*>(bytes), size));
  ::munmap(bytes, size_t(size));
  return valid;
}

std::unique_ptr<QIODevice> DownloadedUpdate::reader() const {
  return std::make_unique<OffsetReader>(m_copy.descriptor(), m_copy.size());
}

} // namespace brindlewick
