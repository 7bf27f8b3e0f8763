#include "FileModes.h"
#include "MessageCapture.h"
#include "delivery/Preferences.h"
#include "foundation/Json.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <sys/stat.h>

using namespace brindlewick;

namespace {

const QByteArray storedDefaults =
    R"({"schedule": {"intervalHours": 2, "workingHours": {"startMinute": 540, "endMinute": 1080}, "paused": false},
        "topics": ["history"], "surpriseMe": true, "analyticsConsent": false, "onboardingComplete": true,
        "textScale": SCALE})";

QByteArray withScale(const char* scale) {
  return QByteArray(storedDefaults).replace("SCALE", scale);
}

class PreferencesStoreTest : public ::testing::Test {
protected:
  QString file() const { return m_dir.filePath(QStringLiteral("settings/account-settings.conf")); }

  void store(const QVariant& value) {
    QSettings settings(file(), QSettings::NativeFormat);
    settings.setValue(PreferencesStore::key, value);
  }
  QVariant stored() const { return QSettings(file(), QSettings::NativeFormat).value(PreferencesStore::key); }

  // Puts a regular file where the settings folder was, so nothing can be written there.
  void blockFolder() {
    ASSERT_TRUE(QDir().rename(m_dir.filePath("settings"), m_dir.filePath("moved")));
    QFile blocker(m_dir.filePath("settings"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  }
  void unblockFolder() {
    ASSERT_TRUE(QFile::remove(m_dir.filePath("settings")));
    ASSERT_TRUE(QDir().rename(m_dir.filePath("moved"), m_dir.filePath("settings")));
  }

  QByteArray bytes() const {
    QFile stored(file());
    return stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray();
  }
  void writeBytes(const QByteArray& bytes) {
    QDir().mkpath(m_dir.filePath("settings"));
    QFile out(file());
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(out.write(bytes), bytes.size());
  }

  QTemporaryDir m_dir;
};

std::string preferencesFailure(const std::function<void()>& action) {
  try {
    action();
  } catch (const PreferencesError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ReaderPreferences, EncodesWithoutAbsentDisplayAndRoundTrips) {
  ReaderPreferences preferences;
  EXPECT_EQ(preferences.toJson().keys(), (QStringList{"analyticsConsent", "onboardingComplete", "schedule",
                                                      "surpriseMe", "textScale", "topics"}));
  preferences.topics = {"science", "history"};
  preferences.preferredDisplayID = 4294967295u;
  preferences.textScale = 1.15;
  const QByteArray text = Json::serialize(preferences.toJson());
  EXPECT_EQ(ReaderPreferences::fromJson(Json::parse(text)), preferences);

  ReaderPreferences reordered = preferences;
  reordered.topics = {"history", "science", "history"};
  EXPECT_EQ(reordered, preferences);
  reordered.preferredDisplayID = 0;
  EXPECT_NE(reordered, preferences);
}

TEST(ReaderPreferences, DecodingRequiresEveryFieldButTheDisplayAndIgnoresUnknownKeys) {
  const auto decode = [](QByteArray text) { return ReaderPreferences::fromJson(Json::parse(text)); };
  const QByteArray base = withScale("1.1");
  EXPECT_EQ(decode(base).topics, QSet<QString>{"history"});
  EXPECT_FALSE(decode(base).preferredDisplayID);
  EXPECT_FALSE(decode(QByteArray(base).replace("\"topics\"", R"("preferredDisplayID": null, "topics")"))
                   .preferredDisplayID);
  EXPECT_EQ(decode(QByteArray(base).replace("\"topics\"", R"("preferredDisplayID": 69733632, "topics")"))
                .preferredDisplayID,
            69733632u);
  EXPECT_EQ(decode(QByteArray(base).replace("\"topics\"", R"("theme": "dark", "topics")")).textScale, 1.1);
  EXPECT_EQ(decode(QByteArray(base).replace(R"(["history"])", R"(["history","history"])")).topics.size(), 1);

  for (const auto& [from, to] : std::initializer_list<std::pair<const char*, const char*>>{
           {R"("topics": ["history"], )", ""},
           {R"("surpriseMe": true)", R"("surpriseMe": "yes")"},
           {R"("textScale": 1.1)", R"("textScale": null)"},
           {R"("topics")", R"("preferredDisplayID": -1, "topics")"},
           {R"("topics")", R"("preferredDisplayID": 4294967296, "topics")"},
           {R"("topics")", R"("preferredDisplayID": 1.5, "topics")"},
           {R"(["history"])", R"(["history", 3])"}}) {
    EXPECT_THROW(decode(QByteArray(base).replace(from, to)), JsonDecodingError) << to;
  }
  EXPECT_THROW(decode(QByteArray(base).replace("\"endMinute\": 1080", "\"endMinute\": 540")),
               ScheduleValidationError);
}

TEST_F(PreferencesStoreTest, LoadsWhatIsStoredRepairingOnlyATextSizeAboveTheRange) {
  EXPECT_EQ(PreferencesStore(file()).value(), ReaderPreferences());
  EXPECT_FALSE(QFile::exists(file())); // the defaults are not written

  const std::pair<QVariant, std::string> cases[] = {
      {QStringLiteral("not a blob"), "loaded 1"}, // counts as nothing stored
      {withScale("1.2"), "loaded 1.2"},
      {withScale("1"), "loaded 1"},
      {withScale("1.25"), "loaded 1.2, written back"},
      {withScale("0.9"), "Text size must be between 100% and 120%."},
      {withScale("1.1").replace("\"topics\"", "\"themes\""), "topics: the key is missing"},
      {QByteArray("{not json"), "not valid JSON at byte 1: expected a key"},
  };
  for (const auto& [blob, outcome] : cases) {
    store(blob);
    std::string loaded;
    try {
      const PreferencesStore preferences(file());
      loaded = "loaded " + QString::number(preferences.value().textScale).toStdString();
      if (stored() != blob) {
        loaded += ", written back";
        EXPECT_EQ(stored().toByteArray(), Json::serialize(preferences.value().toJson()));
      }
    } catch (const std::exception& error) {
      loaded = error.what();
    }
    EXPECT_EQ(loaded, outcome);
    if (loaded != "loaded 1.2, written back") {
      EXPECT_EQ(stored(), blob) << outcome;
    }
  }
}

TEST_F(PreferencesStoreTest, SavesInsideTheRangeOnlyAndNotifiesOnlyOnChange) {
  PreferencesStore preferences(file());
  QSignalSpy changes(&preferences, &PreferencesStore::valueChanged);
  ReaderPreferences edited;
  for (double scale : {1.2, 1.0}) {
    edited.textScale = scale;
    preferences.save(edited);
    EXPECT_EQ(PreferencesStore(file()).value(), edited);
  }
  EXPECT_EQ(changes.count(), 2); // 1.2, then back to the default 1.0

  const QVariant before = stored();
  for (double scale : {0.99, 1.21, std::nan("")}) {
    ReaderPreferences refused = edited;
    refused.textScale = scale;
    EXPECT_EQ(preferencesFailure([&] { preferences.save(refused); }),
              "Text size must be between 100% and 120%.");
  }
  EXPECT_EQ(preferences.value(), edited);
  EXPECT_EQ(stored(), before);

  // An equal record is written again (here over a blob changed behind the store's back) but
  // notifies nobody.
  store(withScale("1.1"));
  preferences.save(edited);
  EXPECT_EQ(stored().toByteArray(), Json::serialize(edited.toJson()));
  EXPECT_EQ(changes.count(), 2);
}

TEST_F(PreferencesStoreTest, AFailedWriteReportsItselfAndKeepsValueAndStoredRecord) {
  store(withScale("1.1"));
  PreferencesStore preferences(file());
  const ReaderPreferences kept = preferences.value();
  QSignalSpy changes(&preferences, &PreferencesStore::valueChanged);

  // Another holder of the same settings file shares Qt's in-memory copy of it.
  QSettings otherHolder(file(), QSettings::NativeFormat);
  blockFolder();
  ReaderPreferences edited = kept;
  edited.onboardingComplete = false;
  EXPECT_EQ(
      preferencesFailure([&] { preferences.save(edited); }),
      "Preferences could not be saved on this computer. Existing data was retained. The settings file " +
          file().toStdString() + " cannot be written: a file is in the place of one of its folders.");
  EXPECT_EQ(preferences.value(), kept);
  EXPECT_EQ(changes.count(), 0);
  unblockFolder();

  // The unwritten record must not surface later, not even through another holder's write,
  // and the store still works.
  otherHolder.setValue(QStringLiteral("another-key"), true);
  otherHolder.sync();
  EXPECT_EQ(PreferencesStore(file()).value(), kept);
  preferences.save(edited);
  EXPECT_EQ(PreferencesStore(file()).value(), edited);
  EXPECT_EQ(changes.count(), 1);
}

// The suite's file, where QSettings keeps it: the same name the program has always used.
TEST(PreferencesStore, TheSettingsFileIsTheSuitesUserFile) {
  const QTemporaryDir config;
  const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  EXPECT_EQ(PreferencesStore::accountSettingsFile(),
            QSettings(QSettings::NativeFormat, QSettings::UserScope,
                      QStringLiteral("app.brindlewick.account-settings"))
                .fileName());
  EXPECT_EQ(PreferencesStore::accountSettingsFile(),
            config.filePath("app.brindlewick.account-settings.conf"));
  if (previous.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", previous);
}

// What the program cannot read counts as nothing stored, so it starts; the first save keeps
// the file aside, byte for byte, instead of writing over it.
TEST_F(PreferencesStoreTest, AFileThatIsNotASettingsFileCountsAsNothingAndIsKeptAsideOnSave) {
  store(withScale("1.1"));
  const QByteArray written = bytes();
  std::mt19937 random(42);
  QByteArray noise(64 * 1024, '\0');
  std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random() & 0xFF); });
  // A record the parser would take, after more than the store reads: it is never parsed.
  QByteArray oversized = written + "\n[padding]\n";
  oversized += "comment=" + QByteArray(PreferencesStore::maximumFileBytes, 'x') + "\n";
  const struct {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"random bytes", noise},
      {"cut in its key", written.left(20)},
      {"cut in its record", written.left(written.size() - 30)},
      {"larger than a settings file", oversized},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(m_dir.filePath("settings")).removeRecursively();
    writeBytes(c.bytes);
    PreferencesStore preferences(file());
    EXPECT_EQ(preferences.value(), ReaderPreferences());
    EXPECT_EQ(bytes(), c.bytes) << "reading changes nothing";

    brindlewick::testing::MessageCapture log("brindlewick.preferences");
    ReaderPreferences edited;
    edited.topics = {"science"};
    ASSERT_EQ(preferencesFailure([&] { preferences.save(edited); }), "(no error)");
    EXPECT_EQ(PreferencesStore(file()).value(), edited);
    const QString aside = file() + QStringLiteral(".unreadable");
    QFile kept(aside);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), c.bytes);
    EXPECT_EQ(FileModes::modeOf(aside), 0600);
    ASSERT_EQ(log.records().size(), 1);
    EXPECT_TRUE(log.records().front().message.contains(aside)) << log.records().front().message.toStdString();

    // Another one later is kept too, beside the first.
    writeBytes(c.bytes);
    preferences.save(edited);
    EXPECT_TRUE(QFile::exists(aside + QStringLiteral("-2")));
    EXPECT_EQ(kept.size(), c.bytes.size());
    EXPECT_EQ(log.records().size(), 2);
  }
}

