#include "model/ReaderModel.h"

#include "foundation/PrivateFiles.h"
#include "model/ReaderAccountUIError.h"
#include "service/NativeAPIClient.h"

#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace brindlewick {

namespace {

// Runs `then` on the model `seconds` from now on `scheduler`, unless `token` is cancelled
// first or the model is gone by then.
QCoro::Task<> runAfter(QPointer<ReaderModel> model, DelayScheduler& scheduler, double seconds,
                       CancellationToken token, std::function<void(ReaderModel&)> then) {
  try {
    co_await delay(scheduler, seconds, token);
  } catch (const CancelledError&) {
    co_return;
  }
  if (model)
    then(*model);
}

// The program's own folders hold the reader's library, account and settings: made for the
// reader alone, and tightened where an earlier version left them open to others.
void makeOwnFoldersPrivate(const QString& storeFile, const QString& defaultsFile) {
  const QString storeFolder = QFileInfo(storeFile).absolutePath();
  if (const std::optional<QString> problem = PrivateFiles::makePrivateFolder(storeFolder))
    throw LocalStoreError(
        QStringLiteral("Could not create the folder %1 for the local store: %2").arg(storeFolder, *problem),
        QString(), *problem);
  // Made when a setting is first saved; a failure shows there.
  PrivateFiles::tighten(QFileInfo(defaultsFile).absolutePath());
}

} // namespace

// MARK: Construction

struct ReaderModel::Parts {
  std::unique_ptr<LoginItemController> loginItem;
  std::unique_ptr<PanelController> panel;
  std::unique_ptr<PanelController> teaserPanel;
  std::optional<BuildConfiguration> configuration;
  std::unique_ptr<UpdateController> updater;
  std::unique_ptr<PreferencesStore> preferences;
  std::unique_ptr<LocalStore> store;
  std::unique_ptr<ContentRepository> repository;
  std::unique_ptr<APITransport> transport;
  std::unique_ptr<AccountController> account;
};

QCoro::Task<std::unique_ptr<ReaderModel>> ReaderModel::open(Services services) {
  Parts parts;
  parts.loginItem = services.loginItems ? std::make_unique<LoginItemController>(services.loginItems)
                                        : std::make_unique<LoginItemController>();
  parts.panel = std::make_unique<PanelController>(services.screens, services.desktop);
  parts.teaserPanel = std::make_unique<PanelController>(services.screens, services.desktop);

  parts.configuration = BuildConfiguration::fromFile(services.configurationFile);
  parts.updater = std::make_unique<UpdateController>(parts.configuration->updateEntries(),
                                                     std::move(services.updaterBackend));
  parts.preferences = std::make_unique<PreferencesStore>(services.accountSettingsFile);
  makeOwnFoldersPrivate(services.storeFile, services.applicationDefaultsFile);
  parts.store = std::make_unique<LocalStore>(false, services.storeFile);
  const std::optional<QUrl> baseURL = parts.configuration->apiBaseURL();
  // The account's cache record, the largest read of a start besides the release, decodes on a
  // worker thread while the release loads here. (A named value, not a temporary of the
  // co_await expression: GCC 12 destroys such temporaries twice.)
  QCoro::Task<AccountController::StoredAccount> reading =
      AccountController::readStored(services.storage, *parts.store, baseURL);
  AccountController::StoredAccount stored = co_await std::move(reading);
  parts.repository = std::make_unique<ContentRepository>(*parts.store, parts.configuration->version(), false);
  parts.transport =
      services.makeTransport ? services.makeTransport(baseURL) : std::make_unique<NativeAPIClient>(baseURL);
  AccountController::Services accountServices{*parts.transport,  services.storage,
                                              *parts.store,      baseURL,
                                              services.now,      parts.configuration->version(),
                                              services.scheduler};
  parts.account = std::make_unique<AccountController>(std::move(accountServices), std::move(stored));

  // This computer follows the account's preferences; only the display stays its own.
  ReaderPreferences adopted = parts.account->preferences().value_or(ReaderPreferences{});
  adopted.preferredDisplayID = parts.preferences->value().preferredDisplayID;
  parts.preferences->save(adopted);

  co_return std::unique_ptr<ReaderModel>(new ReaderModel(std::move(services), std::move(parts)));
}

