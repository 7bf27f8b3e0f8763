#include "FileModes.h"
#include "RawStoreDatabase.h"
#include "content/LocalStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

using namespace brindlewick;

namespace {

QByteArray json(const QString& text) {
  return Json::serialize(text);
}

template <typename T> std::set<QString> keysOf(const std::vector<std::pair<QString, T>>& entries) {
  std::set<QString> keys;
  for (const auto& entry : entries)
    keys.insert(entry.first);
  return keys;
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Qt reports a connection name used twice, or a connection removed while still in use, only
// as a warning: here it fails the test.
class LocalStoreTest : public testing::Test {
protected:
  void SetUp() override {
    previousHandler =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          if (message.contains(QLatin1String("QSqlDatabase")))
            ADD_FAILURE() << message.toStdString();
          else if (previousHandler)
            previousHandler(type, context, message);
        });
  }
  void TearDown() override { qInstallMessageHandler(previousHandler); }

  QString path(const QString& name = QStringLiteral("Brindlewick.store")) const {
    return m_folder.filePath(name);
  }
  QStringList folderContents() const { return QDir(m_folder.path()).entryList(QDir::Files); }

  static inline QtMessageHandler previousHandler = nullptr;
  QTemporaryDir m_folder;
};

TEST_F(LocalStoreTest, ReadsWritesReplacesAndRemovesKeys) {
  LocalStore store(true);
  EXPECT_EQ(store.data(QStringLiteral("absent")), std::nullopt);
  EXPECT_EQ(store.load<QString>(QStringLiteral("absent")), std::nullopt);

  store.save(QStringLiteral("first"), QStringLiteral("k"));
  store.save(QStringLiteral("second"), QStringLiteral("k"));
  EXPECT_EQ(store.load<QString>(QStringLiteral("k")), QStringLiteral("second"));
  // A string is stored as a JSON string literal, quotes and escapes included.
  store.save(QStringLiteral("W/\"42\""), QStringLiteral("etag"));
  EXPECT_EQ(store.data(QStringLiteral("etag")), QByteArray(R"("W/\"42\"")"));
  EXPECT_EQ(store.entries<QString>(QString()).size(), 2u);

  store.remove(QStringLiteral("never-written"));
  store.commit({}, {});
  // A key named in both lists of one batch is removed first, then written: it ends present.
  store.commit({{QStringLiteral("k"), json(QStringLiteral("new"))}},
               {QStringLiteral("k"), QStringLiteral("etag")});
  EXPECT_EQ(store.load<QString>(QStringLiteral("k")), QStringLiteral("new"));
  EXPECT_EQ(store.data(QStringLiteral("etag")), std::nullopt);

  // A number that is not finite has no JSON form: refused before anything is written.
  EXPECT_THROW(store.save(Date(std::nan("")), QStringLiteral("k")), LocalStoreError);
  EXPECT_THROW(store.save(QMap<QString, Date>{{QStringLiteral("a"), Date(INFINITY)}}, QStringLiteral("seen")),
               LocalStoreError);
  EXPECT_EQ(store.load<QString>(QStringLiteral("k")), QStringLiteral("new"));
  EXPECT_EQ(store.data(QStringLiteral("seen")), std::nullopt);

  // Empty (even null) keys and payloads are values like any other.
  store.commit({{QString(), QByteArray()}, {QStringLiteral("empty"), QByteArray("", 0)}}, {});
  EXPECT_EQ(store.data(QStringLiteral("")), QByteArray());
  EXPECT_EQ(store.data(QStringLiteral("empty")), QByteArray());
}

TEST_F(LocalStoreTest, APayloadThatDoesNotDecodeFailsOnlyTheReadsThatTouchIt) {
  LocalStore store(true);
  using DateMap = QMap<QString, Date>;
  const DateMap seen{{QStringLiteral("a"), Date(1.5)}, {QStringLiteral("b"), Date::distantPast()}};
  store.save(seen, QStringLiteral("seen"));
  EXPECT_EQ(store.load<DateMap>(QStringLiteral("seen")), seen);
  store.commit({{QStringLiteral("seen"), R"({"a":1,"b":"yesterday"})"}}, {});
  try {
    store.load<DateMap>(QStringLiteral("seen"));
    ADD_FAILURE() << "a string where a date belongs was accepted";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), QStringLiteral("b"));
  }

  store.save(QStringLiteral("fine"), QStringLiteral("saved/good"));
  store.save(QStringLiteral("fine"), QStringLiteral("loved/good"));
  for (const QByteArray& bad : {QByteArray("not json"), QByteArray("1"), QByteArray(R"("a" "b")")}) {
    SCOPED_TRACE(bad.constData());
    store.commit({{QStringLiteral("saved/bad"), bad}}, {});
    EXPECT_THROW(store.load<QString>(QStringLiteral("saved/bad")), JsonDecodingError);
    EXPECT_THROW(store.entries<QString>(QStringLiteral("saved/")), JsonDecodingError);
    EXPECT_EQ(store.load<QString>(QStringLiteral("saved/good")), QStringLiteral("fine"));
    EXPECT_EQ(store.entries<QString>(QStringLiteral("loved/")).size(), 1u);
  }
}