// 100 MB is never read: the size decides before any parsing (the file here is sparse, so
// the test costs no disk).
TEST_F(PreferencesStoreTest, AHugeFileIsNeverReadAndIsMovedAsideWhole) {
  writeBytes("[General]\nreader-preferences-v1=");
  ASSERT_EQ(::truncate(QFile::encodeName(file()).constData(), 100 * 1024 * 1024), 0);
  PreferencesStore preferences(file());
  EXPECT_EQ(preferences.value(), ReaderPreferences());
  preferences.save(ReaderPreferences());
  EXPECT_EQ(QFileInfo(file() + QStringLiteral(".unreadable")).size(), 100 * 1024 * 1024);
  EXPECT_LT(QFileInfo(file()).size(), 1024);
}

// A file that is there but cannot be opened stops the store, naming the file and the cause,
// and nothing is changed.
TEST_F(PreferencesStoreTest, AFileThatCannotBeOpenedIsNamedWithItsReason) {
  const struct {
    const char* name;
    std::function<void()> spoil;
    QString reason;
  } cases[] = {
      {"a folder in its place", [&] { QDir().mkpath(file()); }, QStringLiteral("a folder is in its place")},
      {"a pipe in its place",
       [&] {
         QDir().mkpath(m_dir.filePath("settings"));
         ::mkfifo(QFile::encodeName(file()).constData(), 0600);
       },
       QStringLiteral("it is not a regular file")},
      {"no permission",
       [&] {
         writeBytes("[General]\n");
         FileModes::setMode(file(), 0);
       },
       QStringLiteral("Permission denied")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.reason == QLatin1String("Permission denied") && !FileModes::permissionsBind())
      continue;
    QDir(m_dir.filePath("settings")).removeRecursively();
    c.spoil();
    const QString expected = QStringLiteral("Preferences could not be read on this computer. Nothing was "
                                            "changed. The settings file %1 cannot be read: %2.")
                                 .arg(file(), c.reason);
    EXPECT_EQ(preferencesFailure([&] { PreferencesStore preferences(file()); }), expected.toStdString());
    EXPECT_FALSE(QFile::exists(file() + QStringLiteral(".unreadable")));
  }
}

// The reader's preferences are no one else's, whatever the session's umask, and a file an
// earlier version left open is tightened as soon as it is read.
TEST_F(PreferencesStoreTest, TheFileIsTheReadersAlone) {
  const FileModes::ScopedUmask session(022);
  PreferencesStore preferences(file());
  preferences.save(ReaderPreferences());
  EXPECT_EQ(FileModes::modeOf(file()), 0600);
  EXPECT_EQ(FileModes::modeOf(m_dir.filePath("settings")), 0700);

  ASSERT_TRUE(FileModes::setMode(file(), 0644));
  PreferencesStore reopened(file());
  EXPECT_EQ(FileModes::modeOf(file()), 0600);
  reopened.save(ReaderPreferences());
  EXPECT_EQ(FileModes::modeOf(file()), 0600);
}

} // namespace
