#include "LocalStore.h"
#include "RawStoreDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <random>
#include <set>

using namespace brindlewick;

namespace {

struct Note {
  QString text;
  qint64 count = 0;

  static Note fromJson(const QJsonValue& json) {
    const JsonObjectReader reader(Json::toObject(json, {}));
    return {reader.string(u"text"), reader.int64(u"count")};
  }
  QJsonValue toJson() const { return QJsonObject{{"text", text}, {"count", count}}; }
  friend bool operator==(const Note&, const Note&) = default;
};

// Any JSON value, for records whose shape does not matter to a test.
struct AnyJson {
  QJsonValue value;
  static AnyJson fromJson(const QJsonValue& json) { return {json}; }
  QJsonValue toJson() const { return value; }
};

// One record of the crash test's batches.
struct CrashRecord {
  qint64 generation = 0;
  static CrashRecord fromJson(const QJsonValue& json) {
    return {JsonObjectReader(Json::toObject(json, {})).int64(u"generation")};
  }
  QJsonValue toJson() const { return QJsonObject{{"generation", generation}}; }
};

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

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

class LocalStoreTest : public testing::Test {
protected:
  QString path(const QString& name = QStringLiteral("Brindlewick.store")) const {
    return m_folder.filePath(name);
  }
  QStringList folderContents() const {
    return QDir(m_folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot);
  }

  QTemporaryDir m_folder;
};

TEST_F(LocalStoreTest, ReadsWritesReplacesAndRemovesKeys) {
  LocalStore store(true);
  EXPECT_EQ(store.data(QStringLiteral("absent")), std::nullopt);
  EXPECT_EQ(store.load<Note>(QStringLiteral("absent")), std::nullopt);

  store.save(Note{QStringLiteral("first"), 1}, QStringLiteral("note"));
  store.save(Note{QStringLiteral("second"), 2}, QStringLiteral("note"));
  EXPECT_EQ(store.load<Note>(QStringLiteral("note")), (Note{QStringLiteral("second"), 2}));
  EXPECT_EQ(store.entries<Note>(QString()).size(), 1u);

  store.remove(QStringLiteral("never-written"));
  store.commit({}, {});
  EXPECT_TRUE(store.data(QStringLiteral("note")));
  store.remove(QStringLiteral("note"));
  EXPECT_EQ(store.data(QStringLiteral("note")), std::nullopt);

  // Empty and null keys and payloads are values like any other.
  store.commit({{QString(), QByteArray()}, {QStringLiteral("empty"), QByteArray("", 0)}}, {});
  EXPECT_EQ(store.data(QStringLiteral("")), QByteArray());
  EXPECT_EQ(store.data(QStringLiteral("empty")), QByteArray());
}

TEST_F(LocalStoreTest, AKeyBothRemovedAndUpdatedInOneBatchEndsPresent) {
  LocalStore store(true);
  store.commit({{QStringLiteral("k"), "old"}, {QStringLiteral("gone"), "x"}}, {});
  store.commit({{QStringLiteral("k"), "new"}}, {QStringLiteral("k"), QStringLiteral("gone")});
  EXPECT_EQ(store.data(QStringLiteral("k")), QByteArray("new"));
  EXPECT_EQ(store.data(QStringLiteral("gone")), std::nullopt);
}

TEST_F(LocalStoreTest, StringsDatesAndMapsAreStoredAsPlainJson) {
  LocalStore store(true);
  store.save(QStringLiteral("W/\"42\""), QStringLiteral("manifest-etag"));
  EXPECT_EQ(store.data(QStringLiteral("manifest-etag")), QByteArray(R"("W/\"42\"")"));
  EXPECT_EQ(store.load<QString>(QStringLiteral("manifest-etag")), QStringLiteral("W/\"42\""));

  using DateMap = QMap<QString, Date>;
  const DateMap seen{{QStringLiteral("a"), Date(1.5)}, {QStringLiteral("b"), Date::distantPast()}};
  store.save(seen, QStringLiteral("seen"));
  EXPECT_EQ(store.load<DateMap>(QStringLiteral("seen")), seen);

  store.commit({{QStringLiteral("seen"), R"({"a":1,"b":"yesterday"})"}}, {});
  try {
    store.load<DateMap>(QStringLiteral("seen"));
    FAIL() << "a string where a date belongs was accepted";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), QStringLiteral("b"));
  }
}

