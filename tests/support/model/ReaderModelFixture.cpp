#include "ReaderModelFixture.h"

#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "RawStoreDatabase.h"
#include "VirtualDelayScheduler.h"
#include "account/AccountContracts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

#include <gtest/gtest.h>

namespace brindlewick {

namespace {

ScreenDescription plainDisplay() {
  return {QStringLiteral("plain"), 1,
          ScreenGeometry(Rect{0, 0, 1920, 1080}, Rect{0, 0, 1920, 1055}, 0, Rect{}, Rect{}, false)};
}

} // namespace

ReaderModelFixture::ReaderModelFixture(int drops)
    : m_screens({plainDisplay()}, 0), m_release(generateRelease(std::max(drops, 1))) {
  // Panels open and close at once, so that a test sees the end state without frames.
  m_desktop.accessibility.setReduceMotion(true);
  executablePath = QCoreApplication::applicationFilePath();
  installPrefix = path(QStringLiteral("prefix"));
  m_harness.service().listen();
  QFile configuration(path(BuildConfiguration::fileName));
  EXPECT_TRUE(configuration.open(QIODevice::WriteOnly));
  configuration.write(
      QJsonDocument(QJsonObject{
                        {BuildConfiguration::apiBaseURLKey, m_harness.service().baseURL().toString()},
                        {BuildConfiguration::versionKey, QStringLiteral("1.0.0")},
                    })
          .toJson());
  if (drops > 0) {
    LocalStore store(false, storeFile());
    ContentRepository(store, QStringLiteral("1.0.0"), false)
        .install(m_release.body, m_release.manifest, std::nullopt, now().addingSeconds(-86400));
    // The service publishes the installed release: a sync keeps it.
    m_harness.service().content().publish(m_release.body);
  }
}

ReaderModelFixture::~ReaderModelFixture() {
  close();
}

ReaderPreferences ReaderModelFixture::readerPreferences() {
  ReaderPreferences preferences;
  preferences.onboardingComplete = true;
  preferences.surpriseMe = true;
  return preferences;
}

void ReaderModelFixture::signIn(const ReaderPreferences& preferences, int items) {
  const QString user = AccountFixtures::userID;
  m_harness.service().accounts().addReader({user, QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
  const QString token = m_harness.service().accounts().openSession(user);
  AccountCache cache = AccountFixtures::cache(now(), items, token);
  cache.me.sessionExpiresAt = now().addingSeconds(30 * 86400.0);
  // The account holds the same preferences at the same version, so that a settings save from
  // this computer is not a conflict.
  m_harness.service().accounts().setPreferences(user, preferences);
  cache.settings.preferences = preferences;
  // The service holds the same items too, so that a sync finds what this computer has.
  for (const AccountItem& item : cache.items)
    m_harness.service().accounts().putItem(
        user, {item.snapshot, item.saved, item.loved, item.savedAt, item.lovedAt, item.updatedAt});
  cache.settings.version = m_harness.service().accounts().settings(user).version;
  const std::optional<QUrl> baseURL = m_harness.service().baseURL();
  m_storage.setItem(AccountKeys::credentialKey(baseURL), AccountFixtures::credential(token));
  LocalStore store(false, storeFile());
  store.commit({{AccountKeys::cacheKey(baseURL, user, cache.sessionID), cache.toJson()}}, {});
}

namespace {

// Plain labels for the panels' views.
PanelContentFactories fakeFactories() {
  PanelContentFactories factories;
  factories.teaser = [](const DropSnapshot& drop, double, std::function<void()>) {
    return new QLabel(drop.teaser());
  };
  factories.card = [](ReaderModel& model) {
    return new QLabel(model.current() ? model.current()->lore.headline : QString());
  };
  factories.cardFittingHeight = [](ReaderModel&, double) { return 0.0; };
  factories.accent = [](Category) { return QColor(Qt::darkCyan); };
  return factories;
}

} // namespace

ReaderModel::Services ReaderModelFixture::services() {
  auto drop = std::make_unique<FakeSoundPlayer>();
  auto chime = std::make_unique<FakeSoundPlayer>();
  dropSound = drop.get();
  chimeSound = chime.get();
  return ReaderModel::Services{
      .now = m_harness.clock(),
      .calendar = [this] { return calendar(); },
      .scheduler = m_harness.scheduler(),
      .random = [] { return 0.5; },
      .screens = m_screens,
      .desktop = m_desktop.probes(),
      .configurationFile = path(BuildConfiguration::fileName),
      .accountSettingsFile = accountSettingsFile(),
      .storeFile = storeFile(),
      .applicationDefaultsFile = applicationDefaultsFile(),
      .storage = keyring ? *keyring : static_cast<SecureStorage&>(m_storage),
      .makeTransport = [this](const std::optional<QUrl>& baseURL) -> std::unique_ptr<APITransport> {
        return baseURL ? m_harness.makeClient(*baseURL) : m_harness.makeClient();
      },
      .dropSound = std::move(drop),
      .chimeSound = std::move(chime),
      .arguments = {},
      .executablePath = executablePath,
      .installPrefix = installPrefix,
      .loginItems = std::make_shared<XdgAutostartService>(path(QStringLiteral("autostart"))),
      .factories = fakeFactories(),
      .urlOpener = &browser,
      .updaterBackend = makeUpdaterBackend ? makeUpdaterBackend() : nullptr,
  };
}

void ReaderModelFixture::addConfiguration(const QJsonObject& entries) {
  QFile file(path(BuildConfiguration::fileName));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  QJsonObject configuration = QJsonDocument::fromJson(file.readAll()).object();
  for (auto entry = entries.begin(); entry != entries.end(); ++entry)
    configuration.insert(entry.key(), entry.value());
  file.resize(0);
  file.write(QJsonDocument(configuration).toJson());
}

std::shared_ptr<AsyncOutcome<std::unique_ptr<ReaderModel>>> ReaderModelFixture::opening() {
  close();
  const auto outcome = startTask(ReaderModel::open(services()));
  waitUntilFinished(outcome);
  return outcome;
}

ReaderModel& ReaderModelFixture::open() {
  const auto outcome = opening();
  if (!outcome->finished)
    throw std::runtime_error("the model did not open");
  if (outcome->error)
    std::rethrow_exception(outcome->error);
  m_model = std::move(*outcome->value);
  m_model->setOpenWindow([this](ReaderTab tab, const std::optional<DropSnapshot>&) {
    openedPages.append(tab);
    m_model->setNavigationTab(tab);
    m_model->setWindowOpen(true);
  });
  m_model->setHideWindow([this] {
    ++hiddenCount;
    m_model->setWindowOpen(false);
  });
  // The first sync of the run has come back.
  settle();
  return *m_model;
}

ReaderModel& ReaderModelFixture::openSigningIn() {
  StandInAccounts& accounts = m_harness.service().accounts();
  accounts.addReader({AccountFixtures::userID, QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
  accounts.setPreferences(AccountFixtures::userID, readerPreferences());
  m_harness.service().grants().setTiming(600, 5);
  ReaderModel& model = open();
  model.beginAccountSignIn();
  EXPECT_TRUE(waitUntil([&] { return model.signInCode().has_value(); }));
  flushEvents();
  return model;
}

void ReaderModelFixture::settle() {
  EXPECT_TRUE(waitUntil([this] { return !m_model->refreshing() && !m_model->accountBusy(); }));
  flushEvents();
}

std::exception_ptr ReaderModelFixture::openFailure() {
  return opening()->error;
}

void ReaderModelFixture::close() {
  m_model.reset();
  // The model cancels its waits as it goes; they end on the next turns of the event loop.
  flushEvents();
  dropSound = nullptr;
  chimeSound = nullptr;
}

void ReaderModelFixture::failStoreWrites() {
  RawStoreDatabase raw(storeFile());
  for (const char* event : {"INSERT", "UPDATE", "DELETE"})
    raw.scalar(
        QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE %1 ON records BEGIN SELECT RAISE(ABORT, 'disk on "
                       "fire'); END")
            .arg(QLatin1String(event)));
}

void ReaderModelFixture::allowStoreWrites() {
  RawStoreDatabase raw(storeFile());
  for (const char* event : {"INSERT", "UPDATE", "DELETE"})
    raw.scalar(QStringLiteral("DROP TRIGGER IF EXISTS refuse_%1").arg(QLatin1String(event)));
}

int ReaderModelFixture::requestsTo(const QString& requestPath) {
  int count = 0;
  for (const LoggedRequest& request : m_harness.service().requestLog())
    if (request.path == requestPath)
      ++count;
  return count;
}

} // namespace brindlewick
