#include "update/InstallFolders.h"
#include "update/StagedUpdate.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateRestart.h"
#include "update/UpdateTrial.h"

#include "AsyncProbe.h"
#include "RequiredValue.h"
#include "TarGzBuilder.h"
#include "TestFiles.h"
#include "UpdateArchive.h"
#include "update/KilledSwitch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

using namespace brindlewick;
using brindlewick::testing::writeFile;

namespace {

QByteArray output(const QString& program) {
  QProcess process;
  process.start(program, {});
  process.waitForFinished(20000);
  return process.readAllStandardOutput().trimmed();
}

// A process number that no process has any more.
qint64 endedPid() {
  QProcess process;
  process.start(QStringLiteral("true"), {});
  process.waitForFinished();
  return process.processId() > 0 ? process.processId() : 999999;
}

// Version 1.4.0 that answers the start check and, started for real, does `start` (shell).
QByteArray releaseThat(const QByteArray& start) {
  TarGzBuilder builder;
  builder.addFolder("brindlewick-1.4.0-Linux/lib/brindlewick/");
  builder.addFile(
      "brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick",
      "#!/bin/sh\n[ \"$1\" = --check-start ] && { echo 'Brindlewick 1.4.0 can start.'; exit 0; }\n" + start +
          "\n",
      0755);
  builder.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick-configuration.json",
                  "{\"CFBundleShortVersionString\": \"1.4.0\"}");
  return builder.archive();
}

// A per-user install of 0.1.0 (a program that prints "old") with version 1.4.0 installed over it
// through the installer and swapped in as the next start does, the exchange allowed or refused,
// and not yet started.
class TrialFixture : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_root.isValid());
    writeFile(prefix() + QStringLiteral("/lib/brindlewick/brindlewick"), "#!/bin/sh\necho old\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(prefix() + QStringLiteral("/lib/brindlewick/brindlewick-configuration.json"),
              "{\"CFBundleShortVersionString\": \"0.1.0\"}");
    QDir().mkpath(prefix() + QStringLiteral("/bin"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../lib/brindlewick/brindlewick"), command()));
  }

  void install(const QByteArray& start = "echo new") {
    const QString archive = m_root.filePath(QStringLiteral("verified.tar.gz"));
    writeFile(archive, releaseThat(start));
    UpdateInstaller installer(command(), m_root.filePath(QStringLiteral("Downloads")));
    const auto outcome = finishTask(installer.install(archive, QStringLiteral("1.4.0")));
    ASSERT_TRUE(outcome.finished);
    ASSERT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::staged);
    const std::optional<QString> swapped = StagedUpdate::swapIn(location(), steps());
    ASSERT_TRUE(swapped.has_value());
    m_installed = *swapped;
  }

  // The exchange allowed, or refused as some filesystems do.
  ProgramSwitch::Steps steps() const { return brindlewick::testing::switchSteps(GetParam()); }

  QString prefix() const { return m_root.filePath(QStringLiteral("prefix")); }
  QString command() const { return prefix() + QStringLiteral("/bin/brindlewick"); }
  QString previous() const { return prefix() + QStringLiteral("/lib/.brindlewick-previous"); }
  InstallLocation location() const {
    return requiredValue(InstallLocation::of(command()), "InstallLocation::of");
  }
  // The install's trial record, which every test here expects to be there: a missing one fails
  // the test rather than reading as a record with nothing in it.
  UpdateTrial::Record record() const {
    return requiredValue(UpdateTrial::read(location()), "UpdateTrial::read");
  }
  void setAttempt(qint64 pid) {
    UpdateTrial::Record changed = record();
    changed.attemptPid = pid;
    changed.attemptStart.reset();
    UpdateTrial::write(location(), changed);
  }
  // Folders and files beside the program folder, the lock and the folder the program folder
  // links to aside.
  std::string besideProgram() const {
    QStringList names = QDir(prefix() + QStringLiteral("/lib"))
                            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(QStringLiteral(".brindlewick-update.lock"));
    names.removeAll(InstallFolders::linkText(prefix() + QStringLiteral("/lib/brindlewick")));
    return names.join(QLatin1Char(' ')).toStdString();
  }

  QTemporaryDir m_root;
  QString m_installed;
};

// The new version's first start comes up: the folder it replaced and the record go, and the
// command keeps starting it.
TEST_P(TrialFixture, aStartThatComesUpConfirmsTheNewVersion) {
  install();
  ASSERT_EQ(output(command()), "new");
  UpdateTrial trial(command());

  EXPECT_EQ(trial.begin().verdict, UpdateTrial::Verdict::onTrial);
  EXPECT_EQ(record().attemptPid, ::getpid());
  trial.confirm();

  EXPECT_EQ(output(command()), "new");
  EXPECT_EQ(besideProgram(), "brindlewick");
  EXPECT_EQ(UpdateTrial(command()).begin().verdict, UpdateTrial::Verdict::ordinary);
}

// A release whose program dies as it starts: the copy that restarted into it hears no word, puts
// the previous version back, and that version learns once why.
TEST_P(TrialFixture, aReleaseThatCrashesAsItStartsIsPutBackByTheCopyWaitingForIt) {
  install("kill -SEGV $$");
  const UpdateRestart::Handover handover =
      UpdateRestart::startAndWatch(m_installed, std::chrono::seconds(20));
  ASSERT_FALSE(handover.cameUp);

  const std::optional<QString> back = UpdateTrial(m_installed).rollBack(handover.failure);

  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(output(*back), "old");
  EXPECT_EQ(output(command()), "old");
  EXPECT_EQ(InstallFolders::linkText(command()), QStringLiteral("../lib/brindlewick/brindlewick"));
  const UpdateTrial::AtStart atStart = UpdateTrial(command()).begin();
  EXPECT_EQ(atStart.verdict, UpdateTrial::Verdict::ordinary);
  ASSERT_TRUE(atStart.notStarted.has_value());
  EXPECT_EQ(atStart.notStarted->version, QStringLiteral("1.4.0"));
  EXPECT_TRUE(atStart.notStarted->reason.contains(QLatin1String("signal 11")))
      << atStart.notStarted->reason.toStdString();
  EXPECT_FALSE(UpdateTrial(command()).begin().notStarted.has_value()) << "told once";
  UpdateTrial(command()).confirm();
  EXPECT_EQ(output(command()), "old");
  EXPECT_EQ(besideProgram(), "brindlewick");
}

