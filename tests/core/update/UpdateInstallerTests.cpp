#include "update/DownloadedUpdate.h"
#include "update/InstallLocation.h"
#include "update/StagedUpdate.h"
#include "update/StartCheck.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateRestart.h"
#include "update/UpdateTrial.h"

#include "AsyncProbe.h"
#include "FolderSnapshot.h"
#include "TarGzBuilder.h"
#include "TestFiles.h"
#include "UpdateArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brindlewick;
using brindlewick::testing::readFile;
using brindlewick::testing::writeFile;

namespace {

// Ended, whether or not its parent has collected it yet.
bool hasEnded(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!status.open(QIODevice::ReadOnly))
    return true;
  const QByteArray line = status.readAll();
  return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

const QByteArray oldProgram = "#!/bin/sh\necho old\n";

QByteArray configurationOf(const QString& version) {
  return "{\"CFBundleShortVersionString\": \"" + version.toUtf8() + "\"}";
}

QMap<QString, QByteArray> tree(const QString& root) {
  return brindlewick::testing::folderSnapshot(root);
}

// A per-user install of version 0.1.0 in a temporary prefix, laid out as `cmake --install`
// makes it, with a download folder beside it.
class InstallFixture : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_root.isValid());
    writeFile(programFolder() + QStringLiteral("/brindlewick"), oldProgram,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(programFolder() + QStringLiteral("/brindlewick-configuration.json"),
              configurationOf(QStringLiteral("0.1.0")));
    QDir().mkpath(prefix() + QStringLiteral("/bin"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../lib/brindlewick/brindlewick"),
                            prefix() + QStringLiteral("/bin/brindlewick")));
  }

  QString prefix() const { return m_root.filePath(QStringLiteral("prefix")); }
  QString programFolder() const { return prefix() + QStringLiteral("/lib/brindlewick"); }
  QString previousFolder() const { return prefix() + QStringLiteral("/lib/.brindlewick-previous"); }
  QString downloads() const { return m_root.filePath(QStringLiteral("Downloads")); }
  // Started through the link, as the launcher does.
  QString executable() const { return prefix() + QStringLiteral("/bin/brindlewick"); }
  QString stagedFolder() const { return prefix() + QStringLiteral("/lib/.brindlewick-staged"); }
  QStringList besideProgram() const {
    return QDir(prefix() + QStringLiteral("/lib"))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
  // What the next start of the running version does first: the staged version goes in place.
  void swapIn() const {
    ASSERT_EQ(StagedUpdate::swapIn(*InstallLocation::of(executable())),
              std::optional<QString>(prefix() + QStringLiteral("/lib/brindlewick/brindlewick")));
  }

  QString archiveFile(const QByteArray& bytes, const QString& name = QStringLiteral("verified.tar.gz")) {
    const QString path = m_root.filePath(name);
    writeFile(path, bytes);
    return path;
  }

  AsyncOutcome<UpdateInstallOutcome> install(const QString& executablePath, const QString& file,
                                             const QString& version) {
    UpdateInstaller installer(executablePath, downloads());
    return finishTask(installer.install(file, version));
  }

  QTemporaryDir m_root;
};

