#include "update/UpdateInstaller.h"

#include "AsyncProbe.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

struct Finished {
  int status = -1;
  QByteArray output;
};

Finished runProgram(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  process.waitForFinished(120000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

// What a reader gets from `cmake --install --prefix`, updated by the release archive that
// `cpack` makes from the same build: the two layouts agree, and the swapped-in program runs.
TEST(ReleaseLayout, thePerUserInstallTakesTheReleaseArchiveAsAnUpdate) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString prefix = root.filePath(QStringLiteral("prefix"));
  const QString build = QStringLiteral(BRINDLEWICK_BUILD_DIR);
  const QString version = QStringLiteral(BRINDLEWICK_PROJECT_VERSION);

  const Finished installed =
      runProgram(QStringLiteral(BRINDLEWICK_CMAKE),
                 {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix});
  ASSERT_EQ(installed.status, 0) << installed.output.toStdString();
  const QFileInfo link(prefix + QStringLiteral("/bin/brindlewick"));
  EXPECT_TRUE(link.isSymLink());
  EXPECT_EQ(QFile::symLinkTarget(link.filePath()), prefix + QStringLiteral("/lib/brindlewick/brindlewick"));
  EXPECT_TRUE(QFileInfo::exists(prefix + QStringLiteral("/lib/brindlewick/brindlewick-configuration.json")));
  EXPECT_TRUE(QFileInfo::exists(prefix + QStringLiteral("/share/applications/app.brindlewick.desktop")));

  UpdateInstaller installer(link.filePath(), root.filePath(QStringLiteral("Downloads")));
  ASSERT_TRUE(installer.installsInPlace());
  EXPECT_FALSE(UpdateInstaller(QStringLiteral(BRINDLEWICK_EXECUTABLE), {}).installsInPlace())
      << "the build tree is no install";

  const QString packages = root.filePath(QStringLiteral("packages"));
  const Finished packed =
      runProgram(QStringLiteral(BRINDLEWICK_CPACK),
                 {QStringLiteral("-G"), QStringLiteral("TGZ"), QStringLiteral("--config"),
                  build + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), packages});
  ASSERT_EQ(packed.status, 0) << packed.output.toStdString();
  const QString archive = packages + QStringLiteral("/brindlewick-%1-Linux.tar.gz").arg(version);
  ASSERT_TRUE(QFileInfo::exists(archive)) << packed.output.toStdString();

  const auto outcome = finishTask(installer.install(archive, version), 60000);
  ASSERT_TRUE(outcome.finished);
  const UpdateInstallOutcome result = outcome.get();
  EXPECT_EQ(result.kind, UpdateInstallOutcome::Kind::swapped);
  EXPECT_TRUE(QFileInfo::exists(prefix + QStringLiteral("/lib/.brindlewick-previous/brindlewick")));

  // A diagnostic switch that a release build refuses ends the program before it needs a
  // display: enough to show the swapped-in program loads and runs.
  const Finished started = runProgram(result.path, {QStringLiteral("--smoke-reader")});
  EXPECT_EQ(started.status, 2) << started.output.toStdString();
  EXPECT_TRUE(started.output.contains("Diagnostics are not available")) << started.output.toStdString();
}

} // namespace
