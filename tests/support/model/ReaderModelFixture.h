#pragma once

#include "AsyncProbe.h"
#include "InMemorySecureStorage.h"
#include "ReleaseGenerator.h"
#include "StandInHarness.h"
#include "desktop/FakeDesktop.h"
#include "desktop/FakeUrlOpener.h"
#include "model/ReaderModel.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace brindlewick {

// A sound that counts how often it was played, and at what volume last.
class FakeSoundPlayer final : public SoundPlayer {
public:
  bool isAvailable() const override { return true; }
  void play(double volume) override {
    ++plays;
    lastVolume = volume;
  }

  int plays = 0;
  double lastVolume = 0;
};

// The application model on a temporary folder (settings, a real SQLite store, application
// defaults), a generated release installed, the stand-in reading service over TLS, a fake
// desktop with one plain display, fake panel contents, sounds that count, and virtual time:
// the wall clock and the model's scheduler move together through advance(), or the wall clock
// alone through jumpWallClock(). Time starts at 2026-03-01T09:00:00Z, a Sunday: the first slot
// of the default working hours.
//
// Prepare what the model should find (signIn(), preferences, release) and then open() it.
// The reader window's hooks are recorded: openWindow shows the window on its page, hideWindow
// hides it.
class ReaderModelFixture {
public:
  // `drops` drops in the installed release (none installed for 0).
  explicit ReaderModelFixture(int drops = 40);
  ~ReaderModelFixture();
  ReaderModelFixture(const ReaderModelFixture&) = delete;
  ReaderModelFixture& operator=(const ReaderModelFixture&) = delete;

  // The preferences the signed-in account carries: setup complete, every topic, every 2 hours
  // from 09:00 to 18:00.
  static ReaderPreferences readerPreferences();

  // Before open(): a reader known to the stand-in with an open session, whose credential is in
  // the keyring and whose account (with `items` saved items and `preferences`) is in the store.
  void signIn(const ReaderPreferences& preferences = readerPreferences(), int items = 2);

  // Builds the model as the application does (failing with the step's error); waits for it.
  ReaderModel& open();
  // The same, returning the error instead; the model is not kept.
  std::exception_ptr openFailure();
  // Instead of signIn() and open(): a reader known to the stand-in but not to this computer
  // has just begun signing in. The code is shown and the first poll waits 5 seconds.
  ReaderModel& openSigningIn();
  ReaderModel& model() { return *m_model; }
  // Waits on real time until no sync and no account work runs, and what they queued ran.
  void settle();
  void close();

  // MARK: Time

  Date now() const { return m_harness.now(); }
  // Moves the wall clock and the scheduler together, firing what falls due on the way.
  void advance(double seconds) { m_harness.advance(seconds); }
  // Moves the wall clock alone, as a suspend or a clock change does.
  void jumpWallClock(double seconds) { m_harness.setNow(now().addingSeconds(seconds)); }
  Calendar calendar() const { return Calendar(m_zone); }
  void setTimeZone(const QTimeZone& zone) { m_zone = zone; }

  // MARK: Collaborators

  StandInHarness& harness() { return m_harness; }
  FakeDesktop& desktop() { return m_desktop; }
  SimulatedScreenSource& screens() { return m_screens; }
  InMemorySecureStorage& storage() { return m_storage; }
  const GeneratedRelease& release() const { return m_release; }
  QString path(const QString& name) const { return m_folder.filePath(name); }
  QString storeFile() const { return path(QStringLiteral("Brindlewick.store")); }
  QString accountSettingsFile() const { return path(QStringLiteral("settings/account-settings.conf")); }
  QString applicationDefaultsFile() const { return path(QStringLiteral("application-defaults.json")); }

  // MARK: Knobs read by open()

  QString executablePath;
  QString installPrefix;
  // The reader's browser: it never starts a real one; `browser.opens` tells whether the pages
  // it is given open, and `browser.opened` lists every page the model asked it to open.
  FakeUrlOpener browser;
  // The updater's backend, made at each open(); none when empty.
  std::function<std::unique_ptr<UpdaterBackend>()> makeUpdaterBackend;
  // The keyring the model is given when set (a watch over storage(), say); storage() itself
  // otherwise.
  SecureStorage* keyring = nullptr;
  // Adds `entries` to the build's configuration file (the update feed and key, say).
  void addConfiguration(const QJsonObject& entries);

  // MARK: What the model did

  // The sounds the model was given (owned by the model; valid while it is open).
  FakeSoundPlayer* dropSound = nullptr;
  FakeSoundPlayer* chimeSound = nullptr;
  // Every openWindow call's page, and the hideWindow calls.
  QList<ReaderTab> openedPages;
  int hiddenCount = 0;

  // Every later write to the store fails (INSERT, UPDATE and DELETE), or works again.
  void failStoreWrites();
  void allowStoreWrites();
  // Requests the stand-in received on `path`.
  int requestsTo(const QString& path);

  // What open() builds the model from: each call gives new sounds (dropSound, chimeSound).
  ReaderModel::Services services();

private:
  // Builds the model; its outcome once it finished.
  std::shared_ptr<AsyncOutcome<std::unique_ptr<ReaderModel>>> opening();

  QTemporaryDir m_folder;
  StandInHarness m_harness;
  QTimeZone m_zone = QTimeZone::utc();
  FakeDesktop m_desktop;
  SimulatedScreenSource m_screens;
  InMemorySecureStorage m_storage;
  GeneratedRelease m_release;
  std::unique_ptr<ReaderModel> m_model;
};

} // namespace brindlewick
