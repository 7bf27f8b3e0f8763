// The reader's files as the real program leaves them, watched from outside as another local
// user or an unlucky reader would meet them: their modes under a permissive umask, what an
// earlier version left open, and settings files that are garbage, cut short, huge or out of
// reach.
#include "FileModes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <random>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindlewick {
namespace {

constexpr int kWaitMilliseconds = 20000;
// The account of no one, for a start that must meet refused permissions while the test runs
// as root (which reads every file whatever its mode).
constexpr uid_t nobody = 65534;

// A settings file as the program writes it.
const QByteArray settingsRecord =
    "[General]\nreader-preferences-v1=\"@ByteArray({\\\"analyticsConsent\\\":false,"
    "\\\"onboardingComplete\\\":"
    "true,\\\"schedule\\\":{\\\"intervalHours\\\":2,\\\"paused\\\":false,\\\"workingHours\\\":{"
    "\\\"endMinute\\\":1080,\\\"startMinute\\\":540}},\\\"surpriseMe\\\":true,\\\"textScale\\\":1,"
    "\\\"topics\\\":[]})\"\n";

QByteArray contentsOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray digestOf(const QString& path) {
  QFile file(path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

// One reader's home: the session's folders (made by the session, not by the program) and the
// program started in it, ended by SIGKILL at the end of the test whatever happened.
class ReaderHome {
public:
  ReaderHome() {
    for (const char* folder : {"config", "data", "cache", "runtime"})
      QDir(m_folder.path()).mkpath(QString::fromLatin1(folder));
    FileModes::setMode(path("runtime"), 0700);
  }
  ~ReaderHome() { stop(); }

  QString path(const char* relative) const { return m_folder.filePath(QString::fromLatin1(relative)); }
  QString settingsFile() const { return path("config/app.brindlewick.account-settings.conf"); }
  QString storeFile() const { return path("data/app.brindlewick/Brindlewick.store"); }
  QString defaultsFile() const { return path("config/app.brindlewick/application-defaults.json"); }

  // Starts the program under the session's umask 022, as `uid` when given.
  void start(std::optional<uid_t> uid = std::nullopt) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_folder.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), path("cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_program.setProcessEnvironment(environment);
    m_program.setChildProcessModifier([uid] {
      ::umask(022);
      if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(*uid) != 0 || ::setuid(*uid) != 0))
        ::_exit(125);
    });
    m_errors.clear();
    m_program.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), {});
  }
  bool running() const { return m_program.state() == QProcess::Running; }
  // The most memory the running program has held so far, in KiB (VmHWM); -1 when unknown.
  qint64 peakMemory() const {
    QFile status(QStringLiteral("/proc/%1/status").arg(m_program.processId()));
    if (!status.open(QIODevice::ReadOnly))
      return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
      if (line.startsWith("VmHWM:"))
        return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
  }
  // What the program wrote to standard error so far.
  const QByteArray& errors() {
    m_errors += m_program.readAllStandardError();
    return m_errors;
  }
  // As a crash or `kill -9` would: nothing is tidied up.
  void stop() {
    if (m_program.state() == QProcess::NotRunning)
      return;
    ::kill(pid_t(m_program.processId()), SIGKILL);
    m_program.waitForFinished(5000);
  }

  // Every file and folder the program made, with a mode that lets the group or others in.
  QStringList openToOthers() const {
    QStringList open;
    for (const char* root : {"config", "data", "cache", "runtime"}) {
      QDirIterator entries(path(root), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
      while (entries.hasNext()) {
        const QString entry = entries.next();
        if (FileModes::modeOf(entry) & 077)
          open << QStringLiteral("%1 %2").arg(FileModes::modeOf(entry), 4, 8, QLatin1Char('0')).arg(entry);
      }
    }
    return open;
  }

  QTemporaryDir m_folder;

private:
  QProcess m_program;
  QByteArray m_errors;
};

bool secretServiceRuns() {
  return qEnvironmentVariable("BRINDLEWICK_SECRET_SERVICE") == QLatin1String("running");
}

// Whether the program got past building its model: the preferences it saved at start.
bool startedFully(const ReaderHome& home) {
  return contentsOf(home.settingsFile()).contains("reader-preferences-v1") && QFile::exists(home.storeFile());
}

