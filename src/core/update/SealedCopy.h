#pragma once

#include "foundation/FileDescriptor.h"

#include <QtGlobal>

#include <stdexcept>
#include <utility>

namespace brindlewick {

// A copy of a file's bytes in memory that nobody can change once it is made: not whoever
// else holds the file open and writes into it or cuts it shorter, not this program. It lives
// in an anonymous memory file sealed against writing, shrinking and growing, so a mapping of
// it never faults and every read of it gives the same bytes. It costs memory (or swap) of
// its size for as long as it lives.
class SealedCopy {
public:
  // Why a copy could not be made, in words that finish "could not be read: …".
  class Error : public std::runtime_error {
    using std::runtime_error::runtime_error;
  };

  // Copies the first `size` bytes of `source`, read by offset (its position is untouched,
  // and a file cut shorter meanwhile is an error, never a fault). Throws Error.
  static SealedCopy of(int source, qint64 size);

  // Read-only use only: pread, or mmap without PROT_WRITE.
  int descriptor() const { return m_descriptor.get(); }
  qint64 size() const { return m_size; }

private:
  SealedCopy(FileDescriptor descriptor, qint64 size) : m_descriptor(std::move(descriptor)), m_size(size) {}

  FileDescriptor m_descriptor;
  qint64 m_size = 0;
};

} // namespace brindlewick