TEST_F(InstallFixture, stagesTheNewProgramAndKeepsTheRunningOneUntilTheNewOneStarts) {
  UpdateInstaller installer(executable(), downloads());
  ASSERT_TRUE(installer.installsInPlace());

  const auto outcome = finishTask(
      installer.install(archiveFile(sampleUpdateArchive(QStringLiteral("1.4.0"))), QStringLiteral("1.4.0")));

  ASSERT_TRUE(outcome.finished);
  const UpdateInstallOutcome result = outcome.get();
  EXPECT_EQ(result.kind, UpdateInstallOutcome::Kind::staged);
  EXPECT_EQ(result.path, programFolder() + QStringLiteral("/brindlewick")) << "the program to start again";
  EXPECT_EQ(readFile(executable()), oldProgram) << "the command keeps the version the reader has";
  EXPECT_TRUE(readFile(stagedFolder() + QStringLiteral("/brindlewick")).contains("Brindlewick 1.4.0"));
  EXPECT_EQ(besideProgram(),
            (QStringList{QStringLiteral(".brindlewick-staged"), QStringLiteral("brindlewick")}));
  EXPECT_TRUE(StagedUpdate::waitingFor(executable()));

  swapIn();
  EXPECT_FALSE(StagedUpdate::waitingFor(executable()));
  EXPECT_TRUE(readFile(executable()).contains("Brindlewick 1.4.0"))
      << "the launcher's link leads to the new program";
  EXPECT_TRUE(
      readFile(programFolder() + QStringLiteral("/brindlewick-configuration.json")).contains("\"1.4.0\""));
  EXPECT_EQ(readFile(previousFolder() + QStringLiteral("/brindlewick")), oldProgram);
  // Nothing else is left beside the program folder.
  EXPECT_EQ(QDir(prefix() + QStringLiteral("/lib"))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{QStringLiteral(".brindlewick-previous"), QStringLiteral(".brindlewick-trial"),
                         QStringLiteral("brindlewick")}));

  // The new program's start keeps the old folder until it has really started, then clears it.
  UpdateTrial trial(executable());
  EXPECT_EQ(trial.begin().verdict, UpdateTrial::Verdict::onTrial);
  UpdateInstaller(executable(), downloads()).finishPendingInstall();
  EXPECT_EQ(readFile(previousFolder() + QStringLiteral("/brindlewick")), oldProgram)
      << "the folder to put back stays while the new program starts";
  trial.confirm();
  EXPECT_FALSE(QFileInfo::exists(previousFolder()));
  EXPECT_FALSE(QFileInfo::exists(prefix() + QStringLiteral("/lib/.brindlewick-trial")));
  EXPECT_TRUE(readFile(executable()).contains("Brindlewick 1.4.0"));
}

TEST_F(InstallFixture, aSecondUpdateBeforeTheRestartKeepsTheRunningProgramNotTheUnstartedOne) {
  UpdateInstaller installer(executable(), downloads());
  ASSERT_TRUE(finishTask(installer.install(archiveFile(sampleUpdateArchive(QStringLiteral("1.4.0"))),
                                           QStringLiteral("1.4.0")))
                  .finished);
  const auto second = finishTask(installer.install(
      archiveFile(sampleUpdateArchive(QStringLiteral("1.5.0")), QStringLiteral("second.tar.gz")),
      QStringLiteral("1.5")));

  EXPECT_EQ(second.get().kind, UpdateInstallOutcome::Kind::staged);
  EXPECT_TRUE(readFile(stagedFolder() + QStringLiteral("/brindlewick")).contains("Brindlewick 1.5.0"))
      << "the later update takes the staged folder's place";
  EXPECT_EQ(besideProgram().size(), 2);
  swapIn();
  EXPECT_TRUE(readFile(executable()).contains("Brindlewick 1.5.0"));
  EXPECT_EQ(readFile(previousFolder() + QStringLiteral("/brindlewick")), oldProgram);
  EXPECT_EQ(QDir(prefix() + QStringLiteral("/lib"))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .size(),
            3);
}

TEST_F(InstallFixture, aLinkWhereThePreviousFolderGoesIsReplacedNotFollowed) {
  writeFile(m_root.filePath(QStringLiteral("keep/file")), "keep");
  ASSERT_TRUE(QFile::link(m_root.filePath(QStringLiteral("keep")), previousFolder()));

  const auto outcome = install(executable(), archiveFile(sampleUpdateArchive(QStringLiteral("1.4.0"))),
                               QStringLiteral("1.4.0"));

  EXPECT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::staged);
  swapIn();
  EXPECT_FALSE(QFileInfo(previousFolder()).isSymLink());
  EXPECT_EQ(readFile(previousFolder() + QStringLiteral("/brindlewick")), oldProgram);
  EXPECT_EQ(readFile(m_root.filePath(QStringLiteral("keep/file"))), "keep");
}

struct FailedInstall {
  const char* name;
  std::function<QByteArray()> archive;
  const char* version;
  const char* message;
};

void PrintTo(const FailedInstall& failure, std::ostream* out) {
  *out << failure.name;
}

QByteArray programThen(const std::function<void(TarGzBuilder&)>& more) {
  TarGzBuilder builder;
  builder.addFolder("brindlewick-1.4.0-Linux/lib/brindlewick/");
  builder.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick", "#!/bin/sh\necho new\n", 0755);
  builder.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick-configuration.json",
                  configurationOf(QStringLiteral("1.4.0")));
  more(builder);
  return builder.archive();
}

