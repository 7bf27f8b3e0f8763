#include "foundation/OwnFolder.h"

#include "foundation/FileDescriptor.h"
#include "foundation/PrivateFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(ownFolderLog, "brindlewick.files")

constexpr mode_t sharedModeBits = 077;

bool isLinkIn(int parent, const QByteArray& name) {
  struct stat status {};
  return ::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Renames the link `name` in `parent` to "<name>.link" (or "<name>.link-2", … where that is
// taken), never replacing anything. True when it is out of the way.
bool setAside(int parent, const QByteArray& name, const QString& path) {
  for (int attempt = 1; attempt <= 100; ++attempt) {
    const QByteArray aside =
        name + ".link" + (attempt == 1 ? QByteArray() : '-' + QByteArray::number(attempt));
    if (::renameat2(parent, name.constData(), parent, aside.constData(), RENAME_NOREPLACE) == 0) {
      qCWarning(ownFolderLog).noquote()
          << path << "is a symbolic link, not a folder of this program; it was"
          << "not followed and is now" << QFile::decodeName(aside) << "beside it";
      return true;
    }
    if (errno != EEXIST)
      break;
  }
  qCWarning(ownFolderLog).noquote() << path << "is a symbolic link, not a folder of this program; it was"
                                    << "not followed and could not be set aside:"
                                    << PrivateFiles::describe(errno);
  return false;
}

} // namespace

std::optional<OwnFolder> OwnFolder::open(const QString& path, Absent absent, QString* problem) {
  const auto fail = [problem](const QString& why) -> std::optional<OwnFolder> {
    if (problem)
      *problem = why;
    return std::nullopt;
  };
  const QFileInfo info(QDir::cleanPath(QDir(path).absolutePath()));
  const QString parentPath = info.absolutePath();
  const QByteArray name = QFile::encodeName(info.fileName());
  if (absent == Absent::create) {
    if (const std::optional<QString> why = PrivateFiles::createFolder(parentPath))
      return fail(*why);
  }
  const FileDescriptor parent(
      ::open(QFile::encodeName(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // A parent just made can only be missing when something took it away again.
  if (parent.get() < 0)
    return fail(errno == ENOENT && absent == Absent::leave ? QString() : PrivateFiles::describe(errno));
  // A few rounds at most: one to find what is there, another after making the folder or
  // setting a link aside (another process may put something there in between).
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int descriptor =
        ::openat(parent.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor >= 0)
      return OwnFolder(path, FileDescriptor(descriptor));
    const int error = errno;
    if (error == ELOOP || (error == ENOTDIR && isLinkIn(parent.get(), name))) {
      if (!setAside(parent.get(), name, path))
        return fail(PrivateFiles::describe(ELOOP));
    } else if (error != ENOENT) {
      return fail(PrivateFiles::describe(error));
    }
    if (absent == Absent::leave)
      return fail(QString());
    if (::mkdirat(parent.get(), name.constData(), 0700) != 0 && errno != EEXIST)
      return fail(PrivateFiles::describe(errno));
  }
  return fail(PrivateFiles::describe(ELOOP));
}

bool OwnFolder::tighten() const {
  struct stat status {};
  if (::fstat(m_descriptor.get(), &status) != 0)
    return false;
  if ((status.st_mode & sharedModeBits) == 0)
    return true;
  return ::fchmod(m_descriptor.get(), status.st_mode & 07700) == 0;
}

void OwnFolder::removeFiles(const std::function<bool(const QString& name)>& ours) const {
  // A listing of its own: a duplicate would share (and move) the folder's read position.
  const int listing = ::openat(m_descriptor.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (!entries) {
    if (listing >= 0)
      ::close(listing);
    qCWarning(ownFolderLog).noquote() << "could not list" << m_path << PrivateFiles::describe(errno);
    return;
  }
  while (const struct dirent* entry = ::readdir(entries)) {
    const QByteArray name(entry->d_name);
    if (name == "." || name == ".." || !ours(QFile::decodeName(name)))
      continue;
    struct stat status {};
    if (::fstatat(m_descriptor.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(status.st_mode))
      continue;
    if (::unlinkat(m_descriptor.get(), name.constData(), 0) != 0 && errno != ENOENT)
      qCWarning(ownFolderLog).noquote()
          << "could not remove" << QDir(m_path).filePath(QFile::decodeName(name))
          << PrivateFiles::describe(errno);
  }
  ::closedir(entries);
}

} // namespace brindlewick
