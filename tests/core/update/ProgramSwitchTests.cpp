#include "TestFiles.h"
#include "update/InstallFolders.h"
#include "update/InstallLocation.h"
#include "update/KilledSwitch.h"
#include "update/ProgramSwitch.h"
#include "update/UpdateInstaller.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;
using brindlewick::testing::KilledSwitchRun;
using brindlewick::testing::runToEnd;
using brindlewick::testing::writeFile;

namespace {

// A stand-in program of `version` in `folder`: it prints the version it was built as and the one
// its folder's configuration names, so "old old" or "new new" is a whole program and anything
// else half of one.
void writeProgram(const QString& folder, const QByteArray& version) {
  writeFile(folder + QStringLiteral("/brindlewick"),
            "#!/bin/sh\nd=$(dirname \"$(readlink -f \"$0\")\")\necho \"" + version +
                " $(cat \"$d/version\")\"\n",
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  writeFile(folder + QStringLiteral("/version"), version);
}

enum class Layout { realFolder, linkedFolder };

struct SwitchCase {
  const char* name;
  Layout layout;
  bool exchange;
  // An install keeps the replaced folder as the previous one; putting the previous one back
  // after a failed start discards the replaced one.
  bool keep;
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
  *out << c.name;
}

// A per-user install of "old" in a temporary prefix, and "new" unpacked beside it as an
// installer stages it (or, to put back, "good" in the previous folder's place).
class SwitchFixture {
public:
  explicit SwitchFixture(const SwitchCase& c) : m_case(c) {
    const QString lib = prefix() + QStringLiteral("/lib");
    if (c.layout == Layout::realFolder) {
      writeProgram(lib + QStringLiteral("/brindlewick"), c.keep ? "old" : "bad");
    } else {
      writeProgram(lib + QStringLiteral("/.brindlewick-program-a1b2c3"), c.keep ? "old" : "bad");
      QFile::link(QStringLiteral(".brindlewick-program-a1b2c3"), lib + QStringLiteral("/brindlewick"));
    }
    QDir().mkpath(prefix() + QStringLiteral("/bin"));
    QFile::link(QStringLiteral("../lib/brindlewick/brindlewick"), command());
    if (c.keep) {
      m_incoming = lib + QStringLiteral("/.brindlewick-update-x1y2z3/brindlewick-2.0-Linux/lib/brindlewick");
      writeProgram(m_incoming, "new");
    } else {
      m_incoming = lib + QStringLiteral("/.brindlewick-previous");
      writeProgram(m_incoming, "good");
    }
  }

  QString prefix() const { return m_root.filePath(QStringLiteral("prefix")); }
  QString command() const { return prefix() + QStringLiteral("/bin/brindlewick"); }
  std::string commandLink() const { return InstallFolders::linkText(command()).toStdString(); }
  QString program() const { return prefix() + QStringLiteral("/lib/brindlewick/brindlewick"); }
  QString previous() const { return prefix() + QStringLiteral("/lib/.brindlewick-previous"); }
  const QString& incoming() const { return m_incoming; }
  // Whether a program folder kept beside the program folder (the previous one, or a hidden one
  // that a cut switch left) holds `program`.
  bool keeps(const QByteArray& program) const {
    const QDir lib(prefix() + QStringLiteral("/lib"));
    for (const QString& name :
         lib.entryList({QStringLiteral(".brindlewick-p*")}, QDir::Dirs | QDir::Hidden)) {
      if (runToEnd(lib.filePath(name + QStringLiteral("/brindlewick")), {}).output == program)
        return true;
    }
    return false;
  }
  // What the command starts.
  QByteArray started() const { return runToEnd(command(), {}).output; }
  // The program that must survive: the running one an install replaces, or the one put back.
  QByteArray precious() const { return m_case.keep ? "old old" : "good good"; }
  QByteArray arriving() const { return m_case.keep ? "new new" : "good good"; }
  QByteArray leaving() const { return m_case.keep ? "old old" : "bad bad"; }

  KilledSwitchRun switchIn(int dieAfter) const {
    return runToEnd(QStringLiteral(BRINDLEWICK_SWITCH_CHILD),
                    {program(), m_incoming, m_case.keep ? QStringLiteral("keep") : QStringLiteral("discard"),
                     m_case.exchange ? QStringLiteral("exchange") : QStringLiteral("no-exchange"),
                     QString::number(dieAfter)});
  }

private:
  SwitchCase m_case;
  QTemporaryDir m_root;
  QString m_incoming;
};

class ProgramSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

// A kill after any step of a switch, with or without the exchange, leaves a command that starts
// a whole program, old or new; the next start completes what was cut short, and the program
// worth keeping is never lost.
TEST_P(ProgramSwitchTest, aKillAtEveryStepLeavesACommandThatStartsAWholeProgram) {
  int steps = 0;
  {
    SwitchFixture whole(GetParam());
    ASSERT_EQ(whole.started(), whole.leaving());
    const KilledSwitchRun done = whole.switchIn(0);
    ASSERT_EQ(done.status, 0) << done.output.toStdString();
    steps = done.output.toInt();
    EXPECT_EQ(whole.started(), whole.arriving());
    EXPECT_EQ(whole.commandLink(), "../lib/brindlewick/brindlewick") << "the command keeps its usual link";
    if (GetParam().keep) {
      EXPECT_EQ(runToEnd(whole.previous() + QStringLiteral("/brindlewick"), {}).output, "old old");
    }
  }
  ASSERT_GT(steps, 0);

  for (int step = 1; step <= steps; ++step) {
    SCOPED_TRACE(QStringLiteral("killed after step %1 of %2").arg(step).arg(steps).toStdString());
    SwitchFixture fixture(GetParam());
    const KilledSwitchRun killed = fixture.switchIn(step);
    ASSERT_TRUE(killed.killed) << killed.output.toStdString();

    const QByteArray now = fixture.started();
    EXPECT_TRUE(now == fixture.arriving() || now == fixture.leaving()) << now.toStdString();

    // The next start completes the switch and clears what the kill left.
    UpdateInstaller(fixture.command(), {}).finishPendingInstall();
    const QByteArray after = fixture.started();
    EXPECT_TRUE(after == fixture.arriving() || after == fixture.leaving()) << after.toStdString();
    EXPECT_EQ(fixture.commandLink(), "../lib/brindlewick/brindlewick");
    EXPECT_TRUE(after == fixture.precious() || fixture.keeps(fixture.precious())) << after.toStdString();
    EXPECT_EQ(QDir(fixture.prefix() + QStringLiteral("/lib"))
                  .entryList({QStringLiteral(".brindlewick-update-*")}, QDir::AllEntries | QDir::Hidden)
                  .join(QLatin1Char(' '))
                  .toStdString(),
              "");
  }
}

const SwitchCase switchCases[] = {
    {"installByExchange", Layout::realFolder, true, true},
    {"installWithoutExchange", Layout::realFolder, false, true},
    {"installOverALink", Layout::linkedFolder, true, true},
    {"installOverALinkWithoutExchange", Layout::linkedFolder, false, true},
    {"putBackByExchange", Layout::realFolder, true, false},
    {"putBackWithoutExchange", Layout::realFolder, false, false},
    {"putBackOverALink", Layout::linkedFolder, false, false},
};

INSTANTIATE_TEST_SUITE_P(Switches, ProgramSwitchTest, ::testing::ValuesIn(switchCases),
                         [](const ::testing::TestParamInfo<SwitchCase>& info) {
                           return std::string(info.param.name);
                         });

// Without the exchange, a command that is not the link an install makes is not repointed, so
// the switch is refused and nothing changes.
TEST(ProgramSwitch, withoutTheExchangeOnlyTheUsualCommandIsSwitched) {
  SwitchFixture fixture({"custom", Layout::realFolder, false, true});
  QFile::remove(fixture.command());
  writeFile(fixture.command(), "#!/bin/sh\nexec ../lib/brindlewick/brindlewick\n",
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  const KilledSwitchRun refused = fixture.switchIn(0);

  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.output.contains("is not the link an install makes")) << refused.output.toStdString();
  EXPECT_EQ(runToEnd(fixture.prefix() + QStringLiteral("/lib/brindlewick/brindlewick"), {}).output,
            "old old");
  EXPECT_EQ(runToEnd(fixture.incoming() + QStringLiteral("/brindlewick"), {}).output, "new new");
}

} // namespace