// A program of version 1.4.0 whose start check runs `check` (a shell command).
QByteArray programWhoseCheck(const QByteArray& check) {
  TarGzBuilder builder;
  builder.addFolder("brindlewick-1.4.0-Linux/lib/brindlewick/");
  builder.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick", "#!/bin/sh\n" + check + "\n", 0755);
  builder.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick-configuration.json",
                  configurationOf(QStringLiteral("1.4.0")));
  return builder.archive();
}

class FailedInstallTest : public InstallFixture, public ::testing::WithParamInterface<FailedInstall> {};

// However far an install got, a failure leaves the install exactly as it was, with nothing
// left beside it, and says why.
TEST_P(FailedInstallTest, leavesTheInstallAsItWas) {
  const QString file = archiveFile(GetParam().archive());
  const QMap<QString, QByteArray> before = tree(prefix());

  const auto outcome = install(executable(), file, QString::fromLatin1(GetParam().version));

  ASSERT_TRUE(outcome.finished);
  const std::optional<UpdateInstallError> error = outcome.errorAs<UpdateInstallError>();
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->message().contains(QLatin1String(GetParam().message))) << error->message().toStdString();
  EXPECT_EQ(tree(prefix()), before);
  EXPECT_FALSE(QFileInfo::exists(downloads()));
}

const FailedInstall failedInstalls[] = {
    {"laterEntryLeavesItsFolder",
     [] { return programThen([](TarGzBuilder& b) { b.addFile("../../escape", "x"); }); }, "1.4.0",
     "a path that leaves its folder"},
    {"laterLinkPointsOut",
     [] {
       return programThen([](TarGzBuilder& b) { b.addLink("brindlewick-1.4.0-Linux/home", "../../.."); });
     },
     "1.4.0", "a link pointing outside it"},
    {"truncated",
     [] {
       const QByteArray whole = programThen(
           [](TarGzBuilder& b) { b.addFile("brindlewick-1.4.0-Linux/padding", QByteArray(40000, 'p')); });
       return whole.left(whole.size() - 20);
     },
     "1.4.0", "it ends early"},
    {"noProgram",
     [] {
       TarGzBuilder b;
       b.addFile("brindlewick-1.4.0-Linux/README", "no program here");
       return b.archive();
     },
     "1.4.0", "does not hold the Brindlewick program"},
    {"programIsALink",
     [] {
       TarGzBuilder b;
       b.addFolder("lib/brindlewick/");
       b.addFile("lib/brindlewick/other", "#!/bin/sh\n", 0755);
       b.addLink("lib/brindlewick/brindlewick", "other");
       b.addFile("lib/brindlewick/brindlewick-configuration.json", configurationOf(QStringLiteral("1.4.0")));
       return b.archive();
     },
     "1.4.0", "does not hold the Brindlewick program"},
    {"programNotExecutable",
     [] {
       TarGzBuilder b;
       b.addFile("lib/brindlewick/brindlewick", "text", 0644);
       b.addFile("lib/brindlewick/brindlewick-configuration.json", configurationOf(QStringLiteral("1.4.0")));
       return b.archive();
     },
     "1.4.0", "does not hold the Brindlewick program"},
    {"configurationMissing",
     [] {
       TarGzBuilder b;
       b.addFile("lib/brindlewick/brindlewick", "#!/bin/sh\n", 0755);
       return b.archive();
     },
     "1.4.0", "configuration is missing or unreadable"},
    {"otherVersionThanAnnounced", [] { return sampleUpdateArchive(QStringLiteral("1.3.0")); }, "1.4.0",
     "holds version 1.3.0, not the announced 1.4.0"},
    {"versionNotANumber", [] { return sampleUpdateArchive(QStringLiteral("1.4.0")); }, "1.4.0/../x",
     "is not a version number"},
    // Inside what was unpacked, but out of the program folder once it is swapped in.
    {"linkIntoThePrefix",
     [] {
       return programThen(
           [](TarGzBuilder& b) { b.addLink("brindlewick-1.4.0-Linux/lib/brindlewick/home", "../../bin"); });
     },
     "1.4.0", "\"brindlewick-1.4.0-Linux/lib/brindlewick/home\", a link pointing outside the program folder"},
    {"linkToThePrefixAtTheTop",
     [] {
       TarGzBuilder b;
       b.addFile("lib/brindlewick/brindlewick", "#!/bin/sh\n", 0755);
       b.addFile("lib/brindlewick/brindlewick-configuration.json", configurationOf(QStringLiteral("1.4.0")));
       b.addLink("lib/brindlewick/up", "../..");
       return b.archive();
     },
     "1.4.0", "\"lib/brindlewick/up\", a link pointing outside the program folder"},
    {"programFolderThroughALink",
     [] {
       TarGzBuilder b;
       b.addFile("real/brindlewick/brindlewick", "#!/bin/sh\n", 0755);
       b.addFile("real/brindlewick/brindlewick-configuration.json", configurationOf(QStringLiteral("1.4.0")));
       b.addLink("lib", "real");
       return b.archive();
     },
     "1.4.0", "does not hold the Brindlewick program"},
    {"notAnArchive", [] { return QByteArray("<html>Not found</html>"); }, "1.4.0",
     "not a gzip-compressed tar archive"},
    // The program must show that it starts before it goes in place.
    {"programCrashesAsItStarts", [] { return programWhoseCheck("kill -SEGV $$"); }, "1.4.0",
     "The update's program does not start (it was ended by signal 11"},
    {"programStopsAndSaysWhy",
     [] {
       return programWhoseCheck("echo 'The development certificate authority /gone/ca.pem cannot be used: No "
                                "such file' >&2; exit 1");
     },
     "1.4.0", "it exited with status 1: The development certificate authority /gone/ca.pem cannot be used"},
    {"programIgnoresTheCheck", [] { return programWhoseCheck("echo 'Brindlewick 1.4.0'"); }, "1.4.0",
     "it did not answer as Brindlewick 1.4.0 does"},
    {"programAnswersForAnotherVersion",
     [] { return programWhoseCheck("echo 'Brindlewick 1.3.0 can start.'"); }, "1.4.0",
     "it did not answer as Brindlewick 1.4.0 does"},
};