// Keys chosen to catch a wildcard match (_ and %), a case-insensitive one, a byte-range bound
// that is off by one, and multi-byte characters at the end of the prefix, among them ¿ and
// U+10FFFF, whose UTF-8 ends in the highest continuation byte 0xBF.
TEST_F(LocalStoreTest, EntriesMatchExactlyTheKeysThatStartWithThePrefix) {
  const auto words = [](const QString& text) {
    const QStringList list = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return std::set<QString>(list.begin(), list.end());
  };
  const std::set<QString> keys = words(QStringLiteral("saved/ saved/a saved/b/c saved/é saved savedx saved0 "
                                                      "Saved/a SAVED/b saved_a saved%a savee/ é/1 éa e/1 ê/1 "
                                                      "😀/x 😁/x ¿x À \U0010FFFF/x \U0010FFFF"));
  LocalStore store(true);
  QMap<QString, QByteArray> updates;
  for (const QString& key : keys)
    updates.insert(key, json(key));
  store.commit(updates, {});

  const struct {
    QString prefix;
    QString expected;
  } cases[] = {
      {QStringLiteral("saved/"), QStringLiteral("saved/ saved/a saved/b/c saved/é")},
      {QStringLiteral("saved"),
       QStringLiteral("saved/ saved/a saved/b/c saved/é saved savedx saved0 saved_a saved%a")},
      {QStringLiteral("saved_"), QStringLiteral("saved_a")},
      {QStringLiteral("saved%"), QStringLiteral("saved%a")},
      {QStringLiteral("Saved/"), QStringLiteral("Saved/a")},
      {QStringLiteral("saved/é"), QStringLiteral("saved/é")},
      {QStringLiteral("é"), QStringLiteral("é/1 éa")},
      {QStringLiteral("😀"), QStringLiteral("😀/x")},
      {QStringLiteral("¿"), QStringLiteral("¿x")},
      {QStringLiteral("\U0010FFFF"), QStringLiteral("\U0010FFFF/x \U0010FFFF")},
      {QStringLiteral("history/"), QString()},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.prefix.toStdString());
    const auto entries = store.entries<QString>(test.prefix);
    EXPECT_EQ(keysOf(entries), words(test.expected));
    for (const auto& [key, value] : entries)
      EXPECT_EQ(key, value);
  }
  EXPECT_EQ(keysOf(store.entries<QString>(QString())), keys);
}

