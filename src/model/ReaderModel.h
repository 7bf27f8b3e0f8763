#pragma once

#include "account/AccountController.h"
#include "content/ContentRepository.h"
#include "content/LocalStore.h"
#include "delivery/Calendar.h"
#include "delivery/Preferences.h"
#include "desktop/DesktopProbes.h"
#include "desktop/LoginItemController.h"
#include "desktop/ScreenSource.h"
#include "desktop/SoundPlayer.h"
#include "desktop/UrlOpener.h"
#include "foundation/Cancellation.h"
#include "foundation/Date.h"
#include "foundation/DelayScheduler.h"
#include "model/ApplicationDefaults.h"
#include "model/DropSound.h"
#include "model/PanelContentFactories.h"
#include "model/ReaderTab.h"
#include "model/UpdateController.h"
#include "panel/PanelController.h"
#include "service/APITransport.h"
#include "service/BuildConfiguration.h"
#include "service/SecureStorage.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>

namespace brindlewick {

// The one application model: it owns the stores and controllers of the running application,
// decides when a drop appears in the teaser panel, confirms that it was seen before counting
// it, opens it into the reading card, confirms the reading, and folds the card away again.
// Every view reads it and calls its operations.
//
// Each field is observable through its own change signal, emitted only when the value changes;
// the window hooks signal every assignment. The derived values (eligible, nextDropLabel,
// hasAnotherIdea, the saved and loved lists) signal when one of their inputs changes.
//
// Main thread only. Every wait runs on the injected scheduler under a cancellation token: a
// replaced wait is cancelled, the destructor cancels them all, and nothing that resumes after
// the model is gone touches it.
class ReaderModel final : public QObject {
  Q_OBJECT

public:
  // Where the model finds everything outside itself. The references must outlive the model.
  struct Services {
    // The wall clock of every decision.
    NowSource now = systemNow;
    // The reader's current calendar, asked at each use so that a new time zone counts at once.
    std::function<Calendar()> calendar = &Calendar::system;
    // Runs every wait: the boot clock in production, so that waits count through a suspend.
    DelayScheduler& scheduler;
    // The draw of the automatic choice and of "More for you".
    RandomSource random = systemRandom;
    // The displays and the desktop of both panels.
    const ScreenSource& screens;
    DesktopProbes desktop;
    // The build's configuration, the account-settings file, the local store and the
    // application's own settings.
    QString configurationFile = BuildConfiguration::defaultFilePath();
    QString accountSettingsFile = PreferencesStore::accountSettingsFile();
    QString storeFile = LocalStore::defaultFilePath();
    QString applicationDefaultsFile = ApplicationDefaults::defaultFilePath();
    // The keyring of the session credential.
    SecureStorage& storage;
    // The service transport for the configured address (none without a service).
    std::function<std::unique_ptr<APITransport>(const std::optional<QUrl>& baseURL)> makeTransport;
    // The drop's arrival and the first-run chime; null for silence.
    std::unique_ptr<SoundPlayer> dropSound;
    std::unique_ptr<SoundPlayer> chimeSound;
    // The command line (for the sound's mute switches), the running executable and the
    // installation prefix (for the first-run chime).
    QStringList arguments;
    QString executablePath;
    QString installPrefix;
    // Where launch at login is registered; null for the XDG autostart folder.
    std::shared_ptr<LoginItemService> loginItems;
    PanelContentFactories factories;
    // Opens the sign-in page in the reader's browser and tells whether it did; the shared
    // opener when null. Must outlive the model.
    UrlOpener* urlOpener = nullptr;
    // What installs new versions from the configured update feed; none on a computer whose
    // package manager does (the updater then only explains that).
    std::unique_ptr<UpdaterBackend> updaterBackend = nullptr;
  };

