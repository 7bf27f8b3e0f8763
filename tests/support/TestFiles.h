#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

namespace brindlewick::testing {

// Writes `contents` to `path`, making its folders; `permissions`, when given, replace the
// default mode (a stand-in program needs its execute bit).
inline void writeFile(const QString& path, const QByteArray& contents, QFile::Permissions permissions = {}) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  file.write(contents);
  file.close();
  if (permissions)
    file.setPermissions(permissions);
}

// The file's bytes, or "(missing)" where there is none to read, so a comparison says so.
inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace brindlewick::testing
