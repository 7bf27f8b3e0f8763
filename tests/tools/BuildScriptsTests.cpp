// `make run` and `make test` as the Makefile starts them, on a copy of their scripts with
// stand-ins for the build tools: where they build, and with how many jobs.
#include "ProgramRun.h"
#include "TestFiles.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using brindlewick::testing::readFile;
using brindlewick::testing::runProgram;
using brindlewick::testing::writeFile;

namespace {

constexpr QFile::Permissions kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// A clone of its own: the scripts work in the folder above theirs. Each build tool and fuzzer
// writes its name and arguments to calls.log and does nothing else.
class BuildScripts : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_clone.isValid());
    for (const char* script : {"run", "run-tests", "run-fuzzers", "parallel-jobs.sh"}) {
      const QString name = QStringLiteral("scripts/") + QLatin1String(script);
      writeFile(path(name), readFile(QStringLiteral(BRINDLEWICK_SOURCE_DIR "/") + name), kExecutable);
    }
    const QByteArray logsItsCall = "#!/bin/sh\necho \"${0##*/} $*\" >>'" + path("calls.log").toUtf8() + "'\n";
    for (const char* tool : {"cmake", "ctest"})
      writeFile(path(QStringLiteral("bin/") + QLatin1String(tool)), logsItsCall, kExecutable);
    for (const char* target :
         {"ContentContracts", "AccountContracts", "UpdateArchive", "UpdateFeed", "UpdateUnpack"})
      writeFile(path(QStringLiteral("build-fuzz/fuzz/%1Fuzzer").arg(QLatin1String(target))), logsItsCall,
                kExecutable);
    writeFile(path("bin/nproc"), "#!/bin/sh\necho 7\n", kExecutable);
    // The session's keyring answers.
    writeFile(path("bin/dbus-send"), "#!/bin/sh\necho '   boolean true'\n", kExecutable);
    ASSERT_TRUE(QDir().mkpath(path("runtime")));
  }

  QString path(const QString& name) const { return m_clone.filePath(name); }

  // Only what is given here: a JOBS or BUILD of the machine's own would change the outcome.
  brindlewick::testing::ProgramRun run(const QString& script,
                                       const QList<std::pair<QString, QString>>& variables) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), path("bin") + ':' + qEnvironmentVariable("PATH"));
    environment.insert(QStringLiteral("HOME"), m_clone.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4093"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + path("no-bus"));
    for (const auto& [name, value] : variables)
      environment.insert(name, value);
    return runProgram(path(QStringLiteral("scripts/") + script), {}, environment, 60000);
  }

  QStringList calls(const QString& command) const {
    const QStringList lines = QString::fromUtf8(readFile(path("calls.log"))).split('\n');
    return lines.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(command) + ' '));
  }

  QTemporaryDir m_clone;
};