TEST_F(LocalStoreTest, APayloadThatDoesNotDecodeFailsOnlyTheReadsThatTouchIt) {
  LocalStore store(true);
  store.save(Note{QStringLiteral("fine"), 1}, QStringLiteral("saved/good"));
  store.save(Note{QStringLiteral("fine"), 2}, QStringLiteral("loved/good"));
  for (const QByteArray& bad :
       {QByteArray("not json"), QByteArray(R"({"text":"x"})"), QByteArray(R"("text")")}) {
    store.commit({{QStringLiteral("saved/bad"), bad}}, {});
    EXPECT_THROW(store.load<Note>(QStringLiteral("saved/bad")), JsonDecodingError) << bad.constData();
    EXPECT_THROW(store.entries<Note>(QStringLiteral("saved/")), JsonDecodingError) << bad.constData();
    EXPECT_EQ(store.load<Note>(QStringLiteral("saved/good")), (Note{QStringLiteral("fine"), 1}));
    EXPECT_EQ(store.entries<Note>(QStringLiteral("loved/")).size(), 1u);
  }
}

struct PrefixCase {
  const char* name;
  const char* prefix;
  std::set<QString> expected;
  friend void PrintTo(const PrefixCase& value, std::ostream* out) { *out << value.name; }
};

class LocalStorePrefix : public testing::TestWithParam<PrefixCase> {};

// Keys chosen to catch a wildcard match (_ and %), a case-insensitive one, a byte-range
// bound that is off by one, and multi-byte characters at the end of the prefix.
const QStringList prefixKeys{
    QStringLiteral("saved/"),
    QStringLiteral("saved/a"),
    QStringLiteral("saved/b/c"),
    QStringLiteral("saved/é"),
    QStringLiteral("saved"),
    QStringLiteral("savedx"),
    QStringLiteral("saved0"),
    QStringLiteral("Saved/a"),
    QStringLiteral("SAVED/b"),
    QStringLiteral("savedXa"),
    QStringLiteral("saved_a"),
    QStringLiteral("saved%a"),
    QStringLiteral("savee/"),
    QStringLiteral("é/1"),
    QStringLiteral("é/2"),
    QStringLiteral("éa"),
    QStringLiteral("e/1"),
    QStringLiteral("ê/1"),
    QString::fromUtf8("\xF0\x9F\x98\x80/x"),
    QString::fromUtf8("\xF0\x9F\x98\x81/x"),
};