ReaderModel::ReaderModel(Services services, Parts parts)
    : m_now(std::move(services.now)), m_calendar(std::move(services.calendar)),
      m_scheduler(services.scheduler), m_random(std::move(services.random)), m_screens(services.screens),
      m_desktop(services.desktop), m_factories(std::move(services.factories)),
      m_urlOpener(services.urlOpener ? *services.urlOpener : UrlOpener::shared()),
      m_executablePath(std::move(services.executablePath)),
      m_installPrefix(std::move(services.installPrefix)),
      m_defaults(std::move(services.applicationDefaultsFile)),
      m_sound(std::move(services.dropSound), services.arguments, m_defaults),
      m_chime(std::move(services.chimeSound)), m_loginItem(std::move(parts.loginItem)),
      m_panel(std::move(parts.panel)), m_teaserPanel(std::move(parts.teaserPanel)),
      m_configuration(std::move(*parts.configuration)), m_updater(std::move(parts.updater)),
      m_preferences(std::move(parts.preferences)), m_store(std::move(parts.store)),
      m_repository(std::move(parts.repository)), m_transport(std::move(parts.transport)),
      m_account(std::move(parts.account)) {
  // The panels' callbacks hold the model weakly.
  const QPointer<ReaderModel> self(this);
  const auto dismissAll = [self] {
    if (self)
      self->dismiss();
  };
  m_panel->panel().setOnEscape(dismissAll);
  m_teaserPanel->panel().setOnEscape(dismissAll);
  m_teaserPanel->setRevealsVertically(true);
  m_panel->setOnOutsideClick([self] {
    if (self)
      self->collapseReader();
  });
  m_panel->setOnDismiss([self] {
    if (self)
      self->cardClosed();
  });
  // A card that comes on screen starts its reading time.
  connect(m_panel.get(), &PanelController::phaseChanged, this, [this](PanelController::Phase phase) {
    if (phase == PanelController::Phase::visible)
      resetDismissal();
  });

  // The derived values follow their inputs.
  connect(m_account.get(), &AccountController::isSignedInChanged, this, [this] {
    refreshEligibility();
    refreshNextDropLabel();
    Q_EMIT savedSnapshotsChanged();
    Q_EMIT lovedSnapshotsChanged();
  });
  connect(m_account.get(), &AccountController::savedChanged, this, &ReaderModel::savedSnapshotsChanged);
  connect(m_account.get(), &AccountController::lovedChanged, this, &ReaderModel::lovedSnapshotsChanged);
  connect(m_preferences.get(), &PreferencesStore::valueChanged, this, [this] {
    refreshEligibility();
    refreshNextDropLabel();
    invalidateAnotherIdea();
  });
  connect(m_repository.get(), &ContentRepository::releaseChanged, this, &ReaderModel::invalidateAnotherIdea);
  connect(m_repository.get(), &ContentRepository::withdrawalsChanged, this,
          &ReaderModel::invalidateAnotherIdea);
  connectSystemEvents();
  watchAccount();
  // No idle inhibitor is taken: drops wait on the boot clock, which keeps counting while the
  // computer sleeps, and the computer may sleep whenever it likes.

  m_eligible = eligible();
  reschedule();
  scheduleCatchUp();
  armMidnightRefresh();
  // The first sync of the run, silent.
  startRefresh(false);
}

ReaderModel::~ReaderModel() {
  for (CancellationSource* source :
       {&m_scheduleTimer, &m_catchUp, &m_deliveryConfirmation, &m_readingConfirmation, &m_dismissal,
        &m_midnight, &m_refreshTimer, &m_lifetime})
    source->cancel();
  // The members below go before the object: nothing they signal while they end may reach it.
  m_panel->setOnDismiss({});
  m_panel->setOnOutsideClick({});
  m_panel->panel().setOnEscape({});
  m_teaserPanel->panel().setOnEscape({});
  for (QObject* sender :
       std::initializer_list<QObject*>{m_panel.get(), m_teaserPanel.get(), m_account.get(),
                                       m_preferences.get(), m_repository.get(), m_desktop.events})
    if (sender)
      disconnect(sender, nullptr, this, nullptr);
}

// MARK: Derived values

double ReaderModel::autoCollapseDelay(const QString& explanation) {
  qsizetype words = 0;
  bool inWord = false;
  for (const QChar character : explanation) {
    const bool space = character.isSpace();
    if (!space && !inWord)
      ++words;
    inWord = !space;
  }
  return std::max(0.5 * double(words), 45.0);
}

QString ReaderModel::shortTime(const QTime& time, const QLocale& locale) {
  if (locale.language() == QLocale::C)
    return time.toString(QStringLiteral("HH:mm"));
  return locale.toString(time, QLocale::ShortFormat);
}