INSTANTIATE_TEST_SUITE_P(Installs, FailedInstallTest, ::testing::ValuesIn(failedInstalls),
                         [](const ::testing::TestParamInfo<FailedInstall>& info) {
                           return std::string(info.param.name);
                         });

// A write that fails part-way (here: past the largest file this process may write, as on a
// full disk) leaves the install as it was and says what failed.
TEST_F(InstallFixture, aWriteFailingPartWayLeavesTheInstallAsItWas) {
  const QString file = archiveFile(programThen([](TarGzBuilder& b) {
    b.addFile("brindlewick-1.4.0-Linux/lib/brindlewick/data", QByteArray(64 * 1024, 'd'));
  }));
  const QMap<QString, QByteArray> before = tree(prefix());
  rlimit original{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &original), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = original;
  small.rlim_cur = 16 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

  const auto outcome = install(executable(), file, QStringLiteral("1.4.0"));

  ::setrlimit(RLIMIT_FSIZE, &original);
  std::signal(SIGXFSZ, previousHandler);
  const std::optional<UpdateInstallError> error = outcome.errorAs<UpdateInstallError>();
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->message().startsWith(QLatin1String("The update could not be unpacked into")))
      << error->message().toStdString();
  EXPECT_EQ(tree(prefix()), before);
}

// A version's parts are whole numbers of up to 64 bits, compared as numbers.
TEST_F(InstallFixture, takesAVersionWhosePartsPass32Bits) {
  const auto outcome = install(executable(), archiveFile(sampleUpdateArchive(QStringLiteral("4294967296.0"))),
                               QStringLiteral("4294967296"));

  ASSERT_TRUE(outcome.finished);
  EXPECT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::staged);
  swapIn();
  EXPECT_TRUE(readFile(executable()).contains("Brindlewick 4294967296.0"));
}

struct Tampering {
  const char* name;
  // Done to the downloaded file by its name once it was opened and checked.
  std::function<void(const QString& path)> tamper;
  // The install's error, or none when the checked bytes are installed.
  const char* failure = nullptr;
};

void PrintTo(const Tampering& tampering, std::ostream* out) {
  *out << tampering.name;
}