// JOBS sets every build's parallelism and the tests run at once; anything but a positive number
// stops the script before it builds anything.
TEST_F(BuildScripts, jobsSetsEveryBuildAndTheTestsAtOnceOrIsRefused) {
  const struct {
    const char* script;
    const char* jobs; // nullptr: unset
    const char* refusal;
    const char* parallel;
  } rows[] = {
      {"run-tests", nullptr, nullptr, "7"}, // all cores
      {"run-tests", "", nullptr, "7"},
      {"run-tests", "1", nullptr, "1"},
      {"run-tests", "12", nullptr, "12"},
      {"run-tests", "abc", "make test: JOBS must be a positive number of parallel jobs, not 'abc'\n",
       nullptr},
      {"run-tests", "0", "make test: JOBS must be a positive number of parallel jobs, not '0'\n", nullptr},
      {"run-tests", "-2", "make test: JOBS must be a positive number of parallel jobs, not '-2'\n", nullptr},
      {"run-tests", "2 4", "make test: JOBS must be a positive number of parallel jobs, not '2 4'\n",
       nullptr},
      {"run-fuzzers", "x", "run-fuzzers: JOBS must be a positive number of parallel jobs, not 'x'\n",
       nullptr},
      {"run", "04", "make run: JOBS must be a positive number of parallel jobs, not '04'\n", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.script) + " JOBS=" + (row.jobs ? row.jobs : "(unset)"));
    QFile::remove(path("calls.log"));
    QList<std::pair<QString, QString>> variables;
    if (row.jobs)
      variables.append({QStringLiteral("JOBS"), QString::fromUtf8(row.jobs)});
    const auto result = run(QString::fromLatin1(row.script), variables);
    if (row.refusal) {
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.output.toStdString(), row.refusal);
      EXPECT_FALSE(QFile::exists(path("calls.log")))
          << "it built: " << readFile(path("calls.log")).toStdString();
      continue;
    }
    ASSERT_EQ(result.status, 0) << result.output.toStdString();
    const QRegularExpression parallel(QStringLiteral(" --parallel %1( |$)").arg(QLatin1String(row.parallel)));
    const QStringList builds = calls(QStringLiteral("cmake --build"));
    EXPECT_EQ(builds.size(), 3) << builds.join('\n').toStdString(); // regular, sanitizer, fuzzers
    EXPECT_EQ(builds.filter(parallel).size(), 3) << builds.join('\n').toStdString();
    const QStringList tests = calls(QStringLiteral("ctest"));
    EXPECT_EQ(tests.size(), 2);
    EXPECT_EQ(tests.filter(parallel).size(), 2) << tests.join('\n').toStdString();
    EXPECT_EQ(calls(QStringLiteral("ContentContractsFuzzer")).size(), 1) << "the fuzzers ran";
  }
}

// make test configures build/; make run a folder of its own (or BUILD), which it configures for
// the stand-in, taking along the stand-in's authority and accounts an older make run kept in build/.
TEST_F(BuildScripts, makeRunBuildsInAFolderOfItsOwnAndMakeTestInBuild) {
  writeFile(path("build/stand-in/ca.pem"), "the authority a browser trusts\n");
  const struct {
    const char* build; // nullptr: unset
    const char* folder;
    bool takesTheStandInAlong;
  } rows[] = {{"build-mine", "build-mine", false}, {nullptr, "build-run", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.folder);
    QFile::remove(path("calls.log"));
    QList<std::pair<QString, QString>> variables{{QStringLiteral("JOBS"), QStringLiteral("2")}};
    if (row.build)
      variables.append({QStringLiteral("BUILD"), QString::fromLatin1(row.build)});
    // The build tools do nothing, so there is no stand-in to start: it ends there.
    const auto result = run(QStringLiteral("run"), variables);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.output.contains("make run: the stand-in service did not start"))
        << result.output.toStdString();
    const QString folder = QLatin1String(row.folder);
    const QStringList configured = calls(QStringLiteral("cmake -S"));
    ASSERT_EQ(configured.size(), 1);
    EXPECT_TRUE(configured[0].startsWith("cmake -S . -B " + folder + " -G Ninja"))
        << configured[0].toStdString();
    EXPECT_TRUE(
        configured[0].contains("-DBRINDLEWICK_DEVELOPMENT_CA=" + path(folder + "/stand-in/ca.pem") + ' '))
        << configured[0].toStdString();
    EXPECT_EQ(calls(QStringLiteral("cmake --build")).join('\n').toStdString(),
              ("cmake --build " + folder +
               " --parallel 2 --target brindlewick brindlewick-reading-service-stand-in")
                  .toStdString());
    EXPECT_EQ(readFile(path(folder + "/stand-in/ca.pem")) == readFile(path("build/stand-in/ca.pem")),
              row.takesTheStandInAlong);
  }

  QFile::remove(path("calls.log"));
  ASSERT_EQ(run(QStringLiteral("run-tests"), {}).status, 0);
  EXPECT_EQ(calls(QStringLiteral("cmake -S")).value(0).section(' ', 0, 4),
            QStringLiteral("cmake -S . -B build"));
}

} // namespace
