#include "app/InstalledDesktopEntry.h"

#include "ProgramRun.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using brindlewick::testing::expectInstalledEntryWithItsIcon;
using brindlewick::testing::ProgramRun;
using brindlewick::testing::runProgram;

namespace {

// Configures and builds in minutes at worst (ccache fills the folder from this build's objects).
constexpr int buildTimeoutMs = 540000;

// `make run` builds the program target alone, and the next step a reader takes is
// `cmake --install build-run`: in a build folder that never built anything else, building the
// program gives its install everything it copies, the icons of the launcher entry included.
TEST(ProgramInstall, theProgramTargetBuiltAloneInstallsWithItsEntryAndIcons) {
  const QString build = QStringLiteral(BRINDLEWICK_INSTALL_CHECK_BUILD_DIR);
  ASSERT_TRUE(QDir(build).removeRecursively())
      << "an earlier run's folder stays in the way: " << build.toStdString();
  const QString cmake = QStringLiteral(BRINDLEWICK_CMAKE);

  // Configured as this build is, so the compiler sees the same commands and ccache answers them;
  // neither tests nor benchmarks, as `make run` builds neither.
  const ProgramRun configured =
      runProgram(cmake,
                 {QStringLiteral("-S"), QStringLiteral(BRINDLEWICK_SOURCE_DIR), QStringLiteral("-B"), build,
                  QStringLiteral("-G"), QStringLiteral(BRINDLEWICK_GENERATOR),
                  QStringLiteral("-DCMAKE_CXX_COMPILER=" BRINDLEWICK_CXX_COMPILER),
                  QStringLiteral("-DCMAKE_BUILD_TYPE=" BRINDLEWICK_BUILD_TYPE),
                  QStringLiteral("-DCMAKE_INSTALL_PREFIX=" BRINDLEWICK_INSTALL_PREFIX),
                  QStringLiteral("-DBRINDLEWICK_WERROR=" BRINDLEWICK_WERROR_SETTING),
                  QStringLiteral("-DBRINDLEWICK_UNITY_BUILD=" BRINDLEWICK_UNITY_BUILD_SETTING),
                  QStringLiteral("-DBRINDLEWICK_TESTS=OFF"), QStringLiteral("-DBRINDLEWICK_BENCH=OFF")},
                 QProcessEnvironment::systemEnvironment(), buildTimeoutMs);
  ASSERT_EQ(configured.status, 0) << configured.output.toStdString();
  // Two jobs: CTest gives this test two processors.
  const ProgramRun built =
      runProgram(cmake,
                 {QStringLiteral("--build"), build, QStringLiteral("--parallel"), QStringLiteral("2"),
                  QStringLiteral("--target"), QStringLiteral("brindlewick")},
                 QProcessEnvironment::systemEnvironment(), buildTimeoutMs);
  ASSERT_EQ(built.status, 0) << built.output.toStdString();

  // `cmake --install build-run` as the README has it, its prefix staged under a folder of the test's.
  QTemporaryDir staging;
  ASSERT_TRUE(staging.isValid());
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DESTDIR"), staging.path());
  const ProgramRun installed = runProgram(cmake, {QStringLiteral("--install"), build}, environment);
  ASSERT_EQ(installed.status, 0) << installed.output.toStdString();

  const QString prefix = staging.path() + QStringLiteral(BRINDLEWICK_INSTALL_PREFIX);
  expectInstalledEntryWithItsIcon(prefix);
  const ProgramRun version =
      runProgram(prefix + QStringLiteral("/bin/brindlewick"), {QStringLiteral("--version")});
  EXPECT_EQ(version.output, "Brindlewick " BRINDLEWICK_PROJECT_VERSION "\n");

  // A failure leaves the folder to look into; `make clean` removes it in any case.
  if (!::testing::Test::HasFailure())
    QDir(build).removeRecursively();
}

} // namespace
