#include "model/ReaderModelFixture.h"

#include "AccountFixtures.h"

#include "model/ReaderAccountUIError.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QString messageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  }
}

TEST(ReaderModelConstruction, AMissingSettingsFolderStopsBeforeTheStoreAndTheKeyring) {
  ReaderModelFixture fx(0);
  writeFile(fx.path(QStringLiteral("settings")), "a file where the folder belongs");
  const std::exception_ptr error = fx.openFailure();
  ASSERT_TRUE(error);
  EXPECT_EQ(messageOf(error), QStringLiteral("Account settings could not be loaded. Please sync again."));
  EXPECT_FALSE(QFile::exists(fx.storeFile()));
  EXPECT_TRUE(fx.storage().calls().isEmpty());
}

TEST(ReaderModelConstruction, AnUnreadableKeyringStopsTheStartAndResetsNothing) {
  ReaderModelFixture fx;
  fx.signIn();
  fx.storage().setFailure(-128);
  const std::exception_ptr error = fx.openFailure();
  EXPECT_EQ(messageOf(error), AccountError::storage().description());
  EXPECT_EQ(fx.storage().items().size(), 1) << "the credential stays";
  fx.storage().setFailure(std::nullopt);
  EXPECT_TRUE(fx.open().account().isSignedIn()) << "the next start finds everything as it was";
}

// The stored account decodes on a worker thread while the release loads: once open, the
// model holds all of both, exactly as stored.
TEST(ReaderModelConstruction, TheStoredAccountReadBesideTheReleaseArrivesWhole) {
  ReaderModelFixture fx;
  fx.signIn(ReaderModelFixture::readerPreferences(), 300);
  const std::optional<QUrl> baseURL = fx.harness().service().baseURL();
  const QString token =
      SessionCredential::fromJson(fx.storage().items().value(AccountKeys::credentialKey(baseURL))).token;
  const std::optional<QByteArray> record =
      LocalStore(false, fx.storeFile())
          .data(AccountKeys::cacheKey(baseURL, AccountFixtures::userID, AccountCoding::digest(token)));
  ASSERT_TRUE(record.has_value());
  const AccountCache stored = AccountCache::fromJson(*record);

  // The start's own sync confirms the same account again: only its confirmation time moves.
  ReaderModel& model = fx.open();
  ASSERT_TRUE(model.account().cache().has_value());
  EXPECT_EQ(model.account().cache()->items, stored.items);
  EXPECT_EQ(model.account().cache()->me.user, stored.me.user);
  EXPECT_EQ(model.account().cache()->settings, stored.settings);
  EXPECT_TRUE(model.account().isSignedIn());
  EXPECT_EQ(model.savedSnapshots().size(), std::count_if(stored.items.begin(), stored.items.end(),
                                                         [](const AccountItem& item) { return item.saved; }));
  EXPECT_EQ(model.repository().release()->releaseId, fx.release().release.releaseId);
  EXPECT_FALSE(model.account().message().has_value());
}

TEST(ReaderModelConstruction, AModelGoneWithEveryWaitPendingStaysSilent) {
  ReaderModelFixture fx;
  fx.signIn();
  ReaderModel& model = fx.open();
  fx.advance(3.05);   // the teaser is up and its seen check waits
  model.openTeaser(); // the card is up and its reading confirmation waits
  ASSERT_GT(fx.harness().scheduler().pendingCount(), 2u);
  fx.close();
  EXPECT_EQ(fx.harness().scheduler().pendingCount(), 0u) << "every wait was cancelled";
  fx.advance(86400); // nothing resumes into the model that is gone
  flushEvents();
}

TEST(DropSound, OnlyABooleanSwitchesTheSoundOffAndSmokeRunsAreMute) {
  ReaderModelFixture fx(0);
  const struct {
    QByteArray stored;
    bool enabled;
  } cases[] = {
      {"{}", true},
      {R"({"drop-sound-enabled": "false"})", true},
      {R"({"drop-sound-enabled": 0})", true},
      {R"({"drop-sound-enabled": false})", false},
      {"not json", true},
  };
  for (const auto& c : cases) {
    writeFile(fx.applicationDefaultsFile(), c.stored);
    EXPECT_EQ(ApplicationDefaults(fx.applicationDefaultsFile()).dropSoundEnabled(), c.enabled)
        << c.stored.data();
  }
  const ApplicationDefaults defaults(fx.applicationDefaultsFile());
  for (const QStringList& arguments :
       {QStringList{"brindlewick", "--smoke-panel"}, QStringList{"--render-design"},
        QStringList{"--feasibility"}, QStringList{"brindlewick"}}) {
    auto player = std::make_unique<FakeSoundPlayer>();
    FakeSoundPlayer* counted = player.get();
    DropSound sound(std::move(player), arguments, defaults);
    sound.play(); // as the preview does, whatever the switch says
    EXPECT_EQ(counted->plays, arguments.size() == 1 && arguments[0] == "brindlewick" ? 1 : 0)
        << arguments.join(' ').toStdString();
  }
}

TEST(DropSound, TheChimePlaysOnceAndOnlyFromTheInstalledCopy) {
  const struct {
    const char* name;
    const char* executable; // under the prefix; empty for the test program itself
    bool chimes;
    bool settingsSavable = true;
  } cases[] = {
      {"installed", "bin/brindlewick", true},
      {"installed in its program folder", "lib/brindlewick/brindlewick", true},
      {"a program folder that only begins alike", "lib/brindlewick-old/brindlewick", false},
      {"a folder that only begins alike", "binx/brindlewick", false},
      {"the build tree", "", false},
      // A chime that cannot be remembered would play at every start.
      {"installed, settings that cannot be saved", "bin/brindlewick", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderModelFixture fx(0);
    if (*c.executable) {
      fx.executablePath = fx.installPrefix + '/' + c.executable;
      writeFile(fx.executablePath, "#!");
    }
    if (!c.settingsSavable) {
      ASSERT_TRUE(QDir().mkpath(fx.applicationDefaultsFile()));
    }
    ReaderModel& model = fx.open();
    model.playInstallChimeOnce();
    model.playInstallChimeOnce();
    EXPECT_EQ(fx.chimeSound->plays, c.chimes ? 1 : 0);
    EXPECT_EQ(ApplicationDefaults(fx.applicationDefaultsFile()).installChimePlayed(), c.chimes);
  }
}

TEST(DropSound, WithoutAnAudioDeviceTheRealPlayerIsSilentAndQuiet) {
  static QStringList warnings;
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
          warnings.append(text);
      });
  {
    SoundEffectPlayer player(SoundEffectPlayer::dropSound);
    player.play(DropSound::volume);
    flushEvents();
  }
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

} // namespace
} // namespace brindlewick