TEST_P(LocalStorePrefix, MatchesExactlyTheKeysThatStartWithThePrefix) {
  LocalStore store(true);
  QMap<QString, QByteArray> updates;
  for (const QString& key : prefixKeys)
    updates.insert(key, Json::serialize(QJsonValue(key)));
  store.commit(updates, {});

  const auto entries = store.entries<QString>(QString::fromUtf8(GetParam().prefix));
  EXPECT_EQ(keysOf(entries), GetParam().expected);
  for (const auto& [key, value] : entries)
    EXPECT_EQ(key, value);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, LocalStorePrefix,
    testing::Values(
        PrefixCase{"Folder",
                   "saved/",
                   {QStringLiteral("saved/"), QStringLiteral("saved/a"), QStringLiteral("saved/b/c"),
                    QStringLiteral("saved/é")}},
        PrefixCase{"WithoutSlash",
                   "saved",
                   {QStringLiteral("saved/"), QStringLiteral("saved/a"), QStringLiteral("saved/b/c"),
                    QStringLiteral("saved/é"), QStringLiteral("saved"), QStringLiteral("savedx"),
                    QStringLiteral("saved0"), QStringLiteral("savedXa"), QStringLiteral("saved_a"),
                    QStringLiteral("saved%a")}},
        PrefixCase{"UnderscoreIsNoWildcard", "saved_", {QStringLiteral("saved_a")}},
        PrefixCase{"PercentIsNoWildcard", "saved%", {QStringLiteral("saved%a")}},
        PrefixCase{"CaseSensitive", "Saved/", {QStringLiteral("Saved/a")}},
        PrefixCase{"EndsInTwoByteCharacter", "saved/é", {QStringLiteral("saved/é")}},
        PrefixCase{"StartsWithTwoByteCharacter",
                   "é",
                   {QStringLiteral("é/1"), QStringLiteral("é/2"), QStringLiteral("éa")}},
        PrefixCase{"EndsInFourByteCharacter", "\xF0\x9F\x98\x80", {QString::fromUtf8("\xF0\x9F\x98\x80/x")}},
        PrefixCase{"NoMatch", "history/", {}},
        PrefixCase{"Everything", "", std::set<QString>(prefixKeys.begin(), prefixKeys.end())}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalStoreTest, KeepsItsDataAcrossReopeningAndNeverSharesAConnection) {
  {
    LocalStore store(false, path());
    store.save(Note{QStringLiteral("kept"), 7}, QStringLiteral("saved/x"));
    LocalStore other(true);
    other.save(Note{QStringLiteral("elsewhere"), 8}, QStringLiteral("saved/x"));
    EXPECT_EQ(store.load<Note>(QStringLiteral("saved/x"))->count, 7);
  }
  // A given path wins over the in-memory flag.
  LocalStore reopened(true, path());
  EXPECT_EQ(reopened.load<Note>(QStringLiteral("saved/x")), (Note{QStringLiteral("kept"), 7}));
  RawStoreDatabase raw(path());
  EXPECT_EQ(raw.scalar(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
}

TEST_F(LocalStoreTest, DefaultLocationIsUnderTheDataDirectoryAndInMemoryTouchesNoFile) {
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  const QString dataHome = path(QStringLiteral("data/home"));
  qputenv("XDG_DATA_HOME", dataHome.toLocal8Bit());
  {
    LocalStore memory(true);
    memory.save(QStringLiteral("v"), QStringLiteral("k"));
    EXPECT_FALSE(QFile::exists(dataHome));
    EXPECT_TRUE(folderContents().isEmpty());

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

TEST_F(LocalStoreTest, AnUnopenableLocationIsAClearError) {
  try {
    LocalStore store(false, path(QStringLiteral("missing/folder/Brindlewick.store")));
    FAIL() << "opened a store in a folder that does not exist";
  } catch (const LocalStoreError& error) {
    EXPECT_TRUE(error.message().contains(QStringLiteral("missing/folder/Brindlewick.store")));
    EXPECT_FALSE(error.databaseMessage().isEmpty());
  }
}

// Each failing point of a batch (a deletion, an update of an existing key, an insertion) is
// made to fail with a trigger; the batch must vanish whole.
struct InjectedFailure {
  const char* name;
  const char* trigger;
  const char* failingKey;
  friend void PrintTo(const InjectedFailure& value, std::ostream* out) { *out << value.name; }
};

class LocalStoreFailingCommit : public testing::TestWithParam<InjectedFailure> {};

TEST_P(LocalStoreFailingCommit, LeavesEveryOldPayloadAndNoNewKey) {
  QTemporaryDir folder;
  const QString file = folder.filePath(QStringLiteral("Brindlewick.store"));
  const QMap<QString, QByteArray> old{
      {QStringLiteral("old/1"), "1"}, {QStringLiteral("old/2"), "2"}, {QStringLiteral("old/3"), "3"}};
  {
    LocalStore store(false, file);
    store.commit(old, {});
  }
  {
    RawStoreDatabase raw(file);
    raw.scalar(QString::fromUtf8(GetParam().trigger));
  }
  LocalStore store(false, file);
  const QMap<QString, QByteArray> updates{{QStringLiteral("new/1"), "n1"},
                                          {QStringLiteral("old/2"), "changed"},
                                          {QStringLiteral("poison"), "p"},
                                          {QStringLiteral("zzz/after"), "z"}};
  try {
    store.commit(updates, {QStringLiteral("old/1"), QStringLiteral("old/3")});
    FAIL() << "the injected failure went unnoticed";
  } catch (const LocalStoreError& error) {
    EXPECT_EQ(error.key(), QString::fromUtf8(GetParam().failingKey));
    EXPECT_EQ(error.databaseMessage(), QStringLiteral("injected failure"));
    EXPECT_TRUE(error.message().contains(QString::fromUtf8(GetParam().failingKey)));
  }
  for (auto it = old.begin(); it != old.end(); ++it)
    EXPECT_EQ(store.data(it.key()), it.value()) << it.key().toStdString();
  EXPECT_EQ(store.entries<AnyJson>(QString()).size(), static_cast<size_t>(old.size()));

  // No transaction is left open: the next batch goes through.
  store.commit({{QStringLiteral("new/1"), "n1"}}, {});
  EXPECT_EQ(store.data(QStringLiteral("new/1")), QByteArray("n1"));
}

INSTANTIATE_TEST_SUITE_P(
    Commit, LocalStoreFailingCommit,
    testing::Values(InjectedFailure{"Deletion",
                                    "CREATE TRIGGER fail BEFORE DELETE ON records WHEN OLD.key = 'old/3' "
                                    "BEGIN SELECT RAISE(ABORT, 'injected failure'); END",
                                    "old/3"},
                    InjectedFailure{"Update",
                                    "CREATE TRIGGER fail BEFORE UPDATE ON records WHEN NEW.key = 'old/2' "
                                    "BEGIN SELECT RAISE(ABORT, 'injected failure'); END",
                                    "old/2"},
                    InjectedFailure{"Insertion",
                                    "CREATE TRIGGER fail BEFORE INSERT ON records WHEN NEW.key = 'poison' "
                                    "BEGIN SELECT RAISE(ABORT, 'injected failure'); END",
                                    "poison"}),
    [](const auto& info) { return std::string(info.param.name); });

// A damaged file is reported and left exactly as it was: no repair, no recreation, no side files.
TEST_F(LocalStoreTest, ACorruptFileIsAClearErrorAndStaysUntouched) {
  std::mt19937 random(1207);
  QByteArray noise(64 * 1024, '\0');
  std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random() & 0xFF); });

  QByteArray database;
  {
    LocalStore store(false, path(QStringLiteral("source.store")));
    QMap<QString, QByteArray> updates;
    for (int i = 0; i < 500; ++i)
      updates.insert(QStringLiteral("saved/%1").arg(i), QByteArray(200, 'x'));
    store.commit(updates, {});
  }
  database = readFile(path(QStringLiteral("source.store")));
  ASSERT_GT(database.size(), 64 * 1024);

  const struct {
    const char* name;
    QByteArray bytes;
  } damaged[] = {
      {"RandomBytes", noise},
      {"HeaderOnly", database.left(100)},
      {"TruncatedDatabase", database.left(database.size() / 2)},
      {"DatabaseWithRandomFirstPage", noise.left(4096) + database.mid(4096)},
  };
  for (const auto& file : damaged) {
    SCOPED_TRACE(file.name);
    const QString target = path(QString::fromLatin1(file.name));
    writeFile(target, file.bytes);
    const QStringList before = folderContents();
    try {
      LocalStore store(false, target);
      FAIL() << "a damaged file opened";
    } catch (const LocalStoreError& error) {
      EXPECT_TRUE(error.message().contains(target)) << error.what();
      EXPECT_FALSE(error.databaseMessage().isEmpty());
    }
    EXPECT_EQ(readFile(target), file.bytes);
    EXPECT_EQ(folderContents(), before);
  }
}

// The child half of the crash test: commits ever newer generations of a large batch until it
// is killed. Skipped unless the crash test below starts it.
constexpr const char* crashStoreVariable = "BRINDLEWICK_CRASH_CHILD_STORE";
constexpr int crashRecords = 1000;
constexpr int crashGenerations = 2000;

TEST(LocalStoreCrashChild, CommitsUntilKilled) {
  const QString file = qEnvironmentVariable(crashStoreVariable);
  if (file.isEmpty())
    GTEST_SKIP() << "runs only as the child of the crash test";
  LocalStore store(false, file);
  const qint64 first =
      store.load<CrashRecord>(QStringLiteral("generation")).value_or(CrashRecord{}).generation + 1;
  for (qint64 generation = first; generation < first + crashGenerations; ++generation) {
    const QByteArray payload =
        Json::serialize(QJsonObject{{"generation", generation}, {"filler", QString(300, QLatin1Char('p'))}});
    QMap<QString, QByteArray> updates{{QStringLiteral("generation"), payload},
                                      {QStringLiteral("marker/%1").arg(generation), "{}"}};
    for (int i = 0; i < crashRecords; ++i)
      updates.insert(QStringLiteral("crash/%1").arg(i, 5, 10, QLatin1Char('0')), payload);
    store.commit(updates, {QStringLiteral("marker/%1").arg(generation - 1)});
    std::printf("committed %lld\n", static_cast<long long>(generation));
    std::fflush(stdout);
  }
}

TEST_F(LocalStoreTest, AProcessKilledMidCommitLeavesTheOldOrTheNewBatchWhole) {
  const QString file = path();
  std::mt19937 random(20261206);
  std::uniform_int_distribution<int> delayMs(0, 40);
  qint64 previous = 0;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(crashStoreVariable), file);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=LocalStoreCrashChild.CommitsUntilKilled")});
    ASSERT_TRUE(child.waitForStarted(30000));
    // Wait for the first batch, so the kill finds the child in its loop of commits however
    // slow the machine is; the random delay then lands it anywhere in a later batch.
    QByteArray output;
    while (!output.contains("committed ") && child.waitForReadyRead(30000))
      output += child.readAllStandardOutput();
    ASSERT_TRUE(output.contains("committed ")) << output.constData();
    QThread::msleep(static_cast<unsigned long>(delayMs(random)));
    child.kill();
    ASSERT_TRUE(child.waitForFinished(30000));
    output += child.readAllStandardOutput();
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit);

    qint64 acknowledged = previous;
    for (const QByteArray& line : output.split('\n'))
      if (line.startsWith("committed "))
        acknowledged = line.mid(10).toLongLong();

    LocalStore store(false, file);
    const qint64 generation =
        store.load<CrashRecord>(QStringLiteral("generation")).value_or(CrashRecord{}).generation;
    // Durable once commit returned; at most the one batch in flight beyond that.
    EXPECT_GE(generation, acknowledged);
    EXPECT_LE(generation, acknowledged + 1);
    previous = generation;

    const auto records = store.entries<CrashRecord>(QStringLiteral("crash/"));
    ASSERT_EQ(records.size(), generation == 0 ? 0u : static_cast<size_t>(crashRecords));
    for (const auto& [key, record] : records)
      ASSERT_EQ(record.generation, generation) << key.toStdString();
    const auto markers = keysOf(store.entries<AnyJson>(QStringLiteral("marker/")));
    EXPECT_EQ(markers, generation == 0 ? std::set<QString>{}
                                       : std::set<QString>{QStringLiteral("marker/%1").arg(generation)});
  }
  RawStoreDatabase raw(file);
  EXPECT_EQ(raw.scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

} // namespace