  // Builds the model's collaborators in order: the login item and both panels; the build
  // configuration; the preferences store on the account-settings file (PreferencesError
  // naming the file and the reason when it is there but cannot be read); the local store, in
  // a folder for the reader alone, and the content library on it; the transport and the
  // account (reading its credential from the keyring); then puts the account's preferences
  // (or the defaults) on this computer with its own preferred display. Any step's failure is
  // thrown unchanged, before any wiring: what was built is released and nothing on disk is
  // reset. Then plans the next delivery and arms the catch-up check.
  static QCoro::Task<std::unique_ptr<ReaderModel>> open(Services services);
  ~ReaderModel() override;

  // The card's reading confirmation and the teaser's seen check.
  static constexpr double readingConfirmationDelay = 0.56;
  static constexpr double deliveryConfirmationDelay = 0.1;
  static constexpr double catchUpDelay = 3;
  static constexpr qsizetype accountHistoryLimit = 100;
  static constexpr double teaserWidth = 324;
  static constexpr double teaserHeight = 34;
  static constexpr double cardWidth = 720;
  static constexpr double cardMinimumHeight = 420;

  // The texts the model shows.
  static inline const QString signInPrompt =
      QStringLiteral("Sign in to receive drops. Saved and loved ideas remain readable.");
  static inline const QString storagePausedPrompt =
      QStringLiteral("Drops are paused because this computer's local storage could not be saved. Restart "
                     "Brindlewick to try again.");
  static inline const QString deliveryFailurePrefix =
      QStringLiteral("Delivery paused because its schedule could not be saved: ");
  static inline const QString readingFailurePrefix =
      QStringLiteral("Reading paused because history/quota could not be saved: ");
  static inline const QString historyFailurePrefix = QStringLiteral("Could not save reading history: ");
  static inline const QString setupFailurePrefix = QStringLiteral("Could not finish setup: ");
  static inline const QString changedDropMessage =
      QStringLiteral("This drop changed. Open the refreshed teaser to read the current idea.");
  static inline const QString noOtherIdeaMessage = QStringLiteral(
      "No other ideas match your interests. Adjust your interests or sync content in Settings.");
  static inline const QString syncFailurePrefix = QStringLiteral("Sync could not finish: ");
  static inline const QString settingsResetFailurePrefix =
      QStringLiteral("Account settings could not be reset: ");
  static inline const QString signOutResetFailurePrefix =
      QStringLiteral("Could not reset this computer's account settings: ");
  static inline const QString signOutFailurePrefix = QStringLiteral("Sign-out needs attention: ");
  static inline const QString signInFailurePrefix = QStringLiteral("Sign-in could not finish: ");
  static inline const QString signInUnexpectedReply =
      QStringLiteral("Sign-in could not finish: Brindlewick got an unexpected reply. Please try again.");
  static inline const QString signInDeclinedMessage = QStringLiteral("Sign-in was declined in the browser.");
  static inline const QString collectionSignInMessage = QStringLiteral("Sign in to save or love an idea.");
  static inline const QString collectionFailurePrefix = QStringLiteral("Your collection could not sync: ");
  static inline const QString browserFailureMessage =
      QStringLiteral("The sign-in page could not open. Check your default browser and try again.");

  // Seconds until the next background sync after `failures` consecutive failed ones.
  static double refreshDelay(int failures);
  static constexpr int maximumRefreshFailures = 5;
  // A window taking the keyboard syncs at most this often, unless a sync problem is shown.
  static constexpr double focusSyncInterval = 60;
  // A failed focus sync is tried again this much later, and then reported.
  static constexpr double focusRetryDelay = 3;

  // The card closes by itself after half a second per word of the explanation (runs of white
  // space separate words), never sooner than 45 seconds.
  static double autoCollapseDelay(const QString& explanation);
  // "09:41" today, "Tomorrow 09:41", else the short weekday and the time, in `locale`.
  static QString formatNextDrop(Date next, Date now, const Calendar& calendar, const QLocale& locale);
  // A clock time in the locale's short form, hours and minutes only: the C locale (a session
  // with no language set) would otherwise add seconds.
  static QString shortTime(const QTime& time, const QLocale& locale);

