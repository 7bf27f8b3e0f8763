#include "update/InstallFolders.h"
#include "update/InstallLocation.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateTrial.h"

#include "app/InstalledDesktopEntry.h"

#include "AsyncProbe.h"
#include "FolderSnapshot.h"
#include "ProgramRun.h"
#include "RequiredValue.h"
#include "TarGzBuilder.h"
#include "TestFiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace brindlewick;
using brindlewick::testing::expectInstalledEntryWithItsIcon;
using brindlewick::testing::ProgramRun;
using brindlewick::testing::readFile;
using brindlewick::testing::runProgram;

namespace {

// What a reader gets from `cmake --install --prefix`, updated by the release archive that
// `cpack` makes from the same build: the two layouts agree, and the staged program runs.
TEST(ReleaseLayout, thePerUserInstallTakesTheReleaseArchiveAsAnUpdate) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString prefix = root.filePath(QStringLiteral("prefix"));
  const QString build = QStringLiteral(BRINDLEWICK_BUILD_DIR);
  const QString version = QStringLiteral(BRINDLEWICK_PROJECT_VERSION);

  const ProgramRun installed =
      runProgram(QStringLiteral(BRINDLEWICK_CMAKE),
                 {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix});
  ASSERT_EQ(installed.status, 0) << installed.output.toStdString();
  const QFileInfo link(prefix + QStringLiteral("/bin/brindlewick"));
  EXPECT_TRUE(link.isSymLink());
  EXPECT_EQ(QFile::symLinkTarget(link.filePath()), prefix + QStringLiteral("/lib/brindlewick/brindlewick"));
  EXPECT_TRUE(QFileInfo::exists(prefix + QStringLiteral("/lib/brindlewick/brindlewick-configuration.json")));
  expectInstalledEntryWithItsIcon(prefix);

  UpdateInstaller installer(link.filePath(), root.filePath(QStringLiteral("Downloads")));
  ASSERT_TRUE(installer.installsInPlace());
  EXPECT_FALSE(UpdateInstaller(QStringLiteral(BRINDLEWICK_EXECUTABLE), {}).installsInPlace())
      << "the build tree is no install";

  const QString packages = root.filePath(QStringLiteral("packages"));
  const ProgramRun packed =
      runProgram(QStringLiteral(BRINDLEWICK_CPACK),
                 {QStringLiteral("-G"), QStringLiteral("TGZ"), QStringLiteral("--config"),
                  build + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), packages});
  ASSERT_EQ(packed.status, 0) << packed.output.toStdString();
  const QString archive = packages + QStringLiteral("/brindlewick-%1-Linux.tar.gz").arg(version);
  ASSERT_TRUE(QFileInfo::exists(archive)) << packed.output.toStdString();
  // The archive unpacked as a fresh install has the entry and its icon as well.
  const QString unpacked = root.filePath(QStringLiteral("unpacked"));
  ASSERT_TRUE(QDir().mkpath(unpacked));
  const ProgramRun untarred =
      runProgram(QStringLiteral("tar"), {QStringLiteral("-xzf"), archive, QStringLiteral("-C"), unpacked});
  ASSERT_EQ(untarred.status, 0) << untarred.output.toStdString();
  expectInstalledEntryWithItsIcon(unpacked + QStringLiteral("/brindlewick-%1-Linux").arg(version));

  const auto outcome = finishTask(installer.install(archive, version), 60000);
  ASSERT_TRUE(outcome.finished);
  const UpdateInstallOutcome result = outcome.get();
  EXPECT_EQ(result.kind, UpdateInstallOutcome::Kind::staged);
  const QString staged = prefix + QStringLiteral("/lib/.brindlewick-staged/brindlewick");
  EXPECT_TRUE(QFileInfo::exists(staged));

  // A diagnostic switch that a release build refuses ends the program before it needs a
  // display: enough to show the staged program loads and runs.
  const ProgramRun started = runProgram(staged, {QStringLiteral("--smoke-reader")});
  EXPECT_EQ(started.status, 2) << started.output.toStdString();
  EXPECT_TRUE(started.output.contains("Diagnostics are not available")) << started.output.toStdString();
}

