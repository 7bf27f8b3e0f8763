#pragma once

#include <QDir>
#include <QString>

namespace brindlewick::testing {

// Where a test leaves pictures for a person to look at: build/test-output/ under CTest
// (BRINDLEWICK_TEST_OUTPUT), a folder in the temporary directory otherwise.
inline QString testOutputPath(const QString& fileName) {
  QString folder = qEnvironmentVariable("BRINDLEWICK_TEST_OUTPUT");
  if (folder.isEmpty())
    folder = QDir::temp().filePath(QStringLiteral("brindlewick-test-output"));
  QDir().mkpath(folder);
  return QDir(folder).filePath(fileName);
}

} // namespace brindlewick::testing
