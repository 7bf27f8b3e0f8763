#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace brindlewick {

// Small file operations the installer and the recovery after a failed start share. Each one
// either completes or leaves the name it works on as it was.
namespace InstallFolders {

// A folder recognised by what it is, not by its name: an update renames folders.
struct Identity {
  quint64 device = 0;
  quint64 inode = 0;
  friend bool operator==(const Identity&, const Identity&) = default;

  QString text() const;
  static std::optional<Identity> fromText(const QString& text);
};

// The identity of `path` itself (a link is not followed); none when it does not exist.
std::optional<Identity> identityOf(const QString& path);
// The identity of what `path` leads to, links followed.
std::optional<Identity> resolvedIdentityOf(const QString& path);

bool isRealFolder(const QString& path);
bool isLink(const QString& path);
// The text of the link at `path`; empty for anything else.
QString linkText(const QString& path);
bool exists(const QString& path);

// A folder with everything in it, or a single file or link. Links inside are removed, never
// what they point to; a link itself is never followed. Logs what could not be removed.
void removeEntry(const QString& path);

// Makes `path` a symbolic link holding `text`, replacing whatever file or link is there in one
// rename, so the name never goes missing. Throws std::runtime_error with the system's reason.
void pointLink(const QString& path, const QString& text);

// rename(2); throws std::runtime_error with the system's reason.
void renameEntry(const QString& from, const QString& to);

// Writes `contents` to `path` (0600) under a temporary name beside it and renames it in place,
// flushed to the disk first. Throws std::runtime_error.
void writeFileAtomically(const QString& path, const QByteArray& contents);

// Flushes a folder's entries to the disk, so a rename in it survives a power loss.
void syncFolder(const QString& path);

// The system's words for errno.
QString systemError();

} // namespace InstallFolders

} // namespace brindlewick
