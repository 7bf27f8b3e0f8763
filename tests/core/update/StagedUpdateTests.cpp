#include "update/InstallFolders.h"
#include "update/InstallLocation.h"
#include "update/StagedUpdate.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateTrial.h"

#include "AsyncProbe.h"
#include "RequiredValue.h"
#include "TarGzBuilder.h"
#include "TestFiles.h"
#include "update/KilledSwitch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;
using brindlewick::testing::KilledSwitchRun;
using brindlewick::testing::readFile;
using brindlewick::testing::runToEnd;
using brindlewick::testing::writeFile;

namespace {

// Version 1.4.0: it answers the start check, and started for real it notes its arguments in
// `args` beside it, prints "new" and then does `start` (shell).
QByteArray releaseThat(const QByteArray& start) {
  TarGzBuilder builder;
  builder.addFolder("brindlewick-1.4.0-Linux/lib/brindlewick/");
  builder.addFile(
      "brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick",
      "#!/bin/sh\n[ \"$1\" = --check-start ] && { echo 'Brindlewick 1.4.0 can start.'; exit 0; }\n"
      "echo \"$*\" > \"$(dirname \"$(readlink -f \"$0\")\")/../../args\"\necho new\n" +
          start + "\n",
      0755);
  builder.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick-configuration.json",
                  "{\"CFBundleShortVersionString\": \"1.4.0\"}");
  return builder.archive();
}

const QByteArray comesUp =
    "[ -n \"$BRINDLEWICK_START_WORD\" ] && echo started >&$BRINDLEWICK_START_WORD; exit 0";

// A per-user install of 0.1.0 (a program that prints "old") on a filesystem that can exchange two
// folders or one that cannot, with version 1.4.0 staged by the installer ("Later").
class StagedFixture {
public:
  explicit StagedFixture(bool exchange) : m_exchange(exchange) {
    writeFile(prefix() + QStringLiteral("/lib/brindlewick/brindlewick"), "#!/bin/sh\necho old\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(prefix() + QStringLiteral("/lib/brindlewick/brindlewick-configuration.json"),
              "{\"CFBundleShortVersionString\": \"0.1.0\"}");
    QDir().mkpath(prefix() + QStringLiteral("/bin"));
    QFile::link(QStringLiteral("../lib/brindlewick/brindlewick"), command());
  }

  bool stage(const QByteArray& start) {
    writeFile(m_root.filePath(QStringLiteral("verified.tar.gz")), releaseThat(start));
    const auto outcome =
        finishTask(UpdateInstaller(command(), {})
                       .install(m_root.filePath(QStringLiteral("verified.tar.gz")), QStringLiteral("1.4.0")));
    return outcome.finished && !outcome.error && outcome.get().kind == UpdateInstallOutcome::Kind::staged;
  }

  ProgramSwitch::Steps steps() const { return brindlewick::testing::switchSteps(m_exchange); }

  QString prefix() const { return m_root.filePath(QStringLiteral("prefix")); }
  QString command() const { return prefix() + QStringLiteral("/bin/brindlewick"); }
  QString exchangeArgument() const {
    return m_exchange ? QStringLiteral("exchange") : QStringLiteral("no-exchange");
  }
  QByteArray started() const { return runToEnd(command(), {}).output; }
  InstallLocation location() const {
    return requiredValue(InstallLocation::of(command()), "InstallLocation::of");
  }
  std::string linkText() const { return InstallFolders::linkText(command()).toStdString(); }
  // Entries beside the program folder and the command; the folder the program folder links to
  // aside.
  std::string leftovers() const {
    QStringList names =
        QDir(prefix() + QStringLiteral("/lib"))
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(InstallFolders::linkText(prefix() + QStringLiteral("/lib/brindlewick")));
    names +=
        QDir(prefix() + QStringLiteral("/bin"))
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    return names.join(QLatin1Char(' ')).toStdString();
  }