// The Debian package installs the entry and its icon under /usr, where every desktop looks.
TEST(ReleaseLayout, theDebianPackageHoldsTheEntryAndItsIcon) {
  const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
  if (dpkgDeb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
    GTEST_SKIP() << "dpkg-deb and dpkg-shlibdeps are missing (scripts/install-deps installs dpkg-dev)";
  QTemporaryDir packages;
  ASSERT_TRUE(packages.isValid());
  const QString build = QStringLiteral(BRINDLEWICK_BUILD_DIR);
  const ProgramRun packed =
      runProgram(QStringLiteral(BRINDLEWICK_CPACK),
                 {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                  build + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"), packages.path()});
  ASSERT_EQ(packed.status, 0) << packed.output.toStdString();
  const QStringList debs = QDir(packages.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
  ASSERT_EQ(debs.size(), 1) << packed.output.toStdString();

  const QString unpacked = packages.filePath(QStringLiteral("root"));
  const ProgramRun extracted =
      runProgram(dpkgDeb, {QStringLiteral("-x"), packages.filePath(debs.front()), unpacked});
  ASSERT_EQ(extracted.status, 0) << extracted.output.toStdString();
  expectInstalledEntryWithItsIcon(unpacked + QStringLiteral("/usr"));
}

// The build's program installed per user with `cmake --install` in a temporary prefix.
class PerUserInstall : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_root.isValid());
    install();
  }
  // Also puts the build's program back in the program folder a test replaced.
  void install() const {
    const ProgramRun installed =
        runProgram(QStringLiteral(BRINDLEWICK_CMAKE),
                   {QStringLiteral("--install"), QStringLiteral(BRINDLEWICK_BUILD_DIR),
                    QStringLiteral("--prefix"), prefix()});
    ASSERT_EQ(installed.status, 0) << installed.output.toStdString();
  }

  QString prefix() const { return m_root.filePath(QStringLiteral("prefix")); }
  QString command() const { return prefix() + QStringLiteral("/bin/brindlewick"); }
  // The environment of a start of the installed program in a home of the test's own, its
  // folders made, with no display.
  QProcessEnvironment ownHome() const {
    const QString home = m_root.filePath(QStringLiteral("home"));
    for (const char* folder : {"runtime", "config", "data", "cache"})
      QDir().mkpath(home + QLatin1Char('/') + QLatin1String(folder));
    QFile::setPermissions(home + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    return environment;
  }
  QString archive(const TarGzBuilder& builder) {
    const QString path = m_root.filePath(QStringLiteral("verified.tar.gz"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(builder.archive());
    return path;
  }

  QTemporaryDir m_root;
};

// A signed release whose program's configuration names a certificate authority that is not
// there would stop at its start: it is refused before the swap, with the reason, and the
// running install stays as it was.
TEST_F(PerUserInstall, aReleaseWhoseProgramCannotStartIsNeverPutInPlace) {
#ifndef BRINDLEWICK_DEVELOPMENT_EXECUTABLE
  GTEST_SKIP() << "this build makes no development copy of the program (the benches are off)";
#else
  QFile development(QStringLiteral(BRINDLEWICK_DEVELOPMENT_EXECUTABLE));
  ASSERT_TRUE(development.open(QIODevice::ReadOnly));
  TarGzBuilder builder;
  builder.addFolder("brindlewick-9.0.0-Linux/lib/brindlewick/");
  builder.addFile("brindlewick-9.0.0-Linux/lib/brindlewick/brindlewick", development.readAll(), 0755);
  builder.addFile(
      "brindlewick-9.0.0-Linux/lib/brindlewick/brindlewick-configuration.json",
      "{\"CFBundleShortVersionString\": \"9.0.0\", \"BrindlewickDevelopmentCA\": \"/nonexistent/ca.pem\"}");
  const QString file = archive(builder);
  const QMap<QString, QByteArray> before = brindlewick::testing::folderSnapshot(prefix());

  const auto outcome =
      finishTask(UpdateInstaller(command(), {}).install(file, QStringLiteral("9.0.0")), 60000);

  ASSERT_TRUE(outcome.finished);
  const std::optional<UpdateInstallError> error = outcome.errorAs<UpdateInstallError>();
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->message().startsWith(
      QLatin1String("The update's program does not start (it exited with status 1: "
                    "Brindlewick could not start: The development certificate "
                    "authority /nonexistent/ca.pem cannot be used")))
      << error->message().toStdString();
  EXPECT_EQ(brindlewick::testing::folderSnapshot(prefix()), before);
  EXPECT_EQ(runProgram(command(), {QStringLiteral("--version")}).output,
            "Brindlewick " BRINDLEWICK_PROJECT_VERSION "\n");
#endif
}

// The real program on trial that does not come up puts the previous version back and starts
// that in its place with the reader's request, and the version put back learns why: a start
// whose model cannot be built (its settings file is a folder) does not stop at the start-up
// alert, and a start after one that ended before it came up does not try again.
TEST_F(PerUserInstall, aNewVersionThatStopsAtItsStartPutsThePreviousOneBackAndStartsIt) {
  const struct {
    const char* name;
    QString request;
    // The start on trial that ended before it came up: a process number no system gives.
    std::optional<qint64> earlierStart;
    const char* reason;
  } rows[] = {
      {"its model cannot be built", QStringLiteral("--show"), std::nullopt,
       "app.brindlewick.account-settings.conf"},
      {"an earlier start ended", QStringLiteral("brindlewick:open"), qint64(1) << 30,
       "an earlier start of it"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString lib = prefix() + QStringLiteral("/lib");
    const QString ran = m_root.filePath(QStringLiteral("previous-ran"));
    QFile::remove(ran);
    QDir().mkpath(lib + QStringLiteral("/.brindlewick-previous"));
    QFile previous(lib + QStringLiteral("/.brindlewick-previous/brindlewick"));
    ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
    previous.write("#!/bin/sh\necho \"previous $*\" > '" + QFile::encodeName(ran) + "'\n");
    previous.close();
    previous.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const InstallLocation location = requiredValue(InstallLocation::of(command()), "InstallLocation::of");
    UpdateTrial::Record record;
    record.version = QStringLiteral(BRINDLEWICK_PROJECT_VERSION);
    record.folder = InstallFolders::resolvedIdentityOf(location.programFolder);
    record.fallback = InstallFolders::identityOf(location.previousFolder());
    record.attemptPid = row.earlierStart;
    UpdateTrial::write(location, record);

    const QProcessEnvironment environment = ownHome();
    ASSERT_TRUE(QDir().mkpath(environment.value(QStringLiteral("XDG_CONFIG_HOME")) +
                              QStringLiteral("/app.brindlewick.account-settings.conf")));

    const ProgramRun started = runProgram(command(), {row.request}, environment);

    const QByteArray heard = "previous " + row.request.toUtf8() + "\n";
    EXPECT_EQ(started.status, 0) << started.output.toStdString();
    EXPECT_EQ(readFile(ran), heard) << started.output.toStdString();
    EXPECT_EQ(runProgram(command(), {}, environment).output, "") << "the command starts the version put back";
    EXPECT_EQ(readFile(ran), "previous \n");
    const std::optional<UpdateTrial::Record> failed = UpdateTrial::read(location);
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->state, UpdateTrial::Record::State::failed);
    EXPECT_TRUE(failed->reason.contains(QLatin1String(row.reason))) << failed->reason.toStdString();
    install();
  }
}

// The real program, started by the command while a switch of the program folder was cut short
// (the command leads into the new folder directly, the program folder's name is gone) with what
// the killed steps left: that start finishes the switch and clears the rest.
TEST_F(PerUserInstall, aStartFinishesASwitchThatAKillCutShort) {
  const QString lib = prefix() + QStringLiteral("/lib");
  ASSERT_TRUE(QDir(lib).rename(QStringLiteral("brindlewick"), QStringLiteral(".brindlewick-program-Cut123")));
  ASSERT_TRUE(QFile::remove(command()));
  ASSERT_TRUE(QFile::link(QStringLiteral("../lib/.brindlewick-program-Cut123/brindlewick"), command()));
  const QStringList leftovers{lib + QStringLiteral("/.brindlewick-update-Left01"),
                              prefix() + QStringLiteral("/bin/.brindlewick.k3j2.tmp"),
                              lib + QStringLiteral("/..brindlewick-trial.k3j2.tmp")};
  ASSERT_TRUE(QDir().mkpath(leftovers[0] + QStringLiteral("/lib")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../lib/.brindlewick-program-Gone00/brindlewick"), leftovers[1]));
  QFile note(leftovers[2]);
  ASSERT_TRUE(note.open(QIODevice::WriteOnly));
  note.close();

  const QProcessEnvironment environment = ownHome();
  QProcess program;
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(command(), {});
  ASSERT_TRUE(program.waitForStarted());
  const auto finished = [&] {
    return InstallFolders::linkText(command()) == QStringLiteral("../lib/brindlewick/brindlewick") &&
           std::none_of(leftovers.begin(), leftovers.end(), InstallFolders::exists);
  };
  QDeadlineTimer deadline(60000);
  while (!finished() && !deadline.hasExpired() && program.state() == QProcess::Running)
    program.waitForFinished(100);
  program.kill();
  program.waitForFinished();

  EXPECT_TRUE(finished()) << program.readAll().toStdString();
  EXPECT_EQ(InstallFolders::linkText(lib + QStringLiteral("/brindlewick")),
            QStringLiteral(".brindlewick-program-Cut123"));
  EXPECT_EQ(runProgram(command(), {QStringLiteral("--version")}).output,
            "Brindlewick " BRINDLEWICK_PROJECT_VERSION "\n");
}

// "Later", then Quit: the next start of the real program finds the staged version, swaps it in,
// starts it with the reader's request and watches it; one that exits at once is put back, and
// the real program starts again in its place with that request and says why.
TEST_F(PerUserInstall, theNextStartPutsBackAStagedVersionThatExitsAtOnce) {
  const QString ran = m_root.filePath(QStringLiteral("new-ran"));
  TarGzBuilder builder;
  builder.addFolder("brindlewick-9.0.0-Linux/lib/brindlewick/");
  builder.addFile(
      "brindlewick-9.0.0-Linux/lib/brindlewick/brindlewick",
      "#!/bin/sh\n[ \"$1\" = --check-start ] && { echo 'Brindlewick 9.0.0 can start.'; exit 0; }\n"
      "echo \"new $*\" > '" +
          QFile::encodeName(ran) + "'\nexit 0\n",
      0755);
  builder.addFile("brindlewick-9.0.0-Linux/lib/brindlewick/brindlewick-configuration.json",
                  "{\"CFBundleShortVersionString\": \"9.0.0\"}");
  const auto outcome =
      finishTask(UpdateInstaller(command(), {}).install(archive(builder), QStringLiteral("9.0.0")), 60000);
  ASSERT_TRUE(outcome.finished);
  ASSERT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::staged);

  const QProcessEnvironment environment = ownHome();
  QProcess program;
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(command(), {QStringLiteral("--library")});
  ASSERT_TRUE(program.waitForStarted());
  QByteArray said;
  // The version put back has started again once it has read why (the note is gone).
  const QString note = prefix() + QStringLiteral("/lib/.brindlewick-trial");
  const auto toldAgain = [&] {
    return said.contains("it exited with status 0 before it came up") && said.contains("again") &&
           !QFileInfo::exists(note);
  };
  QDeadlineTimer deadline(60000);
  while (!toldAgain() && !deadline.hasExpired() && program.state() == QProcess::Running) {
    program.waitForReadyRead(100);
    said += program.readAll();
  }
  const bool stillRunning = program.state() == QProcess::Running;
  const QByteArray request = readFile(QStringLiteral("/proc/%1/cmdline").arg(program.processId()));
  program.kill();
  program.waitForFinished();

  EXPECT_TRUE(toldAgain()) << said.toStdString();
  EXPECT_TRUE(stillRunning) << "the version put back runs on";
  EXPECT_TRUE(request.endsWith(QByteArray("\0--library\0", 11))) << request.toStdString();
  EXPECT_EQ(readFile(ran), "new --library\n") << "the staged version was started";
  EXPECT_FALSE(QFileInfo::exists(prefix() + QStringLiteral("/lib/.brindlewick-staged")));
  EXPECT_EQ(InstallFolders::linkText(command()), QStringLiteral("../lib/brindlewick/brindlewick"));
  EXPECT_EQ(runProgram(command(), {QStringLiteral("--version")}).output,
            "Brindlewick " BRINDLEWICK_PROJECT_VERSION "\n");
}

// An install whose program folder became a link (on a filesystem that cannot exchange two
// folders) is still one that `cmake --install` updates.
TEST_F(PerUserInstall, cmakeInstallStillServesAProgramFolderThatIsALink) {
  const QString lib = prefix() + QStringLiteral("/lib");
  ASSERT_TRUE(QDir(lib).rename(QStringLiteral("brindlewick"), QStringLiteral(".brindlewick-program-Ab12Cd")));
  ASSERT_TRUE(
      QFile::link(QStringLiteral(".brindlewick-program-Ab12Cd"), lib + QStringLiteral("/brindlewick")));
  QFile::remove(lib + QStringLiteral("/.brindlewick-program-Ab12Cd/brindlewick"));

  const ProgramRun installed = runProgram(QStringLiteral(BRINDLEWICK_CMAKE),
                                          {QStringLiteral("--install"), QStringLiteral(BRINDLEWICK_BUILD_DIR),
                                           QStringLiteral("--prefix"), prefix()});

  ASSERT_EQ(installed.status, 0) << installed.output.toStdString();
  EXPECT_EQ(InstallFolders::linkText(lib + QStringLiteral("/brindlewick")),
            QStringLiteral(".brindlewick-program-Ab12Cd"));
  EXPECT_EQ(runProgram(command(), {QStringLiteral("--version")}).output,
            "Brindlewick " BRINDLEWICK_PROJECT_VERSION "\n");
  EXPECT_TRUE(UpdateInstaller(command(), {}).installsInPlace());
}

} // namespace
