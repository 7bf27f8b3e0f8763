#include "update/ArchiveExtractor.h"

#include "foundation/FileDescriptor.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace brindlewick {

namespace {

QString quotedArchivePath(const QString& name) {
  return QLatin1Char('"') + name + QLatin1Char('"');
}

ArchiveError refusedEntry(const QString& name, const QString& why) {
  return ArchiveError(QStringLiteral("The update archive holds %1, %2; it was not installed.")
                          .arg(quotedArchivePath(name), why));
}

// Whether `target`, resolved by name from the folder `from` (its parts below the boundary),
// stays within the boundary: never absolute, never climbing above it, not even to come back.
// A ".." after a name is refused too: that name may itself be a link, and ".." then climbs
// from where it points, not from where it is.
bool staysInside(QStringList from, QStringView target) {
  if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
    return false;
  bool descended = false;
  for (const QStringView part : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (part == QLatin1String("..")) {
      if (from.isEmpty() || descended)
        return false;
      from.removeLast();
    } else if (part != QLatin1String(".")) {
      from.append(part.toString());
      descended = true;
    }
  }
  return true;
}

class Unpacker {
public:
  explicit Unpacker(const QString& destination) : m_destination(destination) {
    m_root = FileDescriptor(
        ::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (m_root.get() < 0)
      throw writeFailed();
  }

  void unpack(TarGzReader& reader) {
    while (const std::optional<ArchiveEntry> entry = reader.next()) {
      const QStringList parts = components(*entry);
      // "./" names the destination itself.
      if (parts.isEmpty()) {
        if (entry->kind != ArchiveEntry::Kind::folder)
          throw refusedEntry(entry->path, QStringLiteral("which names no file"));
        continue;
      }
      const FileDescriptor parent = openParent(*entry, parts);
      const QByteArray leaf = QFile::encodeName(parts.last());
      switch (entry->kind) {
      case ArchiveEntry::Kind::folder: makeFolder(parent, leaf, *entry); break;
      case ArchiveEntry::Kind::link: makeLink(parent, leaf, *entry, parts); break;
      case ArchiveEntry::Kind::file: writeFile(parent, leaf, *entry, reader); break;
      }
    }
  }

private:
  // The name's parts below the destination; "." and empty parts drop out.
  static QStringList components(const ArchiveEntry& entry) {
    if (entry.path.startsWith(QLatin1Char('/')))
      throw refusedEntry(entry.path, QStringLiteral("an absolute path"));
    QStringList parts;
    for (const QString& part : entry.path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
      if (part == QLatin1String(".."))
        throw refusedEntry(entry.path, QStringLiteral("a path that leaves its folder"));
      if (part != QLatin1String("."))
        parts.append(part);
    }
    return parts;
  }

  // Walks to the entry's folder one part at a time, making missing folders, and never
  // through a link: O_NOFOLLOW makes opening one fail.
  FileDescriptor openParent(const ArchiveEntry& entry, const QStringList& parts) {
    FileDescriptor current(::dup(m_root.get()));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
      const QByteArray name = QFile::encodeName(parts[i]);
      int fd = ::openat(current.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(current.get(), name.constData(), 0700) != 0)
          throw writeFailed();
        fd = ::openat(current.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (fd < 0) {
        if (errno != ELOOP && errno != ENOTDIR)
          throw writeFailed();
        struct stat status {};
        const bool link = ::fstatat(current.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISLNK(status.st_mode);
        throw refusedEntry(entry.path, link ? QStringLiteral("whose path leads through a symbolic link")
                                            : QStringLiteral("whose path leads through a file"));
      }
      current = FileDescriptor(fd);
    }
    return current;
  }

  void makeFolder(const FileDescriptor& parent, const QByteArray& leaf, const ArchiveEntry& entry) {
    if (::mkdirat(parent.get(), leaf.constData(), 0700) == 0)
      return;
    if (errno != EEXIST)
      throw writeFailed();
    // A folder named again (or first made for an entry inside it) is the same folder.
    struct stat status {};
    if (::fstatat(parent.get(), leaf.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(status.st_mode))
      throw refusedEntry(entry.path, QStringLiteral("which would replace another entry"));
  }

  void makeLink(const FileDescriptor& parent, const QByteArray& leaf, const ArchiveEntry& entry,
                const QStringList& parts) {
    // Resolved by name from the link's own folder, the target must stay inside.
    if (!staysInside(parts.mid(0, parts.size() - 1), entry.linkTarget))
      throw refusedEntry(entry.path, QStringLiteral("a link pointing outside it"));
    if (::symlinkat(QFile::encodeName(entry.linkTarget).constData(), parent.get(), leaf.constData()) == 0)
      return;
    if (errno == EEXIST)
      throw refusedEntry(entry.path, QStringLiteral("which would replace another entry"));
    throw writeFailed();
  }

  void writeFile(const FileDescriptor& parent, const QByteArray& leaf, const ArchiveEntry& entry,
                 TarGzReader& reader) {
    const mode_t mode = entry.executable ? 0700 : 0600;
    // O_EXCL with O_NOFOLLOW: neither an existing file nor a link is ever written through.
    const FileDescriptor file(
        ::openat(parent.get(), leaf.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (file.get() < 0) {
      if (errno == EEXIST)
        throw refusedEntry(entry.path, QStringLiteral("which would replace another entry"));
      throw writeFailed();
    }
    reader.readContents([&](QByteArrayView piece) {
      const char* data = piece.data();
      qsizetype left = piece.size();
      while (left > 0) {
        const ssize_t written = ::write(file.get(), data, size_t(left));
        if (written < 0) {
          if (errno == EINTR)
            continue;
          throw writeFailed();
        }
        data += written;
        left -= written;
      }
    });
    // The mode asked for, whatever the umask; then on disk before anything relies on it.
    if (::fchmod(file.get(), mode) != 0 || ::fsync(file.get()) != 0)
      throw writeFailed();
  }

  ArchiveError writeFailed() const {
    const int error = errno;
    return ArchiveError(QStringLiteral("The update could not be unpacked into %1: %2.")
                            .arg(m_destination, QString::fromLocal8Bit(std::strerror(error))));
  }

  QString m_destination;
  FileDescriptor m_root;
};

// Walks an unpacked folder, never through a link, and refuses the first link in it whose
// target leaves it.
class LinkBoundary {
public:
  LinkBoundary(const QString& folder, const QString& unpackedInto) : m_folder(folder), m_root(unpackedInto) {}

  void check() {
    FileDescriptor top(
        ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (top.get() < 0)
      throw unreadable();
    walk(std::move(top), {});
  }

private:
  // `below`: the folder's parts under the boundary.
  void walk(FileDescriptor folder, const QStringList& below) {
    DIR* listing = ::fdopendir(folder.get());
    if (!listing)
      throw unreadable();
    // The listing owns the descriptor from here.
    const int fd = folder.release();
    const std::unique_ptr<DIR, int (*)(DIR*)> closing(listing, ::closedir);
    QList<QByteArray> folders;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
      const QByteArray name(entry->d_name);
      if (name == "." || name == "..")
        continue;
      struct stat status {};
      if (::fstatat(fd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        throw unreadable();
      if (S_ISDIR(status.st_mode))
        folders.append(name);
      else if (S_ISLNK(status.st_mode))
        checkLink(fd, name, below);
      errno = 0;
    }
    if (errno != 0)
      throw unreadable();
    for (const QByteArray& name : folders) {
      FileDescriptor inner(::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (inner.get() < 0)
        throw unreadable();
      walk(std::move(inner), below + QStringList{QFile::decodeName(name)});
    }
  }

  void checkLink(int folder, const QByteArray& name, const QStringList& below) {
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length = ::readlinkat(folder, name.constData(), target.data(), size_t(target.size()));
    if (length < 0)
      throw unreadable();
    // A target as long as the buffer may be longer still: no link of ours is.
    if (length == target.size() || !staysInside(below, QFile::decodeName(target.left(length)))) {
      const QStringList path = below + QStringList{QFile::decodeName(name)};
      const QString inArchive = QDir(m_root).relativeFilePath(QDir(m_folder).filePath(path.join(u'/')));
      throw refusedEntry(inArchive, QStringLiteral("a link pointing outside the program folder"));
    }
  }

  ArchiveError unreadable() const {
    const int error = errno;
    return ArchiveError(QStringLiteral("The unpacked update in %1 could not be read: %2.")
                            .arg(m_folder, QString::fromLocal8Bit(std::strerror(error))));
  }

  QString m_folder;
  QString m_root;
};

} // namespace

void extractArchive(QIODevice& archive, const QString& destination, ArchiveLimits limits) {
  TarGzReader reader(archive, limits);
  Unpacker(destination).unpack(reader);
}

void extractArchive(const QString& archivePath, const QString& destination, ArchiveLimits limits) {
  QFile archive(archivePath);
  if (!archive.open(QIODevice::ReadOnly))
    throw ArchiveError(
        QStringLiteral("The update archive could not be read: %1.").arg(archive.errorString()));
  extractArchive(archive, destination, limits);
}

void requireLinksInside(const QString& folder, const QString& unpackedInto) {
  LinkBoundary(folder, unpackedInto).check();
}

} // namespace brindlewick