struct EarlierStart {
  const char* name;
  // The process number the record names as trying the new version, or none.
  std::function<std::optional<qint64>()> attempt;
  UpdateTrial::Verdict verdict;
};

// Without the copy that installed it (quit with "Later", or killed), the next start reads the
// record: a start before it that ended without coming up means the new version does not
// start, and the previous one comes back.
TEST(UpdateTrialStarts, anEarlierStartThatEndedBeforeComingUpPutsThePreviousVersionBack) {
  const EarlierStart starts[] = {
      {"none", [] { return std::nullopt; }, UpdateTrial::Verdict::onTrial},
      {"ended", [] { return std::optional<qint64>(endedPid()); }, UpdateTrial::Verdict::earlierStartFailed},
      {"stillStarting", [] { return std::optional<qint64>(::getppid()); }, UpdateTrial::Verdict::onTrial},
  };
  for (const EarlierStart& start : starts) {
    SCOPED_TRACE(start.name);
    QTemporaryDir root;
    const QString prefix = root.filePath(QStringLiteral("prefix"));
    writeFile(prefix + QStringLiteral("/lib/brindlewick/brindlewick"), "#!/bin/sh\necho old\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(prefix + QStringLiteral("/lib/brindlewick/brindlewick-configuration.json"),
              "{\"CFBundleShortVersionString\": \"0.1.0\"}");
    QDir().mkpath(prefix + QStringLiteral("/bin"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../lib/brindlewick/brindlewick"),
                            prefix + QStringLiteral("/bin/brindlewick")));
    const QString command = prefix + QStringLiteral("/bin/brindlewick");
    writeFile(root.filePath(QStringLiteral("a.tar.gz")), releaseThat("echo new"));
    ASSERT_TRUE(finishTask(UpdateInstaller(command, {})
                               .install(root.filePath(QStringLiteral("a.tar.gz")), QStringLiteral("1.4.0")))
                    .finished);
    const InstallLocation location = requiredValue(InstallLocation::of(command), "InstallLocation::of");
    ASSERT_TRUE(StagedUpdate::swapIn(location).has_value());
    UpdateTrial::Record record = requiredValue(UpdateTrial::read(location), "UpdateTrial::read");
    if (const std::optional<qint64> pid = start.attempt()) {
      record.attemptPid = *pid;
      UpdateTrial::write(location, record);
    }

    UpdateTrial trial(command);
    const UpdateTrial::Verdict verdict = trial.begin().verdict;

    EXPECT_EQ(verdict, start.verdict);
    if (verdict == UpdateTrial::Verdict::earlierStartFailed) {
      ASSERT_TRUE(trial.rollBack(QStringLiteral("it ended before it came up")).has_value());
      EXPECT_EQ(output(command), "old");
    } else {
      EXPECT_EQ(output(command), "new");
    }
  }
}

// A start that hands its request to a copy already running tried nothing: its record goes, and
// the next start is on trial, not a failure.
TEST_P(TrialFixture, aStartHandedOnToARunningCopyIsNoFailure) {
  install();
  UpdateTrial handedOn(command());
  ASSERT_EQ(handedOn.begin().verdict, UpdateTrial::Verdict::onTrial);
  handedOn.withdraw();
  EXPECT_FALSE(record().attemptPid.has_value());
  setAttempt(endedPid());
  UpdateTrial(command()).withdraw();
  EXPECT_TRUE(record().attemptPid.has_value()) << "only a start withdraws its own attempt";
  EXPECT_EQ(UpdateTrial(command()).begin().verdict, UpdateTrial::Verdict::earlierStartFailed);
}

// A second update before the first one ever started keeps the version that last started as the
// one to put back.
TEST_P(TrialFixture, aSecondUpdateBeforeAnyStartStillPutsBackTheVersionThatLastStarted) {
  install("echo first");
  install("echo second");
  ASSERT_EQ(output(command()), "second");

  ASSERT_TRUE(UpdateTrial(command()).rollBack(QStringLiteral("it did not come up")).has_value());

  EXPECT_EQ(output(command()), "old");
}

// Nothing is on trial when the record names a folder that was never swapped in (an install
// killed before its swap): the record goes, and so does the folder it kept.
TEST_P(TrialFixture, aRecordOfASwapThatNeverHappenedIsDropped) {
  UpdateTrial::Record stale;
  stale.version = QStringLiteral("1.4.0");
  stale.folder = InstallFolders::Identity{1, 2};
  stale.fallback = InstallFolders::resolvedIdentityOf(prefix() + QStringLiteral("/lib/brindlewick"));
  UpdateTrial::write(location(), stale);

  UpdateTrial trial(command());
  EXPECT_EQ(trial.begin().verdict, UpdateTrial::Verdict::ordinary);
  EXPECT_FALSE(trial.rollBack(QStringLiteral("no")).has_value());
  EXPECT_EQ(output(command()), "old");
  EXPECT_EQ(besideProgram(), "brindlewick");
}

INSTANTIATE_TEST_SUITE_P(Layouts, TrialFixture, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "exchanged" : "linkedWithoutExchange");
                         });

} // namespace