QString ReaderModel::formatNextDrop(Date next, Date now, const Calendar& calendar, const QLocale& locale) {
  const QDateTime local = next.toQDateTime().toTimeZone(calendar.timeZone());
  const QString time = shortTime(local.time(), locale);
  if (calendar.isSameDay(next, now))
    return time;
  if (const std::optional<Date> tomorrow = calendar.addingDays(now, 1);
      tomorrow && calendar.isSameDay(next, *tomorrow))
    return QStringLiteral("Tomorrow ") + time;
  return locale.dayName(local.date().dayOfWeek(), QLocale::ShortFormat) + QLatin1Char(' ') + time;
}

bool ReaderModel::eligible() const {
  const ReaderPreferences& preferences = m_preferences->value();
  return m_storageHealthy && signedIn() && m_sessionActive && m_screensAwake && !m_screenLocked &&
         preferences.onboardingComplete && !preferences.schedule.paused() && frontApplicationExists() &&
         !frontIsFullScreen();
}

bool ReaderModel::teaserEligible() const {
  if (!m_storageHealthy || !signedIn() || !m_sessionActive || !m_screensAwake || m_screenLocked)
    return false;
  const bool automatic = m_teaserRequest == PresentationRequest::automaticProbe;
  if (m_windowOpen && !automatic)
    return false;
  const ReaderPreferences& preferences = m_preferences->value();
  if (automatic && (!preferences.onboardingComplete || preferences.schedule.paused()))
    return false;
  if (!frontApplicationExists())
    return false;
  return !automatic || !frontIsFullScreen();
}

std::optional<QString> ReaderModel::nextDropLabel() const {
  if (!m_storageHealthy || !signedIn() || !m_nextDelivery || m_preferences->value().schedule.paused())
    return std::nullopt;
  return formatNextDrop(*m_nextDelivery, m_now(), m_calendar(), QLocale());
}

bool ReaderModel::hasAnotherIdea() const {
  if (!m_current)
    return false;
  if (!m_hasAnotherIdea)
    m_hasAnotherIdea =
        m_repository->select(m_preferences->value(), m_current->id(), std::nullopt, [] { return 0.0; })
            .has_value();
  return *m_hasAnotherIdea;
}

QList<DropSnapshot> ReaderModel::savedSnapshots() const {
  QList<DropSnapshot> snapshots;
  if (signedIn())
    for (const SavedSnapshot& saved : m_account->saved())
      snapshots.append(saved.snapshot);
  return snapshots;
}

QList<DropSnapshot> ReaderModel::lovedSnapshots() const {
  QList<DropSnapshot> snapshots;
  if (signedIn())
    for (const SavedSnapshot& loved : m_account->loved())
      snapshots.append(loved.snapshot);
  return snapshots;
}

bool ReaderModel::isSaved(const DropSnapshot& snapshot) const {
  return signedIn() && m_account->isSaved(snapshot.id());
}

bool ReaderModel::isLoved(const DropSnapshot& snapshot) const {
  return signedIn() && m_account->isLoved(snapshot.id());
}

bool ReaderModel::canRead(const DropSnapshot& snapshot) const {
  if (!signedIn())
    return false;
  if (m_storageHealthy)
    return true;
  const auto kept = [&](const QList<SavedSnapshot>& list) {
    return std::any_of(list.cbegin(), list.cend(),
                       [&](const SavedSnapshot& s) { return s.snapshot == snapshot; });
  };
  return kept(m_account->saved()) || kept(m_account->loved());
}

void ReaderModel::refreshEligibility() {
  const bool now = eligible();
  if (now == m_eligible)
    return;
  m_eligible = now;
  Q_EMIT eligibleChanged();
}

void ReaderModel::refreshNextDropLabel() {
  std::optional<QString> label = nextDropLabel();
  if (label == m_lastNextDropLabel)
    return;
  m_lastNextDropLabel = std::move(label);
  Q_EMIT nextDropLabelChanged();
}

void ReaderModel::invalidateAnotherIdea() {
  m_hasAnotherIdea.reset();
  Q_EMIT hasAnotherIdeaChanged();
}

void ReaderModel::armMidnightRefresh() {
  const Calendar calendar = m_calendar();
  const Date now = m_now();
  const std::optional<Date> tomorrow = calendar.addingDays(now, 1);
  const std::optional<Date> midnight = tomorrow ? calendar.startOfDay(*tomorrow) : std::nullopt;
  if (!midnight) {
    m_midnight.cancel();
    return;
  }
  arm(m_midnight, midnight->secondsSince(now), [](ReaderModel& model) {
    model.refreshNextDropLabel();
    model.armMidnightRefresh();
  });
}