  // A start of the version the reader had: it tells what it learnt, finishes what was left and,
  // once up, clears the folder put aside.
  std::optional<UpdateTrial::NotStarted> startOld() const {
    UpdateTrial trial(command());
    const UpdateTrial::AtStart atStart = trial.begin();
    EXPECT_EQ(atStart.verdict, UpdateTrial::Verdict::ordinary);
    UpdateInstaller(command(), {}).finishPendingInstall();
    trial.confirm();
    return atStart.notStarted;
  }

private:
  QTemporaryDir m_root;
  bool m_exchange;
};

struct NewStart {
  const char* name;
  QByteArray start;
  std::chrono::milliseconds limit;
  // Empty when it comes up; else what the version put back learns.
  const char* reason;
};

void PrintTo(const NewStart& start, std::ostream* out) {
  *out << start.name;
}

const NewStart newStarts[] = {
    {"comesUp", comesUp, std::chrono::seconds(20), ""},
    {"exitsAtOnce", "exit 0", std::chrono::seconds(20), "it exited with status 0 before it came up"},
    {"diesAfterTwoSeconds", "sleep 2; kill -SEGV $$", std::chrono::seconds(20), "it was ended by signal 11"},
    {"hangsWithoutAWindow", "exec sleep 30", std::chrono::milliseconds(1500),
     "it did not come up within 1.5 seconds"},
};

class StagedStartTest : public ::testing::TestWithParam<std::tuple<bool, NewStart>> {};

// After "Later", the next start of the version the reader had swaps the staged one in, hands it
// its request and watches it come up: one that never runs our code (exits, dies, hangs) is put
// back with its reason, and the command never stays on it.
TEST_P(StagedStartTest, theNextStartOfTheOldVersionWatchesTheNewOneComeUp) {
  const auto& [exchange, start] = GetParam();
  StagedFixture fixture(exchange);
  ASSERT_TRUE(fixture.stage(start.start));
  ASSERT_EQ(fixture.started(), "old") << "the command keeps the version the reader had";
  ASSERT_TRUE(StagedUpdate::waitingFor(fixture.command()));

  const std::optional<QString> instead = StagedUpdate::startAndWatch(
      fixture.command(), {QStringLiteral("brindlewick:open")}, start.limit, fixture.steps());

  EXPECT_EQ(readFile(fixture.prefix() + QStringLiteral("/args")), "brindlewick:open\n");
  EXPECT_FALSE(StagedUpdate::waitingFor(fixture.command()));
  EXPECT_EQ(fixture.linkText(), "../lib/brindlewick/brindlewick");
  if (QByteArray(start.reason).isEmpty()) {
    EXPECT_FALSE(instead.has_value());
    EXPECT_EQ(fixture.started().split('\n').value(0), "new");
    return;
  }
  ASSERT_TRUE(instead.has_value());
  EXPECT_EQ(runToEnd(*instead, {}).output, "old");
  EXPECT_EQ(fixture.started(), "old");
  const std::optional<UpdateTrial::NotStarted> told = fixture.startOld();
  ASSERT_TRUE(told.has_value());
  EXPECT_EQ(told->version, QStringLiteral("1.4.0"));
  EXPECT_TRUE(told->reason.startsWith(QLatin1String(start.reason))) << told->reason.toStdString();
  EXPECT_EQ(fixture.leftovers(), "brindlewick brindlewick");
  EXPECT_FALSE(StagedUpdate::waitingFor(fixture.command())) << "it is not tried again";
}

INSTANTIATE_TEST_SUITE_P(Starts, StagedStartTest,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(newStarts)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "exchanged_" : "linked_") +
                                  std::get<1>(info.param).name;
                         });

class StagedKillTest : public ::testing::TestWithParam<bool> {};

