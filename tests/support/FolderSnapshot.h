#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

namespace brindlewick::testing {

// Everything under `root`, links not followed: each path (relative to `root`) with a file's
// contents, "folder", or "link:" and the link's target. Two snapshots are equal exactly when
// nothing under the folder was added, removed or changed.
inline QMap<QString, QByteArray> folderSnapshot(const QString& root) {
  QMap<QString, QByteArray> entries;
  QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo info(it.next());
    QByteArray value;
    if (info.isSymLink()) {
      value = "link:" + QFile::encodeName(info.symLinkTarget());
    } else if (info.isDir()) {
      value = "folder";
    } else {
      QFile file(info.filePath());
      value = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    entries.insert(QDir(root).relativeFilePath(info.filePath()), value);
  }
  return entries;
}

} // namespace brindlewick::testing
