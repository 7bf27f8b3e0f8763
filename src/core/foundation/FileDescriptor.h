#pragma once

#include <unistd.h>
#include <utility>

namespace brindlewick {

// A file descriptor that closes itself; -1 holds none.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0)
      ::close(m_fd);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return m_fd; }
  // Hands the descriptor on to whoever closes it now.
  int release() { return std::exchange(m_fd, -1); }

private:
  int m_fd;
};

} // namespace brindlewick