class TamperingTest : public InstallFixture, public ::testing::WithParamInterface<Tampering> {
protected:
  // Opens the download, tampers with it, then installs what was opened; the outcome and the
  // bytes the download had when it was opened.
  std::pair<AsyncOutcome<UpdateInstallOutcome>, QByteArray> installTampered(const QString& executablePath) {
    const QByteArray checked = sampleUpdateArchive(QStringLiteral("1.4.0"));
    const QString file = archiveFile(checked, QStringLiteral("brindlewick-1.4.0-Linux.tar.gz"));
    const std::shared_ptr<const DownloadedUpdate> update = DownloadedUpdate::open(file);
    GetParam().tamper(file);
    UpdateInstaller installer(executablePath, downloads());
    return {finishTask(installer.install(update, QStringLiteral("1.4.0"))), checked};
  }
};

// However the file is changed by its name after the check, the install takes the bytes that
// were checked, or, where those bytes are gone, refuses and changes nothing.
TEST_P(TamperingTest, theSwapInstallsTheCheckedBytes) {
  const QMap<QString, QByteArray> before = tree(prefix());
  const auto [outcome, checked] = installTampered(executable());

  ASSERT_TRUE(outcome.finished);
  if (GetParam().failure) {
    const std::optional<UpdateInstallError> error = outcome.errorAs<UpdateInstallError>();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->message(), QString::fromLatin1(GetParam().failure));
    EXPECT_EQ(tree(prefix()), before);
    return;
  }
  EXPECT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::staged);
  swapIn();
  EXPECT_TRUE(readFile(executable()).contains("Brindlewick 1.4.0")) << readFile(executable()).toStdString();
  EXPECT_FALSE(QFileInfo::exists(programFolder() + QStringLiteral("/marker")));
}

TEST_P(TamperingTest, theHandOffKeepsTheCheckedBytes) {
  const QString buildTree = m_root.filePath(QStringLiteral("build/src/app/brindlewick"));
  writeFile(buildTree, oldProgram, QFile::ReadOwner | QFile::ExeOwner);
  const auto [outcome, checked] = installTampered(buildTree);

  ASSERT_TRUE(outcome.finished);
  if (GetParam().failure) {
    const std::optional<UpdateInstallError> error = outcome.errorAs<UpdateInstallError>();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->message().startsWith(QLatin1String("The downloaded update could not be read")))
        << error->message().toStdString();
    EXPECT_TRUE(QDir(downloads()).isEmpty());
    return;
  }
  EXPECT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::handedOff);
  EXPECT_EQ(readFile(outcome.get().path), checked);
}

void replaceWith(const QString& path, const QByteArray& bytes) {
  writeFile(path + QStringLiteral(".new"), bytes);
  ASSERT_EQ(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                     QFile::encodeName(path).constData()),
            0);
}

QByteArray plantedArchive() {
  TarGzBuilder b;
  b.addFile("lib/brindlewick/brindlewick", "#!/bin/sh\necho planted\n", 0755);
  b.addFile("lib/brindlewick/brindlewick-configuration.json", configurationOf(QStringLiteral("1.4.0")));
  return b.archive();
}

// An archive of exactly the size of the file at `path` that passes every check of the install
// and carries a file "marker" of its own: were its bytes read in place of the checked ones,
// the install would take it.
QByteArray markedArchiveLike(const QString& path) {
  const qint64 size = QFileInfo(path).size();
  QByteArray answer = StartCheck::answer(QStringLiteral("1.4.0")).trimmed().toUtf8();
  const QByteArray program = "#!/bin/sh\nif [ \"$1\" = '" + StartCheck::switchName.toUtf8() +
                             "' ]; then echo '" + answer + "'; exit 0; fi\necho marked\n";
  const auto archiveWith = [&](const QByteArray& filler) {
    TarGzBuilder b;
    b.addFile("lib/brindlewick/brindlewick", program, 0755);
    b.addFile("lib/brindlewick/brindlewick-configuration.json", configurationOf(QStringLiteral("1.4.0")));
    b.addFile("lib/brindlewick/marker", "planted in place" + filler);
    return b.archive();
  };
  // Bytes that do not compress make the archive grow by about one byte each, repeated ones by
  // a little, so between them they reach any size above the smallest.
  QByteArray noise;
  std::uint32_t state = 1;
  while (archiveWith(noise).size() <= size) {
    for (int repeated = 0; repeated < 64; ++repeated) {
      const QByteArray archive = archiveWith(noise + QByteArray(repeated, 'x'));
      if (archive.size() == size)
        return archive;
    }
    state = state * 1664525u + 1013904223u;
    noise.append(char(state >> 24));
  }
  ADD_FAILURE() << "no archive of " << size << " bytes";
  return {};
}

