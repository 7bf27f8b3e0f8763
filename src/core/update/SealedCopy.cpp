#include "update/SealedCopy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace brindlewick {

namespace {

constexpr size_t copyPieceBytes = size_t(1) << 20;

SealedCopy::Error copyFailure(int error) {
  return SealedCopy::Error(std::strerror(error));
}

// Writes all of `bytes` at `offset`; false with errno set otherwise.
bool writeWhole(int descriptor, const char* bytes, size_t count, off_t offset) {
  while (count > 0) {
    const ssize_t written = ::pwrite(descriptor, bytes, count, offset);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      if (written == 0)
        errno = EIO;
      return false;
    }
    bytes += written;
    count -= size_t(written);
    offset += written;
  }
  return true;
}

} // namespace

SealedCopy SealedCopy::of(int source, qint64 size) {
  const int memory = ::memfd_create("brindlewick-update", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (memory < 0)
    throw copyFailure(errno);
  // Owns the memory file from here, so every way out below closes it.
  SealedCopy copy(FileDescriptor(memory), size);
  // The whole size is taken at once: too little memory shows here, as an error, rather than
  // half-way through the copy.
  if (size > 0) {
    const int reserved = ::posix_fallocate(memory, 0, off_t(size));
    if (reserved == ENOSPC || reserved == ENOMEM)
      throw Error("there is not enough memory for a copy of it");
    if (reserved != 0)
      throw copyFailure(reserved);
  }
  std::vector<char> piece(size_t(std::min<qint64>(size, qint64(copyPieceBytes))));
  qint64 copied = 0;
  while (copied < size) {
    // Read by offset, never mapped: a source cut shorter ends the read instead of faulting.
    const ssize_t got = ::pread(source, piece.data(),
                                size_t(std::min<qint64>(size - copied, qint64(piece.size()))), off_t(copied));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      throw copyFailure(errno);
    if (got == 0)
      throw Error("it is shorter than when it was opened");
    if (!writeWhole(memory, piece.data(), size_t(got), off_t(copied)))
      throw copyFailure(errno);
    copied += got;
  }
  if (::fcntl(memory, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
    throw copyFailure(errno);
  return copy;
}

} // namespace brindlewick
