#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick::FileModes {

// The permission bits of `path` (0600, 0755…), or -1 when it cannot be looked at.
inline int modeOf(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0)
    return -1;
  return int(info.st_mode & 07777);
}

// Sets `mode` on `path` as an earlier version or another program might have left it.
inline bool setMode(const QString& path, int mode) {
  return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

// The process umask for one scope, as the reader's session might have set it.
class ScopedUmask {
public:
  explicit ScopedUmask(mode_t mask) : m_previous(::umask(mask)) {}
  ~ScopedUmask() { ::umask(m_previous); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
  mode_t m_previous;
};

// Root opens every file whatever its mode: tests of a refused permission skip under it.
inline bool permissionsBind() {
  return ::geteuid() != 0;
}

} // namespace brindlewick::FileModes