TEST_F(LocalStoreTest, KeepsItsDataAcrossReopeningAndNeverSharesAConnection) {
  {
    LocalStore store(false, path());
    store.save(QStringLiteral("kept"), QStringLiteral("saved/x"));
    LocalStore other(true);
    other.save(QStringLiteral("elsewhere"), QStringLiteral("saved/x"));
    EXPECT_EQ(store.load<QString>(QStringLiteral("saved/x")), QStringLiteral("kept"));
  }
  // A given path wins over the in-memory flag.
  LocalStore reopened(true, path());
  EXPECT_EQ(reopened.load<QString>(QStringLiteral("saved/x")), QStringLiteral("kept"));
  EXPECT_EQ(RawStoreDatabase(path()).scalar(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
}

TEST_F(LocalStoreTest, DefaultLocationIsUnderTheDataDirectoryAndInMemoryTouchesNoFile) {
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  const QString dataHome = path(QStringLiteral("data/home"));
  qputenv("XDG_DATA_HOME", dataHome.toLocal8Bit());
  {
    LocalStore memory(true);
    memory.save(QStringLiteral("v"), QStringLiteral("k"));
    EXPECT_TRUE(QDir(m_folder.path()).isEmpty());

    LocalStore store;
    store.save(QStringLiteral("v"), QStringLiteral("k"));
    EXPECT_EQ(LocalStore::defaultFilePath(), dataHome + QStringLiteral("/app.brindlewick/Brindlewick.store"));
    EXPECT_TRUE(QFile::exists(LocalStore::defaultFilePath()));
  }
  if (previous.isNull())
    qunsetenv("XDG_DATA_HOME");
  else
    qputenv("XDG_DATA_HOME", previous);
}

// The reader's library is no one else's, whatever the session's umask and whatever an
// earlier version left open: the database, SQLite's files beside it and the store's folder.
TEST_F(LocalStoreTest, TheStoreAndTheFilesBesideItAreTheReadersAlone) {
  const FileModes::ScopedUmask session(022);
  const QStringList files = {path(), path(QStringLiteral("Brindlewick.store-wal")),
                             path(QStringLiteral("Brindlewick.store-shm"))};
  LocalStore store(false, path());
  store.save(QStringLiteral("v"), QStringLiteral("k"));
  for (const QString& file : files)
    EXPECT_EQ(FileModes::modeOf(file), 0600) << file.toStdString();

  // What an earlier version left, open to everyone (SQLite removes its files beside the
  // database when the last connection closes, so this one stays open).
  QFile journal(path(QStringLiteral("Brindlewick.store-journal")));
  ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
  journal.close();
  for (const QString& file : files + QStringList{journal.fileName()})
    ASSERT_TRUE(FileModes::setMode(file, 0644));
  LocalStore reopened(false, path());
  EXPECT_EQ(reopened.load<QString>(QStringLiteral("k")), QStringLiteral("v"));
  for (const QString& file : files + QStringList{journal.fileName()})
    EXPECT_EQ(FileModes::modeOf(file), 0600) << file.toStdString();
  ASSERT_TRUE(journal.remove());

  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
  const QString folder = path(QStringLiteral("data/app.brindlewick"));
  for (int before : {-1, 0755}) {
    SCOPED_TRACE(before);
    if (before >= 0) {
      ASSERT_TRUE(FileModes::setMode(folder, before));
    }
    LocalStore atDefault;
    EXPECT_EQ(FileModes::modeOf(folder), 0700);
    EXPECT_EQ(FileModes::modeOf(LocalStore::defaultFilePath()), 0600);
  }
  if (previous.isNull())
    qunsetenv("XDG_DATA_HOME");
  else
    qputenv("XDG_DATA_HOME", previous);
}

// A file the store cannot read is reported and left exactly as it was: no repair, no
// recreation, no side files; a folder that does not exist is not created.
TEST_F(LocalStoreTest, AnUnreadableFileIsAClearErrorAndStaysUntouched) {
  std::mt19937 random(1207);
  QByteArray noise(64 * 1024, '\0');
  std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random() & 0xFF); });
  {
    LocalStore store(false, path(QStringLiteral("source.store")));
    QMap<QString, QByteArray> updates;
    for (int i = 0; i < 500; ++i)
      updates.insert(QStringLiteral("saved/%1").arg(i), json(QString(200, QLatin1Char('x'))));
    store.commit(updates, {});
  }
  const QByteArray database = readFile(path(QStringLiteral("source.store")));
  ASSERT_GT(database.size(), 64 * 1024);

  const struct {
    const char* name;
    std::optional<QByteArray> bytes; // none: the file's folder does not exist
  } damaged[] = {
      {"RandomBytes", noise},
      {"HeaderOnly", database.left(100)},
      {"TruncatedDatabase", database.left(database.size() / 2)},
      {"DatabaseWithRandomFirstPage", noise.left(4096) + database.mid(4096)},
      {"missing/Brindlewick.store", std::nullopt},
  };
  for (const auto& file : damaged) {
    SCOPED_TRACE(file.name);
    const QString target = path(QString::fromLatin1(file.name));
    if (file.bytes) {
      QFile out(target);
      ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(*file.bytes) == file.bytes->size());
    }
    const QStringList before = folderContents();
    try {
      LocalStore store(false, target);
      ADD_FAILURE() << "opened";
    } catch (const LocalStoreError& error) {
      EXPECT_TRUE(error.message().contains(target)) << error.what();
      EXPECT_FALSE(error.databaseMessage().isEmpty());
    }
    EXPECT_EQ(readFile(target), file.bytes.value_or(QByteArray()));
    EXPECT_EQ(folderContents(), before);
  }
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("missing"))));
}