// The start swapping the staged version in is killed after each step, and the new version cannot
// come up at a real start (its model is never built): whichever program the command starts next,
// the reader ends on the version they had, told why where the new one ran, with nothing left over.
TEST_P(StagedKillTest, aKillAtEveryStepOfTheSwapEndsOnTheVersionTheReaderHad) {
  int steps = 0;
  {
    StagedFixture whole(GetParam());
    ASSERT_TRUE(whole.stage("exit 1"));
    const KilledSwitchRun done =
        runToEnd(QStringLiteral(BRINDLEWICK_STAGED_CHILD), {whole.command(), whole.exchangeArgument(), "0"});
    ASSERT_EQ(done.status, 0) << done.output.toStdString();
    steps = done.output.toInt();
  }
  ASSERT_GT(steps, 1);

  for (int step = 1; step <= steps; ++step) {
    SCOPED_TRACE(QStringLiteral("killed after step %1 of %2").arg(step).arg(steps).toStdString());
    StagedFixture fixture(GetParam());
    ASSERT_TRUE(fixture.stage("exit 1"));
    const KilledSwitchRun killed =
        runToEnd(QStringLiteral(BRINDLEWICK_STAGED_CHILD),
                 {fixture.command(), fixture.exchangeArgument(), QString::number(step)});
    ASSERT_TRUE(killed.killed) << killed.output.toStdString();

    const QByteArray next = fixture.started();
    ASSERT_TRUE(next.startsWith("new") || next == "old") << next.toStdString();
    if (next.startsWith("new")) {
      // The new program's own start: on trial even where it finishes the switch, so its start
      // failure puts the old version back.
      UpdateTrial trial(fixture.command());
      EXPECT_EQ(trial.begin().verdict, UpdateTrial::Verdict::onTrial);
      const std::optional<QString> back = trial.rollBack(QStringLiteral("its certificate authority is gone"));
      ASSERT_TRUE(back.has_value());
      EXPECT_EQ(runToEnd(*back, {}).output, "old");
    }
    const std::optional<UpdateTrial::NotStarted> told = fixture.startOld();
    EXPECT_EQ(told.has_value(), next.startsWith("new"));
    EXPECT_EQ(fixture.started(), "old");
    EXPECT_EQ(fixture.linkText(), "../lib/brindlewick/brindlewick");
    EXPECT_EQ(fixture.leftovers(), "brindlewick brindlewick");
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, StagedKillTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "exchanged" : "linked"); });

struct Leftover {
  const char* path;
  // "file", "link" (to `target`) or "folder".
  const char* kind;
  const char* target;
  bool removed;
};

// What a step killed between writing a temporary name and renaming it over its own leaves is
// removed at the next start; only names of that pattern for our own entries, and no link is
// followed.
TEST(StagedUpdateStart, theNextStartRemovesTheTemporaryNamesOfAKilledStep) {
  const Leftover leftovers[] = {
      {"lib/..brindlewick-trial.k3j2.tmp", "file", "", true},
      {"lib/..brindlewick-previous.k3j2.tmp", "link", ".brindlewick-program-gone", true},
      {"lib/.brindlewick.k3j2.tmp", "link", "../keep", true},
      {"bin/.brindlewick.k3j2.tmp", "link", "../lib/.brindlewick-program-gone/brindlewick", true},
      {"bin/.brindlewick.m4n5.tmp", "link", "../lib/brindlewick/brindlewick", true},
      {"lib/.brindlewick.folder.tmp", "folder", "", false},
      {"lib/.brindlewick-other.k3j2.tmp", "file", "", false},
      {"bin/.brindlewick.k3j2.tmp.keep", "file", "", false},
      {"bin/.other.k3j2.tmp", "file", "", false},
  };
  StagedFixture fixture(true);
  writeFile(fixture.prefix() + QStringLiteral("/keep/file"), "keep");
  for (const Leftover& leftover : leftovers) {
    const QString path = fixture.prefix() + QLatin1Char('/') + QLatin1String(leftover.path);
    if (QByteArray(leftover.kind) == "file")
      writeFile(path, "x");
    else if (QByteArray(leftover.kind) == "folder")
      writeFile(path + QStringLiteral("/inside"), "x");
    else
      ASSERT_TRUE(QFile::link(QLatin1String(leftover.target), path));
  }

  UpdateInstaller(fixture.command(), {}).finishPendingInstall();

  for (const Leftover& leftover : leftovers)
    EXPECT_EQ(InstallFolders::exists(fixture.prefix() + QLatin1Char('/') + QLatin1String(leftover.path)),
              !leftover.removed)
        << leftover.path;
  EXPECT_EQ(readFile(fixture.prefix() + QStringLiteral("/keep/file")), "keep");
  EXPECT_EQ(fixture.started(), "old");
}

} // namespace