// Written over the file's own bytes, the same file (and name) throughout.
void writeInPlace(const QString& path, const QByteArray& bytes) {
  ASSERT_FALSE(bytes.isEmpty());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_EQ(file.write(bytes), bytes.size());
  ASSERT_TRUE(file.resize(bytes.size()));
}

const Tampering tamperings[] = {
    {"anotherArchivePutInItsPlace", [](const QString& path) { replaceWith(path, plantedArchive()); }},
    {"itsNameRemoved", [](const QString& path) { QFile::remove(path); }},
    {"bytesAddedToIt",
     [](const QString& path) {
       QFile file(path);
       ASSERT_TRUE(file.open(QIODevice::Append));
       file.write(plantedArchive());
     }},
    {"cutShorter",
     [](const QString& path) { ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 100), 0); }},
    {"anotherArchiveWrittenIntoItInPlace",
     [](const QString& path) { writeInPlace(path, markedArchiveLike(path)); }},
};

INSTANTIATE_TEST_SUITE_P(Downloads, TamperingTest, ::testing::ValuesIn(tamperings),
                         [](const ::testing::TestParamInfo<Tampering>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(InstallFixture, anInstallUnderWayElsewhereIsNotDisturbed) {
  QLockFile other(prefix() + QStringLiteral("/lib/.brindlewick-update.lock"));
  ASSERT_TRUE(other.tryLock(0));
  QDir().mkpath(prefix() + QStringLiteral("/lib/.brindlewick-update-Ab12Cd/lib"));
  const QMap<QString, QByteArray> before = tree(prefix());

  const auto outcome = install(executable(), archiveFile(sampleUpdateArchive(QStringLiteral("1.4.0"))),
                               QStringLiteral("1.4.0"));
  UpdateInstaller(executable(), downloads()).finishPendingInstall();

  ASSERT_TRUE(outcome.finished);
  const std::optional<UpdateInstallError> error = outcome.errorAs<UpdateInstallError>();
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->message().contains(QLatin1String("installing an update")))
      << error->message().toStdString();
  EXPECT_EQ(tree(prefix()), before);
}

TEST_F(InstallFixture, theNextStartClearsWhatAnInterruptedInstallLeft) {
  writeFile(previousFolder() + QStringLiteral("/brindlewick"), oldProgram);
  writeFile(prefix() +
                QStringLiteral(
                    "/lib/.brindlewick-update-x1Y2z3/brindlewick-1.4.0-Linux/lib/brindlewick/brindlewick"),
            "half");
  // A link of that name is not followed into what it points at.
  QDir().mkpath(m_root.filePath(QStringLiteral("keep")));
  writeFile(m_root.filePath(QStringLiteral("keep/file")), "keep");
  ASSERT_TRUE(QFile::link(m_root.filePath(QStringLiteral("keep")),
                          prefix() + QStringLiteral("/lib/.brindlewick-update-link00")));

  UpdateInstaller(executable(), downloads()).finishPendingInstall();
  // The folder to put back goes once the program has really started.
  EXPECT_TRUE(QFileInfo::exists(previousFolder()));
  UpdateTrial(executable()).confirm();

  EXPECT_EQ(QDir(prefix() + QStringLiteral("/lib"))
                .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks),
            QStringList{QStringLiteral("brindlewick")});
  EXPECT_EQ(readFile(m_root.filePath(QStringLiteral("keep/file"))), "keep");
  EXPECT_EQ(readFile(executable()), oldProgram);
}