  // MARK: Collaborators, held for the model's life

  PreferencesStore& preferences() const { return *m_preferences; }
  ContentRepository& repository() const { return *m_repository; }
  AccountController& account() const { return *m_account; }
  LoginItemController& loginItem() const { return *m_loginItem; }
  const BuildConfiguration& configuration() const { return m_configuration; }
  // The updater made from the configuration's update entries: its status line and its check.
  UpdateController& updater() const { return *m_updater; }
  // The reading card's panel and the teaser's.
  PanelController& panel() const { return *m_panel; }
  PanelController& teaserPanel() const { return *m_teaserPanel; }
  DropSound& sound() { return m_sound; }
  // The displays and the desktop the model was given.
  const ScreenSource& screens() const { return m_screens; }
  const DesktopProbes& desktop() const { return m_desktop; }
  const ApplicationDefaults& applicationDefaults() const { return m_defaults; }
  ApplicationDefaults& applicationDefaults() { return m_defaults; }

  // Replaces the views the panels are given from now on.
  void setPanelContentFactories(PanelContentFactories factories) { m_factories = std::move(factories); }

  // MARK: State

  const std::optional<DropSnapshot>& teaser() const { return m_teaser; }
  const std::optional<DropSnapshot>& renderedTeaser() const { return m_renderedTeaser; }
  bool teaserDismissed() const { return m_teaserDismissed; }
  bool isCollapsingReader() const { return m_isCollapsingReader; }
  PresentationRequest teaserRequest() const { return m_teaserRequest; }
  const std::optional<DropSnapshot>& current() const { return m_current; }
  const std::optional<QString>& impressionID() const { return m_impressionID; }
  const std::optional<QString>& message() const { return m_message; }
  const std::optional<QString>& syncIssue() const { return m_syncIssue; }
  const std::optional<Date>& nextDelivery() const { return m_nextDelivery; }
  bool busy() const { return m_busy; }
  bool collectionBusy() const { return m_collectionBusy; }
  bool accountBusy() const { return m_accountBusy; }
  const std::optional<QString>& signInCode() const { return m_signInCode; }
  int signInDeclined() const { return m_signInDeclined; }
  const std::optional<QUrl>& signInURL() const { return m_signInURL; }
  // Drops read on this account, newest first, at most accountHistoryLimit.
  const QList<DropSnapshot>& accountHistory() const { return m_accountHistory; }
  bool windowOpen() const { return m_windowOpen; }
  bool hovered() const { return m_hovered; }
  using OpenWindow = std::function<void(ReaderTab tab, const std::optional<DropSnapshot>& snapshot)>;
  const OpenWindow& openWindow() const { return m_openWindow; }
  const std::function<void()>& hideWindow() const { return m_hideWindow; }
  ReaderTab navigationTab() const { return m_navigationTab; }
  const QString& librarySearch() const { return m_librarySearch; }
  const std::optional<DropSnapshot>& detail() const { return m_detail; }
  bool sessionActive() const { return m_sessionActive; }
  bool screensAwake() const { return m_screensAwake; }
  bool screenLocked() const { return m_screenLocked; }
  // False for the rest of the run once a delivery or a reading could not be recorded.
  bool storageHealthy() const { return m_storageHealthy; }
  bool refreshing() const { return m_refreshing; }
  int refreshFailures() const { return m_refreshFailures; }
  // The last sync failed: it counted a failure, which only a successful one resets.
  bool lastSyncFailed() const { return m_refreshFailures > 0; }
  Date lastFocusSync() const { return m_lastFocusSync; }
  qint64 scheduleGeneration() const { return m_scheduleGeneration; }
  Date now() const { return m_now(); }
  // The reader's calendar now (the zone is read again at each call), and the scheduler the
  // model's own waits run on: views that follow the clock use both.
  Calendar calendar() const { return m_calendar(); }
  DelayScheduler& scheduler() const { return m_scheduler; }