TEST(ReaderFiles, EverythingTheProgramWritesIsTheReadersAloneAndWhatAnEarlierVersionLeftIsTightened) {
  if (!secretServiceRuns())
    GTEST_SKIP() << "needs gnome-keyring in a private session (scripts/install-deps installs it)";
  ReaderHome home;
  home.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return startedFully(home) && QFile::exists(home.defaultsFile()); },
                              kWaitMilliseconds))
      << home.errors().toStdString();
  QTest::qWait(500); // whatever else the start writes
  EXPECT_EQ(home.openToOthers(), QStringList());
  EXPECT_EQ(FileModes::modeOf(home.path("data/app.brindlewick")), 0700);
  EXPECT_EQ(FileModes::modeOf(home.storeFile()), 0600);
  EXPECT_EQ(FileModes::modeOf(home.storeFile() + QStringLiteral("-wal")), 0600);
  EXPECT_EQ(FileModes::modeOf(home.settingsFile()), 0600);
  EXPECT_EQ(FileModes::modeOf(home.defaultsFile()), 0600);
  home.stop();

  // An earlier version's files, open to every local user (SQLite's files beside the store
  // stay after a kill), then a start of this one.
  QStringList opened;
  for (const char* root : {"config", "data"}) {
    QDirIterator entries(home.path(root), QDir::AllEntries | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
      const QString entry = entries.next();
      ASSERT_TRUE(FileModes::setMode(entry, QFileInfo(entry).isDir() ? 0755 : 0644));
      opened << entry;
    }
  }
  ASSERT_TRUE(opened.contains(home.storeFile() + QStringLiteral("-shm"))) << opened.join(u' ').toStdString();
  home.start();
  EXPECT_TRUE(QTest::qWaitFor([&] { return home.openToOthers().isEmpty(); }, kWaitMilliseconds))
      << home.openToOthers().join(u'\n').toStdString();
}

// An earlier run ended by a crash or a power cut in the middle of an update left its download
// (tens of megabytes) in the download folder, beside files of the reader's: the next start
// removes the download alone. Folders an earlier version made open to every local user become
// the reader's alone; a cache folder that is a link leads to a folder of the reader's, and
// that and the folder in it keep their modes.
TEST(ReaderFiles, ALeftoverDownloadGoesAndOnlyTheProgramsOwnFoldersAreTightenedAtStart) {
  if (!secretServiceRuns())
    GTEST_SKIP() << "needs gnome-keyring in a private session (scripts/install-deps installs it)";
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "a cache folder linked to the reader's" : "a cache folder of the program's");
    ReaderHome home;
    const QString cache = home.path("cache/app.brindlewick");
    const QString folder = linked ? home.path("Documents") : cache;
    if (linked) {
      ASSERT_TRUE(QDir().mkpath(folder) && QFile::link(folder, cache));
    }
    const QString updates = folder + QStringLiteral("/updates");
    const QString download = updates + QStringLiteral("/brindlewick-0.2.0-Linux.tar.gz");
    writeFile(download, "");
    ASSERT_EQ(::truncate(QFile::encodeName(download).constData(), 25 * 1024 * 1024), 0);
    const QStringList readers{".notes", "brindlewick-0.2.0.tar.gz", "notes.txt"};
    for (const QString& name : readers)
      writeFile(updates + u'/' + name, name.toUtf8());
    for (const QString& made : {folder, updates})
      ASSERT_TRUE(FileModes::setMode(made, 0755));

    home.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return startedFully(home); }, kWaitMilliseconds))
        << home.errors().toStdString();

    EXPECT_EQ(QDir(updates).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), readers);
    EXPECT_EQ(contentsOf(updates + QStringLiteral("/notes.txt")), "notes.txt");
    EXPECT_EQ(FileModes::modeOf(folder), linked ? 0755 : 0700);
    EXPECT_EQ(FileModes::modeOf(updates), linked ? 0755 : 0700);
  }
}

// Garbage, a record cut short and 100 MB: the program starts on the defaults and keeps the
// file aside, byte for byte. The 100 MB file costs no more memory than 64 KiB of garbage: its
// size decides before anything reads it whole.
TEST(ReaderFiles, ASettingsFileThatCannotBeReadIsKeptAsideAndTheProgramStarts) {
  if (!secretServiceRuns())
    GTEST_SKIP() << "needs gnome-keyring in a private session (scripts/install-deps installs it)";
  std::mt19937 random(7);
  QByteArray garbage(64 * 1024, '\0');
  std::generate(garbage.begin(), garbage.end(), [&] { return static_cast<char>(random() & 0xFF); });
  const QByteArray& record = settingsRecord;
  const struct {
    const char* name;
    std::function<void(const QString&)> write;
  } cases[] = {
      {"garbage", [&](const QString& file) { writeFile(file, garbage); }},
      {"cut short", [&](const QString& file) { writeFile(file, record.left(record.size() - 20)); }},
      {"100 MB",
       [&](const QString& file) {
         writeFile(file, record);
         ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), 100 * 1024 * 1024), 0);
       }},
  };
  QMap<QString, qint64> peaks;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderHome home;
    c.write(home.settingsFile());
    const QByteArray digest = digestOf(home.settingsFile());
    home.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return startedFully(home); }, kWaitMilliseconds))
        << home.errors().toStdString();
    QTest::qWait(300);
    EXPECT_TRUE(home.running());
    EXPECT_FALSE(home.errors().contains("initialization failed")) << home.errors().toStdString();
    const QString aside = home.settingsFile() + QStringLiteral(".unreadable");
    EXPECT_EQ(digestOf(aside), digest);
    EXPECT_EQ(FileModes::modeOf(aside), 0600);
    EXPECT_TRUE(home.errors().contains(aside.toUtf8())) << "the log names where it went";
    peaks[QString::fromLatin1(c.name)] = home.peakMemory();
  }
  ASSERT_GT(peaks.value(QStringLiteral("garbage")), 0);
  EXPECT_LT(peaks.value(QStringLiteral("100 MB")), peaks.value(QStringLiteral("garbage")) + 50 * 1024)
      << "peak memory in KiB with 100 MB: " << peaks.value(QStringLiteral("100 MB"))
      << ", with 64 KiB: " << peaks.value(QStringLiteral("garbage"));
}