// MARK: Helpers

bool ReaderModel::cardVisible() const {
  return m_panel->panel().isVisible();
}

bool ReaderModel::teaserVisible() const {
  return m_teaserPanel->panel().isVisible();
}

bool ReaderModel::cardIsKey() const {
  // Some window systems activate any window that is shown; the panel is key only once it
  // has been allowed to take the keyboard.
  const DropPanel& card = m_panel->panel();
  return card.canBecomeKey() && card.isActiveWindow();
}

bool ReaderModel::screenReaderRuns() const {
  return m_desktop.state && m_desktop.state->screenReaderRuns();
}

bool ReaderModel::frontApplicationExists() const {
  return !m_desktop.state || m_desktop.state->frontApplicationExists();
}

bool ReaderModel::frontIsFullScreen() const {
  return m_desktop.fullScreen && m_desktop.fullScreen->frontApplicationIsFullScreen();
}

bool ReaderModel::isSeen(PanelController& controller) const {
  const QWindow* window = controller.panel().windowHandle();
  if (!controller.panel().isVisible() || !window)
    return false;
  if (!m_desktop.state)
    return true;
  return m_desktop.state->isOnActiveSpace(*window) && !m_desktop.state->isCovered(*window);
}

void ReaderModel::callOpenWindow(ReaderTab tab) {
  if (m_openWindow)
    m_openWindow(tab, std::nullopt);
}

void ReaderModel::callHideWindow() {
  if (m_hideWindow)
    m_hideWindow();
}

void ReaderModel::arm(CancellationSource& source, double seconds, std::function<void(ReaderModel&)> then) {
  source.cancel();
  source = CancellationSource();
  runAfter(QPointer<ReaderModel>(this), m_scheduler, seconds, source.token(), std::move(then));
}

std::optional<QString> ReaderModel::readerID() const {
  const std::optional<ReaderAccountUser>& user = m_account->user();
  return user ? std::optional<QString>(user->id) : std::nullopt;
}

QCoro::Task<std::optional<QString>> ReaderModel::failureOf(QCoro::Task<>& work) {
  std::optional<QString> failure;
  try {
    co_await work;
  } catch (const CancelledError&) {
    // Only the model's end cancels its work; the caller finds its lifetime token cancelled.
  } catch (const std::exception& error) {
    failure = errorText(error);
  }
  co_return failure;
}

std::optional<QString> ReaderModel::failureLine(const QString& prefix,
                                                const std::optional<QString>& failure) {
  return failure ? std::optional<QString>(prefix + *failure) : std::nullopt;
}

void ReaderModel::playInstallChimeOnce() {
  if (m_defaults.installChimePlayed() || !runsFromInstalledLocation(m_executablePath, m_installPrefix))
    return;
  // The flag comes first: a chime that cannot play is not tried again at the next start, and
  // one that could not be remembered would play again at every start.
  if (!m_defaults.setInstallChimePlayed(true))
    return;
  if (m_chime && m_chime->isAvailable())
    m_chime->play(1.0);
}

// MARK: Setters

template <typename T, typename Signal> void ReaderModel::update(T& field, T value, Signal changed) {
  if (field == value)
    return;
  field = std::move(value);
  Q_EMIT(this->*changed)();
}

void ReaderModel::setTeaser(std::optional<DropSnapshot> teaser) {
  update(m_teaser, std::move(teaser), &ReaderModel::teaserChanged);
}

void ReaderModel::setRenderedTeaser(std::optional<DropSnapshot> teaser) {
  update(m_renderedTeaser, std::move(teaser), &ReaderModel::renderedTeaserChanged);
}

void ReaderModel::setTeaserDismissed(bool dismissed) {
  update(m_teaserDismissed, dismissed, &ReaderModel::teaserDismissedChanged);
}

void ReaderModel::setIsCollapsingReader(bool collapsing) {
  update(m_isCollapsingReader, collapsing, &ReaderModel::isCollapsingReaderChanged);
}

void ReaderModel::setTeaserRequest(PresentationRequest request) {
  update(m_teaserRequest, request, &ReaderModel::teaserRequestChanged);
}

void ReaderModel::setCurrent(std::optional<DropSnapshot> current) {
  if (current == m_current)
    return;
  m_current = std::move(current);
  Q_EMIT currentChanged();
  invalidateAnotherIdea();
  // A new drop on the card starts its reading time over.
  resetDismissal();
}