TEST_F(InstallFixture, onlyAReplaceableInstallIsSwapped) {
  // A build tree: the program beside its configuration, but no program folder of an install.
  writeFile(m_root.filePath(QStringLiteral("build/src/app/brindlewick")), oldProgram,
            QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_FALSE(UpdateInstaller(m_root.filePath(QStringLiteral("build/src/app/brindlewick")), downloads())
                   .installsInPlace());
  EXPECT_FALSE(
      UpdateInstaller(m_root.filePath(QStringLiteral("missing/lib/brindlewick/brindlewick")), downloads())
          .installsInPlace());
  EXPECT_FALSE(
      UpdateInstaller(QStringLiteral("/usr/lib/brindlewick/brindlewick"), downloads()).installsInPlace());
  EXPECT_TRUE(
      UpdateInstaller(programFolder() + QStringLiteral("/brindlewick"), downloads()).installsInPlace());

  // A program folder this user does not own (as root) or may not write is someone else's.
  if (::geteuid() == 0)
    ASSERT_EQ(::chown(QFile::encodeName(programFolder()).constData(), 65534, 65534), 0);
  else
    QFile::setPermissions(programFolder(), QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_FALSE(UpdateInstaller(executable(), downloads()).installsInPlace());
  // Such an install is handed off, and left as it was.
  const QMap<QString, QByteArray> before = tree(prefix());
  const auto outcome = install(executable(), archiveFile(sampleUpdateArchive(QStringLiteral("1.4.0"))),
                               QStringLiteral("1.4.0"));
  EXPECT_EQ(outcome.get().kind, UpdateInstallOutcome::Kind::handedOff);
  EXPECT_EQ(outcome.get().path, downloads() + QStringLiteral("/brindlewick-1.4.0.tar.gz"));
  EXPECT_EQ(tree(prefix()), before);
  ::chown(QFile::encodeName(programFolder()).constData(), ::geteuid(), ::getegid());
  QFile::setPermissions(programFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(InstallFixture, aSystemInstallKeepsTheVerifiedFileInTheDownloadFolder) {
  const QString buildTree = m_root.filePath(QStringLiteral("build/src/app/brindlewick"));
  writeFile(buildTree, oldProgram, QFile::ReadOwner | QFile::ExeOwner);
  const QByteArray archive = sampleUpdateArchive(QStringLiteral("1.4.0"));
  const QString file = archiveFile(archive, QStringLiteral("tmp-download-5a1c"));
  const QMap<QString, QByteArray> before = tree(prefix());

  const UpdateInstallOutcome first = install(buildTree, file, QStringLiteral("1.4.0")).get();
  EXPECT_EQ(first.kind, UpdateInstallOutcome::Kind::handedOff);
  EXPECT_EQ(first.path, downloads() + QStringLiteral("/brindlewick-1.4.0.tar.gz"));
  EXPECT_EQ(readFile(first.path), archive);
  struct stat status {};
  ASSERT_EQ(::stat(QFile::encodeName(first.path).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // The same file again is the copy already kept; another file of that name is left alone.
  EXPECT_EQ(install(buildTree, file, QStringLiteral("1.4.0")).get().path, first.path);
  writeFile(first.path, "the reader's own file");
  const UpdateInstallOutcome third = install(buildTree, file, QStringLiteral("1.4.0")).get();
  EXPECT_EQ(third.path, downloads() + QStringLiteral("/brindlewick-1.4.0-2.tar.gz"));
  EXPECT_EQ(readFile(first.path), "the reader's own file");
  EXPECT_EQ(readFile(third.path), archive);
  EXPECT_EQ(QDir(downloads()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary file is left";
  EXPECT_EQ(tree(prefix()), before);
}

struct Handover {
  const char* name;
  // What the new program does, in shell; its word goes to the descriptor the variable names.
  QByteArray program;
  std::chrono::milliseconds limit;
  bool cameUp;
  const char* failure;
};

void PrintTo(const Handover& handover, std::ostream* out) {
  *out << handover.name;
}

class HandoverTest : public ::testing::TestWithParam<Handover> {};

// The copy that restarts into the new program learns how its start ended, whichever way.
TEST_P(HandoverTest, theWaitingCopyLearnsHowTheNewProgramStarted) {
  QTemporaryDir folder;
  const QString report = folder.filePath(QStringLiteral("report"));
  const QString script = folder.filePath(QStringLiteral("new-brindlewick"));
  writeFile(script,
            "#!/bin/sh\necho \"$(pwd) ${BRINDLEWICK_TAKE_OVER_FROM:-none}\" > '" + QFile::encodeName(report) +
                "'\n" + GetParam().program + "\n",
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv(UpdateRestart::predecessorVariable, "12345");

  const UpdateRestart::Handover handover = UpdateRestart::startAndWatch(script, GetParam().limit);

  qunsetenv(UpdateRestart::predecessorVariable);
  EXPECT_EQ(handover.cameUp, GetParam().cameUp);
  EXPECT_TRUE(QString(GetParam().failure).isEmpty()
                  ? handover.failure.isEmpty()
                  : handover.failure.startsWith(QLatin1String(GetParam().failure)))
      << handover.failure.toStdString();
  EXPECT_EQ(readFile(report), QFile::encodeName(QDir::homePath()) + " none\n")
      << "it starts in the home folder, waiting for nobody";
}

const Handover handovers[] = {
    {"started", "echo started >&$BRINDLEWICK_START_WORD", std::chrono::seconds(20), true, ""},
    {"handedOnToACopyAlreadyRunning", "echo handed-on >&$BRINDLEWICK_START_WORD", std::chrono::seconds(20),
     true, ""},
    {"saysWhyItFailed", "echo 'failed The keyring stayed locked.' >&$BRINDLEWICK_START_WORD",
     std::chrono::seconds(20), false, "The keyring stayed locked."},
    {"crashes", "kill -SEGV $$", std::chrono::seconds(20), false,
     "it was ended by signal 11 (Segmentation fault) before it came up"},
    {"endsWithoutAWord", "exit 0", std::chrono::seconds(20), false,
     "it exited with status 0 before it came up"},
    {"saysNothingInTime", "exec sleep 30", std::chrono::milliseconds(300), false,
     "it did not come up within 0.3 seconds"},
};

INSTANTIATE_TEST_SUITE_P(Restarts, HandoverTest, ::testing::ValuesIn(handovers),
                         [](const ::testing::TestParamInfo<Handover>& info) {
                           return std::string(info.param.name);
                         });

TEST(UpdateRestartTest, aProgramThatCameUpRunsOnAndOneThatDidNotIsEnded) {
  QTemporaryDir folder;
  const QString script = folder.filePath(QStringLiteral("new-brindlewick"));
  writeFile(script,
            "#!/bin/sh\necho $$ > \"$0.pid\"\n[ \"$WORD\" = yes ] && echo started "
            ">&$BRINDLEWICK_START_WORD\nexec sleep 30\n",
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  qputenv("WORD", "yes");
  ASSERT_TRUE(UpdateRestart::startAndWatch(script, std::chrono::seconds(20)).cameUp);
  const qint64 running = readFile(script + QStringLiteral(".pid")).trimmed().toLongLong();
  EXPECT_FALSE(hasEnded(running));
  ::kill(pid_t(running), SIGKILL);

  qputenv("WORD", "no");
  EXPECT_FALSE(UpdateRestart::startAndWatch(script, std::chrono::milliseconds(300)).cameUp);
  qunsetenv("WORD");
  EXPECT_TRUE(hasEnded(readFile(script + QStringLiteral(".pid")).trimmed().toLongLong()))
      << "a silent program does not stay behind";
  EXPECT_FALSE(UpdateRestart::startAndWatch(folder.filePath(QStringLiteral("missing"))).cameUp);
}

TEST(UpdateRestartTest, theNewProgramWaitsUntilTheOldOneHasEnded) {
  qint64 pid = 0;
  ASSERT_TRUE(QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("0.3")}, {}, &pid));
  qputenv(UpdateRestart::predecessorVariable, QByteArray::number(pid));

  UpdateRestart::awaitPredecessor(std::chrono::seconds(20));

  EXPECT_TRUE(hasEnded(pid)) << "the predecessor had ended";
  EXPECT_FALSE(qEnvironmentVariableIsSet(UpdateRestart::predecessorVariable));
}

TEST(UpdateRestartTest, aPredecessorThatHangsDelaysTheStartOnlyBriefly) {
  qint64 pid = 0;
  ASSERT_TRUE(QProcess::startDetached(QStringLiteral("sleep"), {QStringLiteral("30")}, {}, &pid));
  qputenv(UpdateRestart::predecessorVariable, QByteArray::number(pid));

  UpdateRestart::awaitPredecessor(std::chrono::milliseconds(100));

  EXPECT_FALSE(hasEnded(pid)) << "it returned while the predecessor still runs";
  ::kill(pid_t(pid), SIGTERM);
  // Nothing named, or nonsense named: no wait at all.
  qputenv(UpdateRestart::predecessorVariable, "not a process");
  UpdateRestart::awaitPredecessor(std::chrono::seconds(20));
  EXPECT_FALSE(qEnvironmentVariableIsSet(UpdateRestart::predecessorVariable));
}

} // namespace