// A settings file out of reach stops the start with a message that names it and the cause,
// and changes nothing.
TEST(ReaderFiles, ASettingsFileOutOfReachIsNamedWithItsCause) {
  if (!secretServiceRuns())
    GTEST_SKIP() << "needs gnome-keyring in a private session (scripts/install-deps installs it)";
  const bool root = ::geteuid() == 0;
  const QByteArray& record = settingsRecord;
  const struct {
    const char* name;
    // Spoils the home; false when this system cannot (the row is then skipped).
    std::function<bool(ReaderHome&)> spoil;
    std::function<QString(const ReaderHome&)> message;
    bool asNobody;
    bool stopsBeforeTheStore = true;
  } cases[] = {
      {"a folder in its place", [](ReaderHome& home) { return QDir().mkpath(home.settingsFile()); },
       [](const ReaderHome& home) {
         return QStringLiteral("Preferences could not be read on this computer. Nothing was changed. The "
                               "settings file %1 cannot be read: a folder is in its place.")
             .arg(home.settingsFile());
       },
       false},
      {"no permission to read it",
       [&](ReaderHome& home) {
         writeFile(home.settingsFile(), record);
         if (!root)
           return FileModes::setMode(home.settingsFile(), 0);
         // The whole home becomes nobody's, but for the settings file, root's alone.
         FileModes::setMode(home.m_folder.path(), 0755);
         QDirIterator entries(home.m_folder.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                              QDirIterator::Subdirectories);
         bool changed = ::chown(QFile::encodeName(home.m_folder.path()).constData(), nobody, nobody) == 0;
         while (entries.hasNext())
           changed = ::lchown(QFile::encodeName(entries.next()).constData(), nobody, nobody) == 0 && changed;
         return changed && ::chown(QFile::encodeName(home.settingsFile()).constData(), 0, 0) == 0 &&
                FileModes::setMode(home.settingsFile(), 0600);
       },
       [](const ReaderHome& home) {
         return QStringLiteral("Preferences could not be read on this computer. Nothing was changed. The "
                               "settings file %1 cannot be read: Permission denied.")
             .arg(home.settingsFile());
       },
       root},
      // Read at start, written once the account is known: the start stops there.
      {"a folder that cannot be written",
       [&](ReaderHome& home) {
         writeFile(home.settingsFile(), record);
         // Root writes in any folder whatever its mode, but not in an immutable one.
         return root ? QProcess::execute(QStringLiteral("chattr"),
                                         {QStringLiteral("+i"), home.path("config")}) == 0
                     : FileModes::setMode(home.path("config"), 0555);
       },
       [&](const ReaderHome& home) {
         return QStringLiteral(
                    "Preferences could not be saved on this computer. Existing data was retained. "
                    "The settings file %1 cannot be written: its folder %2 cannot be written (%3).")
             .arg(home.settingsFile(), home.path("config"),
                  root ? QStringLiteral("Operation not permitted") : QStringLiteral("Permission denied"));
       },
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderHome home;
    if (!c.spoil(home)) {
      std::cout << "note: \"" << c.name << "\" left out: this system cannot prepare it\n";
      QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), home.path("config")});
      continue;
    }
    const QByteArray before = contentsOf(home.settingsFile());
    home.start(c.asNobody ? std::optional<uid_t>(nobody) : std::nullopt);
    const QByteArray expected = "Brindlewick initialization failed: " + c.message(home).toUtf8() + "\n";
    EXPECT_TRUE(QTest::qWaitFor([&] { return home.errors().contains(expected); }, kWaitMilliseconds))
        << home.errors().toStdString();
    EXPECT_EQ(contentsOf(home.settingsFile()), before);
    EXPECT_FALSE(QFile::exists(home.settingsFile() + QStringLiteral(".unreadable")));
    if (c.stopsBeforeTheStore) {
      EXPECT_FALSE(QFile::exists(home.storeFile())) << "the start stopped before the store";
    }
    home.stop();
    // Writable again, so that the folder can go.
    if (root)
      QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), home.path("config")});
    FileModes::setMode(home.path("config"), 0700);
  }
}

} // namespace
} // namespace brindlewick