  // Written by the views and the application.
  void setWindowOpen(bool open);
  // Every assignment, also of the same value, restarts the card's automatic collapse.
  void setHovered(bool hovered);
  // Both hooks signal every assignment.
  void setOpenWindow(OpenWindow hook);
  void setHideWindow(std::function<void()> hook);
  void setNavigationTab(ReaderTab tab);
  void setLibrarySearch(const QString& search);

  // MARK: Derived values

  // Automatic delivery may happen now: storage healthy, signed in, the session active, the
  // screens awake and unlocked, setup complete, not paused, an application in front, and that
  // application not in full screen.
  bool eligible() const;
  // The teaser may be up: as eligible(), except that a manual teaser skips setup, pause and
  // full screen, and only an automatic one may sit beside the open reader window.
  bool teaserEligible() const;
  // When the next drop comes, for the sidebar; none without a plan.
  std::optional<QString> nextDropLabel() const;
  // "More for you" would find another drop.
  bool hasAnotherIdea() const;
  // The account's saved and loved snapshots, newest first; empty while signed out.
  QList<DropSnapshot> savedSnapshots() const;
  QList<DropSnapshot> lovedSnapshots() const;
  // By drop id, while signed in.
  bool isSaved(const DropSnapshot& snapshot) const;
  bool isLoved(const DropSnapshot& snapshot) const;
  // Whether a snapshot may be opened on the read page.
  bool canRead(const DropSnapshot& snapshot) const;

  // MARK: Operations

  // Re-plans automatic delivery: brings the teaser in line, then arms the one delivery wait
  // for the next opportunity when delivery is eligible and no card is up.
  void reschedule();
  // Puts a drop up as a teaser: one the schedule allows (automatic) or one the reader asked for.
  void show(bool automatic);
  // The reader's "Show Drop": finishes a skipped setup first.
  void requestDrop();
  // The teaser's open action: opens the reading card on the teaser's drop.
  void openTeaser();
  // Folds a visible card back into the teaser's place.
  void collapseReader();
  // Closes the teaser and the card.
  void dismiss();
  // Brings the current drop to the keyboard: the card, else the reader window.
  void focusReader();
  // Another drop in the open card.
  void surpriseMe();
  // Opens an idea on the read page and records the reading.
  void read(const DropSnapshot& snapshot);
  // The first-run chime, once, from the installed copy only.
  void playInstallChimeOnce();

  // MARK: Sync

  // Refreshes the account, applies its preferences and syncs content, unless no session is
  // stored or a sync already runs. Never throws: a failure is counted for the back-off and,
  // when `reportingFailure`, shown in syncIssue. Always re-plans delivery and the next
  // background sync.
  QCoro::Task<> refresh(bool reportingFailure);
  // Puts the account's preferences on this computer, which keeps only its preferred display,
  // and re-plans. Nothing happens while signed out. Throws what the account and the
  // preferences store throw, and ReaderAccountUIError::preferencesUnavailable when the account
  // has no preferences even after storing the defaults to it.
  QCoro::Task<> applyAccountPreferences();
  // Whether a background sync is armed, and when it fires on the scheduler's clock.
  bool refreshPlanned() const { return m_refreshDeadline.has_value(); }
  std::optional<double> refreshDeadline() const { return m_refreshDeadline; }

  // MARK: Account

