#pragma once

#include "foundation/FileDescriptor.h"

#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace brindlewick {

// A folder of the program's own that it clears or tightens, held open so that what it does
// there happens in that folder and nowhere else. A symbolic link found at its name is never
// followed: it is set aside as "<name>.link" (said once in the log), so nothing in whatever
// it points to is removed, tightened or written, and the reader still has the link. The
// folders above it are the reader's and are reached as the reader set them up.
class OwnFolder {
public:
  enum class Absent { leave, create };

  // Opens the folder at `path`. A missing one (a link set aside counts as missing) is made
  // 0700 with Absent::create, with any missing folder above it made as
  // PrivateFiles::createFolder makes them. None when it is missing and not made, or cannot be
  // opened; `problem` then says why ("Not a directory"), or is empty when it was missing and
  // not to be made.
  static std::optional<OwnFolder> open(const QString& path, Absent absent, QString* problem = nullptr);

  const QString& path() const { return m_path; }
  int descriptor() const { return m_descriptor.get(); }

  // Takes from the folder whatever the group and others may do; true when it is private.
  bool tighten() const;
  // Removes the files and links in it whose names `ours` accepts (a link, never what it points
  // to). Folders stay, and so does every other name: the folder may be one the reader also uses.
  void removeFiles(const std::function<bool(const QString& name)>& ours) const;

private:
  OwnFolder(QString path, FileDescriptor descriptor)
      : m_path(std::move(path)), m_descriptor(std::move(descriptor)) {}

  QString m_path;
  FileDescriptor m_descriptor;
};

} // namespace brindlewick
