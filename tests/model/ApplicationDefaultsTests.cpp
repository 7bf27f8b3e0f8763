#include "FileModes.h"
#include "MessageCapture.h"
#include "model/ApplicationDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace brindlewick {
namespace {

QByteArray contentsOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void replaceFile(const QString& path, const QByteArray& bytes) {
  QFile::remove(path);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

TEST(ApplicationDefaults, AFileThatCannotBeReadIsNeverReplacedAndItsValuesAreKept) {
  const struct {
    const char* name;
    std::function<void(const QString&)> spoil;
  } cases[] = {
      {"oversized", [](const QString& path) { replaceFile(path, QByteArray(70000, ' ')); }},
      {"not a JSON object", [](const QString& path) { replaceFile(path, R"(["drop-sound-enabled"])"); }},
      {"half written", [](const QString& path) { replaceFile(path, R"({"drop-sound-enabled": fal)"); }},
      {"a folder in its place",
       [](const QString& path) {
         QFile::remove(path);
         ASSERT_TRUE(QDir().mkpath(path));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("application-defaults.json"));
    ApplicationDefaults defaults(path);
    ASSERT_TRUE(defaults.setDropSoundEnabled(false));
    ASSERT_TRUE(defaults.setInstallChimePlayed(true));
    ASSERT_FALSE(defaults.dropSoundEnabled());

    c.spoil(path);
    const QByteArray spoiled = contentsOf(path);
    testing::MessageCapture log("app.brindlewick.ApplicationDefaults");
    EXPECT_FALSE(defaults.setFrame(ApplicationDefaults::mainWindowFrameKey, QRect(10, 20, 960, 680)));
    EXPECT_FALSE(defaults.setFrame(ApplicationDefaults::mainWindowFrameKey, QRect(30, 20, 960, 680)));
    EXPECT_EQ(contentsOf(path), spoiled) << "the file is left as it is";
    EXPECT_FALSE(defaults.dropSoundEnabled()) << "the sound stays off";
    EXPECT_TRUE(defaults.installChimePlayed()) << "the chime stays played";
    EXPECT_EQ(log.records().size(), 1) << "reported once";

    // Readable again: the next save goes through and keeps what the file holds.
    QDir(path).removeRecursively();
    replaceFile(path, R"({"drop-sound-enabled": false})");
    EXPECT_TRUE(defaults.setFrame(ApplicationDefaults::mainWindowFrameKey, QRect(10, 20, 960, 680)));
    const ApplicationDefaults reread(path);
    EXPECT_FALSE(reread.dropSoundEnabled());
    EXPECT_EQ(reread.frame(ApplicationDefaults::mainWindowFrameKey), QRect(10, 20, 960, 680));
  }
}

// The updater's last check and skipped version count only with their own JSON type.
TEST(ApplicationDefaults, NumbersAndTextsCountOnlyWithTheirOwnType) {
  QTemporaryDir folder;
  const QString path = folder.filePath("defaults.json");
  replaceFile(path, R"({"n": "12", "t": 12, "b": true, "ok-n": 12.5, "ok-t": "0.2.0"})");
  ApplicationDefaults defaults(path);
  EXPECT_FALSE(defaults.number("n"));
  EXPECT_FALSE(defaults.string("t"));
  EXPECT_FALSE(defaults.number("b"));
  EXPECT_FALSE(defaults.number("absent"));
  EXPECT_EQ(defaults.number("ok-n"), 12.5);
  EXPECT_EQ(defaults.string("ok-t"), "0.2.0");
  EXPECT_FALSE(defaults.setNumber("n", std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(defaults.setNumber("n", 794048400.5));
  EXPECT_TRUE(defaults.setString("t", "1.10"));
  const ApplicationDefaults reread(path);
  EXPECT_EQ(reread.number("n"), 794048400.5);
  EXPECT_EQ(reread.string("t"), "1.10");
  EXPECT_EQ(reread.boolean("b"), true);
}

TEST(ApplicationDefaults, AMissingFileIsAFirstStartAndIsWritten) {
  const QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("config/app.brindlewick/application-defaults.json"));
  ApplicationDefaults defaults(path);
  testing::MessageCapture log("app.brindlewick.ApplicationDefaults");
  EXPECT_TRUE(defaults.dropSoundEnabled());
  EXPECT_FALSE(defaults.installChimePlayed());
  EXPECT_TRUE(defaults.setInstallChimePlayed(true));
  EXPECT_TRUE(ApplicationDefaults(path).installChimePlayed());
  EXPECT_TRUE(log.records().isEmpty());
}

TEST(ApplicationDefaults, TheFileIsTheReadersAloneWhateverTheUmaskOrAnEarlierVersionLeft) {
  const FileModes::ScopedUmask session(022);
  const QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("config/app.brindlewick/application-defaults.json"));
  ASSERT_TRUE(ApplicationDefaults(path).setDropSoundEnabled(false));
  EXPECT_EQ(FileModes::modeOf(path), 0600);
  EXPECT_EQ(FileModes::modeOf(folder.filePath(QStringLiteral("config/app.brindlewick"))), 0700);

  ASSERT_TRUE(FileModes::setMode(path, 0644));
  ApplicationDefaults reopened(path);
  EXPECT_EQ(FileModes::modeOf(path), 0600);
  ASSERT_TRUE(reopened.setInstallChimePlayed(true));
  EXPECT_EQ(FileModes::modeOf(path), 0600);
  EXPECT_FALSE(ApplicationDefaults(path).dropSoundEnabled());
}

} // namespace
} // namespace brindlewick