  // Starts the browser sign-in: asks for a code, shows it with the verification page, opens
  // that page and polls until the reader approved, declined, or the code expired. Does
  // nothing while account work runs.
  void beginAccountSignIn();
  // Abandons a waiting sign-in, silently: cancels the sign-in task, abandons the account's
  // grant and clears the code and its page at once.
  void cancelAccountSignIn();
  bool signInRunning() const { return m_signInTask.has_value(); }
  // Opens the pending sign-in page in the browser again. When the browser answers that it
  // could not, and that page is still the pending one, says so in message.
  void openAccountBrowser();
  // Signs out, then resets this computer's account-bound state. Refused while account or
  // collection work runs.
  void signOutAccount();

  // MARK: Collections and settings

  // Toggles the idea in the saved (or, with `love`, the loved) collection on the account.
  // Ignored while a collection request runs; while signed out it asks the reader to sign in.
  void changeCollection(const DropSnapshot& snapshot, bool love);
  // Saves this computer's saves from before accounts into the account, one at a time, skipping
  // those it already holds; the local saves stay as they are.
  void importLegacySaves();
  // Stores edited settings to the account, then on this computer, and re-plans. Throws
  // ReaderAccountUIError::accountRequired while signed out, AccountError::preferenceConflict
  // when `expectedVersion` is not the account's version, and what the account and the
  // preferences store throw.
  QCoro::Task<> saveSettings(ReaderPreferences preferences, std::optional<qint64> expectedVersion);
  // Pauses or resumes automatic delivery, on the account first; a failure goes to message.
  void togglePause();

Q_SIGNALS:
  void teaserChanged();
  void renderedTeaserChanged();
  void teaserDismissedChanged();
  void isCollapsingReaderChanged();
  void teaserRequestChanged();
  void currentChanged();
  void impressionIDChanged();
  void messageChanged();
  void syncIssueChanged();
  void nextDeliveryChanged();
  void busyChanged();
  void collectionBusyChanged();
  void accountBusyChanged();
  void signInCodeChanged();
  void signInDeclinedChanged();
  void signInURLChanged();
  void accountHistoryChanged();
  void windowOpenChanged();
  void hoveredChanged();
  void openWindowChanged();
  void hideWindowChanged();
  void navigationTabChanged();
  void librarySearchChanged();
  void detailChanged();
  void sessionActiveChanged();
  void screensAwakeChanged();
  void screenLockedChanged();
  void storageHealthyChanged();
  void refreshingChanged();
  void refreshFailuresChanged();
  void lastSyncFailedChanged();
  void lastFocusSyncChanged();
  void scheduleGenerationChanged();
  // Derived values: one of their inputs changed.
  void eligibleChanged();
  void nextDropLabelChanged();
  void hasAnotherIdeaChanged();
  void savedSnapshotsChanged();
  void lovedSnapshotsChanged();

private:
  friend struct ReaderModelTestAccess;

  // What open() builds before the model exists; released whole when a step fails.
  struct Parts;
  ReaderModel(Services services, Parts parts);

  // MARK: Delivery

  void deliverMissedDrop();
  void scheduleCatchUp();
  void deliveryTimerFired();
  void updateTeaser(bool animated);
  void confirmDelivery(const DropSnapshot& drop, Date shownAt, bool automatic,
                       std::optional<ReaderTab> returnPage);
  QCoro::Task<> finishSetup();

  // MARK: Card

  void present(const DropSnapshot& snapshot);
  void confirmReading(const DropSnapshot& snapshot, const std::optional<QString>& impressionID,
                      std::optional<ReaderTab> returnPage);
  void recordReading(const DropSnapshot& snapshot, const QString& impressionID);
  QCoro::Task<> reportReading(DropSnapshot snapshot, QString impressionID, Date at,
                              std::optional<QString> userID);
  void resetDismissal();
  void cardClosed();

  // MARK: Sync and system events