// A trigger makes one step of a batch fail (a deletion, an update of an existing key, an
// insertion); the batch must vanish whole and the error name the key and SQLite's reason.
TEST_F(LocalStoreTest, AFailingCommitLeavesEveryOldPayloadAndNoNewKey) {
  const struct {
    const char* trigger;
    QString failingKey;
  } failures[] = {
      {"BEFORE DELETE ON records WHEN OLD.key = 'old/3'", QStringLiteral("old/3")},
      {"BEFORE UPDATE ON records WHEN NEW.key = 'old/2'", QStringLiteral("old/2")},
      {"BEFORE INSERT ON records WHEN NEW.key = 'poison'", QStringLiteral("poison")},
  };
  const QMap<QString, QByteArray> old{{QStringLiteral("old/1"), json("1")},
                                      {QStringLiteral("old/2"), json("2")},
                                      {QStringLiteral("old/3"), json("3")}};
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.trigger);
    const QString file = path(failure.failingKey.section(QLatin1Char('/'), -1));
    LocalStore(false, file).commit(old, {});
    RawStoreDatabase(file).scalar(
        QStringLiteral("CREATE TRIGGER fail %1 BEGIN SELECT RAISE(ABORT, 'injected failure'); END")
            .arg(QLatin1String(failure.trigger)));

    LocalStore store(false, file);
    try {
      store.commit({{QStringLiteral("new/1"), json("n")},
                    {QStringLiteral("old/2"), json("changed")},
                    {QStringLiteral("poison"), json("p")},
                    {QStringLiteral("zzz/after"), json("z")}},
                   {QStringLiteral("old/1"), QStringLiteral("old/3")});
      ADD_FAILURE() << "the injected failure went unnoticed";
    } catch (const LocalStoreError& error) {
      EXPECT_EQ(error.key(), failure.failingKey);
      EXPECT_EQ(error.databaseMessage(), QStringLiteral("injected failure"));
      EXPECT_TRUE(error.message().contains(failure.failingKey)) << error.what();
    }
    EXPECT_EQ(RawStoreDatabase(file).records(), old);
    // No transaction is left open: the next batch goes through.
    store.commit({{QStringLiteral("new/1"), json("n")}}, {});
    EXPECT_EQ(store.load<QString>(QStringLiteral("new/1")), QStringLiteral("n"));
  }
}

// Kills a child process with SIGKILL in the middle of its large commits, again and again: the
// store must reopen cleanly each time and hold one whole batch, the last one the child saw
// committed or the one in flight, never a mix of two.
TEST_F(LocalStoreTest, AProcessKilledMidCommitLeavesTheOldOrTheNewBatchWhole) {
  constexpr int records = 1000;
  const QString file = path();
  std::mt19937 random(20261206);
  std::uniform_int_distribution<unsigned long> delayMs(0, 40);
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    QProcess child;
    child.start(QStringLiteral(BRINDLEWICK_CRASH_CHILD), {file, QString::number(records)});
    // The kill waits for the child's first commit of the round however slow the machine, so
    // every round has an acknowledged batch to keep; the random delay then lands it anywhere
    // in a later batch, while its records are written or between two.
    QByteArray output;
    while (!output.contains("committed ") && child.waitForReadyRead(-1))
      output += child.readAllStandardOutput();
    ASSERT_TRUE(output.contains("committed ")) << child.readAllStandardError().constData();
    QThread::msleep(delayMs(random));
    child.kill();
    child.waitForFinished(-1);
    // Killed, not ended by an error of its own (which it would have written out).
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);
    ASSERT_EQ(child.readAllStandardError().toStdString(), "");
    output += child.readAllStandardOutput();
    const qint64 acknowledged = output.trimmed().split('\n').last().mid(10).toLongLong();

    LocalStore store(false, file);
    const QString batch = store.load<QString>(QStringLiteral("generation")).value_or(QString());
    const qint64 generation = batch.section(QLatin1Char(' '), 0, 0).toLongLong();
    EXPECT_GE(generation, acknowledged);
    EXPECT_LE(generation, acknowledged + 1);
    const auto crashRecords = store.entries<QString>(QStringLiteral("crash/"));
    ASSERT_EQ(crashRecords.size(), static_cast<size_t>(records));
    for (const auto& [key, value] : crashRecords)
      ASSERT_EQ(value, batch) << key.toStdString();
    EXPECT_EQ(keysOf(store.entries<QString>(QStringLiteral("marker/"))),
              std::set<QString>{QStringLiteral("marker/%1").arg(generation)});
    EXPECT_EQ(RawStoreDatabase(file).scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
  }
}

} // namespace