void ReaderModel::setImpressionID(std::optional<QString> id) {
  update(m_impressionID, std::move(id), &ReaderModel::impressionIDChanged);
}

void ReaderModel::setMessage(std::optional<QString> message) {
  update(m_message, std::move(message), &ReaderModel::messageChanged);
}

void ReaderModel::setNextDelivery(std::optional<Date> next) {
  if (next == m_nextDelivery)
    return;
  m_nextDelivery = next;
  Q_EMIT nextDeliveryChanged();
  refreshNextDropLabel();
}

void ReaderModel::setBusy(bool busy) {
  update(m_busy, busy, &ReaderModel::busyChanged);
}

void ReaderModel::setAccountHistory(QList<DropSnapshot> history) {
  update(m_accountHistory, std::move(history), &ReaderModel::accountHistoryChanged);
}

void ReaderModel::setDetail(std::optional<DropSnapshot> detail) {
  update(m_detail, std::move(detail), &ReaderModel::detailChanged);
}

void ReaderModel::setStorageHealthy(bool healthy) {
  if (healthy == m_storageHealthy)
    return;
  m_storageHealthy = healthy;
  Q_EMIT storageHealthyChanged();
  refreshEligibility();
  refreshNextDropLabel();
}

void ReaderModel::setSessionActive(bool active) {
  update(m_sessionActive, active, &ReaderModel::sessionActiveChanged);
  refreshEligibility();
}

void ReaderModel::setScreensAwake(bool awake) {
  update(m_screensAwake, awake, &ReaderModel::screensAwakeChanged);
  refreshEligibility();
}

void ReaderModel::setScreenLocked(bool locked) {
  update(m_screenLocked, locked, &ReaderModel::screenLockedChanged);
  refreshEligibility();
}

void ReaderModel::setScheduleGeneration(qint64 generation) {
  update(m_scheduleGeneration, generation, &ReaderModel::scheduleGenerationChanged);
}

void ReaderModel::setSyncIssue(std::optional<QString> issue) {
  update(m_syncIssue, std::move(issue), &ReaderModel::syncIssueChanged);
}

void ReaderModel::setRefreshing(bool refreshing) {
  update(m_refreshing, refreshing, &ReaderModel::refreshingChanged);
}

void ReaderModel::setRefreshFailures(int failures) {
  const bool failed = lastSyncFailed();
  update(m_refreshFailures, failures, &ReaderModel::refreshFailuresChanged);
  if (lastSyncFailed() != failed)
    Q_EMIT lastSyncFailedChanged();
}

void ReaderModel::setLastFocusSync(Date at) {
  update(m_lastFocusSync, at, &ReaderModel::lastFocusSyncChanged);
}

void ReaderModel::setCollectionBusy(bool busy) {
  update(m_collectionBusy, busy, &ReaderModel::collectionBusyChanged);
}

void ReaderModel::setAccountBusy(bool busy) {
  update(m_accountBusy, busy, &ReaderModel::accountBusyChanged);
}

void ReaderModel::setSignInCode(std::optional<QString> code) {
  update(m_signInCode, std::move(code), &ReaderModel::signInCodeChanged);
}

void ReaderModel::setSignInURL(std::optional<QUrl> url) {
  // That the browser could not open the page was news about the page: it goes with it.
  if (!url && m_signInURL && m_message == browserFailureMessage)
    setMessage(std::nullopt);
  update(m_signInURL, std::move(url), &ReaderModel::signInURLChanged);
}

void ReaderModel::setWindowOpen(bool open) {
  update(m_windowOpen, open, &ReaderModel::windowOpenChanged);
}

void ReaderModel::setHovered(bool hovered) {
  update(m_hovered, hovered, &ReaderModel::hoveredChanged);
  resetDismissal();
}

void ReaderModel::setOpenWindow(OpenWindow hook) {
  m_openWindow = std::move(hook);
  Q_EMIT openWindowChanged();
}

void ReaderModel::setHideWindow(std::function<void()> hook) {
  m_hideWindow = std::move(hook);
  Q_EMIT hideWindowChanged();
}

void ReaderModel::setNavigationTab(ReaderTab tab) {
  update(m_navigationTab, tab, &ReaderModel::navigationTabChanged);
}

void ReaderModel::setLibrarySearch(const QString& search) {
  update(m_librarySearch, search, &ReaderModel::librarySearchChanged);
}

} // namespace brindlewick