  void scheduleRefresh();
  void startRefresh(bool reportingFailure);
  QCoro::Task<> focusSync();
  void suspended(bool sessionResigned);
  void resumed(bool sessionBecameActive);
  void screenLockChanged(bool locked);
  void environmentChanged();
  void windowFocused();
  void connectSystemEvents();
  // The account watch: runs once per batch of changes to what the signed-in answer and the
  // user depend on.
  void watchAccount();
  void accountAccessChanged();
  // Replaces this computer's preferences by the defaults, keeping its preferred display;
  // false when that failed (message = `failurePrefix` and the error).
  bool resetLocalPreferences(const QString& failurePrefix);

  // MARK: Account actions

  QCoro::Task<> runSignIn(CancellationToken token);
  QCoro::Task<> openSignInPage(QUrl page);
  QCoro::Task<> runSignOut();
  QCoro::Task<> runCollectionChange(DropSnapshot snapshot, bool love, bool target);
  QCoro::Task<> runImport(QList<DropSnapshot> snapshots, std::optional<QString> reader);
  QCoro::Task<> runTogglePause();
  void setCollectionBusy(bool busy);
  void setAccountBusy(bool busy);
  void setSignInCode(std::optional<QString> code);
  void setSignInURL(std::optional<QUrl> url);

  // MARK: Helpers

  // Every error of the layers below carries its reader-facing text as what().
  static QString errorText(const std::exception& error) { return QString::fromUtf8(error.what()); }
  // Awaits `work` and returns what it threw, as the reader reads it; none when it succeeded or
  // was cancelled. Only the model's end cancels its work: the caller checks its lifetime token.
  // The task is a named one: GCC 12 destroyed a task made inside the co_await expression (by a
  // conditional) while it still ran.
  static QCoro::Task<std::optional<QString>> failureOf(QCoro::Task<>& work);
  // The message of an action that ended: none when it succeeded, else `prefix` and the failure.
  static std::optional<QString> failureLine(const QString& prefix, const std::optional<QString>& failure);
  // The account's user; none while no user is known.
  std::optional<QString> readerID() const;
  bool signedIn() const { return m_account->isSignedIn(); }
  bool cardVisible() const;
  bool teaserVisible() const;
  bool cardIsKey() const;
  bool screenReaderRuns() const;
  bool frontApplicationExists() const;
  bool frontIsFullScreen() const;
  // Visible, on the active space and not covered.
  bool isSeen(PanelController& controller) const;
  void callOpenWindow(ReaderTab tab);
  void callHideWindow();
  // Cancels the wait in `source`, gives it a fresh token, and runs `then` on the model
  // `seconds` later unless that token is cancelled or the model is gone.
  void arm(CancellationSource& source, double seconds, std::function<void(ReaderModel&)> then);
  void armMidnightRefresh();

  // Re-evaluates the derived values and signals those that changed.
  void refreshEligibility();
  void refreshNextDropLabel();
  void invalidateAnotherIdea();

  // MARK: Setters: each signals only a real change.

  template <typename T, typename Signal> void update(T& field, T value, Signal changed);
  void setTeaser(std::optional<DropSnapshot> teaser);
  void setRenderedTeaser(std::optional<DropSnapshot> teaser);
  void setTeaserDismissed(bool dismissed);
  void setIsCollapsingReader(bool collapsing);
  void setTeaserRequest(PresentationRequest request);
  void setCurrent(std::optional<DropSnapshot> current);
  void setImpressionID(std::optional<QString> id);
  void setMessage(std::optional<QString> message);
  void setNextDelivery(std::optional<Date> next);
  void setBusy(bool busy);
  void setAccountHistory(QList<DropSnapshot> history);
  void setDetail(std::optional<DropSnapshot> detail);
  void setStorageHealthy(bool healthy);
  // The delivery gates that the system events move.
  void setSessionActive(bool active);
  void setScreensAwake(bool awake);
  void setScreenLocked(bool locked);
  void setScheduleGeneration(qint64 generation);
  void setSyncIssue(std::optional<QString> issue);
  void setRefreshing(bool refreshing);
  void setRefreshFailures(int failures);
  void setLastFocusSync(Date at);

  // Fixed at construction.
  NowSource m_now;
  std::function<Calendar()> m_calendar;
  DelayScheduler& m_scheduler;
  RandomSource m_random;
  const ScreenSource& m_screens;
  DesktopProbes m_desktop;
  PanelContentFactories m_factories;
  UrlOpener& m_urlOpener;
  QString m_executablePath;
  QString m_installPrefix;
  ApplicationDefaults m_defaults;
  DropSound m_sound;
  std::unique_ptr<SoundPlayer> m_chime;

  // Built by open(), in this order; released in reverse.
  std::unique_ptr<LoginItemController> m_loginItem;
  std::unique_ptr<PanelController> m_panel;
  std::unique_ptr<PanelController> m_teaserPanel;
  BuildConfiguration m_configuration;
  std::unique_ptr<UpdateController> m_updater;
  std::unique_ptr<PreferencesStore> m_preferences;
  std::unique_ptr<LocalStore> m_store;
  std::unique_ptr<ContentRepository> m_repository;
  std::unique_ptr<APITransport> m_transport;
  std::unique_ptr<AccountController> m_account;

  // Observable state.
  std::optional<DropSnapshot> m_teaser;
  std::optional<DropSnapshot> m_renderedTeaser;
  bool m_teaserDismissed = false;
  bool m_isCollapsingReader = false;
  PresentationRequest m_teaserRequest = PresentationRequest::automaticProbe;
  std::optional<DropSnapshot> m_current;
  std::optional<QString> m_impressionID;
  std::optional<QString> m_message;
  std::optional<QString> m_syncIssue;
  std::optional<Date> m_nextDelivery;
  bool m_busy = false;
  bool m_collectionBusy = false;
  bool m_accountBusy = false;
  std::optional<QString> m_signInCode;
  int m_signInDeclined = 0;
  std::optional<QUrl> m_signInURL;
  QList<DropSnapshot> m_accountHistory;
  bool m_windowOpen = false;
  bool m_hovered = false;
  OpenWindow m_openWindow;
  std::function<void()> m_hideWindow;
  ReaderTab m_navigationTab = ReaderTab::welcome;
  QString m_librarySearch;
  std::optional<DropSnapshot> m_detail;
  bool m_sessionActive = true;
  bool m_screensAwake = true;
  bool m_screenLocked = false;
  bool m_storageHealthy = true;
  bool m_refreshing = false;
  int m_refreshFailures = 0;
  Date m_lastFocusSync = Date::distantPast();
  qint64 m_scheduleGeneration = 0;

  // The derived values as last signalled.
  bool m_eligible = false;
  std::optional<QString> m_lastNextDropLabel;
  mutable std::optional<bool> m_hasAnotherIdea;

  // The pending waits. Private: no view reads them.
  CancellationSource m_scheduleTimer;
  // The delivery wait: the planned instant it was armed for (none once it fired or was
  // dropped), and when it fires on the scheduler's clock.
  std::optional<Date> m_timerTarget;
  double m_timerDeadline = 0;
  // How far the armed wait may be off the plan before it is armed again (seconds).
  static constexpr double timerSlack = 0.5;
  CancellationSource m_catchUp;
  CancellationSource m_deliveryConfirmation;
  CancellationSource m_readingConfirmation;
  CancellationSource m_dismissal;
  CancellationSource m_midnight;
  // The background sync and when it fires on the scheduler's clock.
  CancellationSource m_refreshTimer;
  std::optional<double> m_refreshDeadline;
  // The running sign-in, abandoned by cancelling it.
  std::optional<CancellationSource> m_signInTask;
  // The account watch: a run is queued, and the signed-in answer at the previous run.
  bool m_accountWatchQueued = false;
  bool m_watchedSignedIn = false;
  // Reading-activity reports, the setup task and background syncs: cancelled with the model.
  CancellationSource m_lifetime;
};

} // namespace brindlewick
