// Keeping the account and the content fresh: the sync, its back-off, the account watch, and
// how the desktop's events move delivery and start syncs.

#include "model/ReaderModel.h"

#include "model/ReaderAccountUIError.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <array>

namespace brindlewick {

double ReaderModel::refreshDelay(int failures) {
  // Six hours when all is well; a minute after the first failure, backing off to six hours.
  static constexpr std::array<double, maximumRefreshFailures + 1> delays{21600, 60, 300, 900, 3600, 21600};
  return delays[std::size_t(std::clamp(failures, 0, maximumRefreshFailures))];
}

// MARK: Sync

QCoro::Task<> ReaderModel::refresh(bool reportingFailure) {
  // One sync at a time: a request while one runs is dropped, not queued.
  if (!m_account->hasStoredSession() || m_refreshing)
    co_return;
  const QPointer<ReaderModel> self(this);
  setRefreshing(true);
  std::optional<QString> failure;
  try {
    co_await m_account->refresh(m_lifetime.token());
    if (!self)
      co_return;
    co_await applyAccountPreferences();
    if (!self)
      co_return;
    if (signedIn()) {
      co_await m_account->syncContent(*m_repository, m_lifetime.token());
      if (!self)
        co_return;
    } else {
      // The service ended the session.
      m_panel->dismiss(false);
      m_teaserPanel->dismiss(false);
    }
  } catch (const CancelledError&) {
    // Only the model's end cancels a sync.
    co_return;
  } catch (const std::exception& error) {
    if (!self)
      co_return;
    failure = errorText(error);
  }

  if (failure) {
    setRefreshFailures(std::min(m_refreshFailures + 1, maximumRefreshFailures));
    if (reportingFailure)
      setSyncIssue(syncFailurePrefix + *failure);
  } else {
    setRefreshFailures(0);
    setSyncIssue(std::nullopt);
    setMessage(std::nullopt);
    // The account watch starts a sync when the reader becomes signed in; one that this sync
    // brought back (a clock set back, then trusted again) needs no second one.
    m_watchedSignedIn = signedIn();
  }
  // A drop withdrawn by the new content closes, whatever the sync's outcome.
  if (m_current && m_repository->withdrawals().contains(m_current->id()))
    m_panel->dismiss(false);
  setRefreshing(false);
  reschedule();
  scheduleRefresh();
}

QCoro::Task<> ReaderModel::applyAccountPreferences() {
  if (!signedIn())
    co_return;
  const QPointer<ReaderModel> self(this);
  if (!m_account->preferences()) {
    // A new account starts from the defaults, stored to it first.
    ReaderPreferences defaults;
    co_await m_account->savePreferences(std::move(defaults));
    if (!self)
      co_return;
  }
  const std::optional<ReaderPreferences>& account = m_account->preferences();
  if (!account)
    throw ReaderAccountUIError(ReaderAccountUIError::Case::preferencesUnavailable);
  // Everything follows the account but the display, which belongs to this computer.
  ReaderPreferences adopted = *account;
  adopted.preferredDisplayID = m_preferences->value().preferredDisplayID;
  if (adopted != m_preferences->value())
    m_preferences->save(adopted);
  reschedule();
}

void ReaderModel::startRefresh(bool reportingFailure) {
  refresh(reportingFailure);
}

void ReaderModel::scheduleRefresh() {
  m_refreshTimer.cancel();
  m_refreshDeadline.reset();
  if (!m_account->hasStoredSession())
    return;
  // A precise wait: a coarse timer's slack on six hours would be far past five minutes.
  const double seconds = refreshDelay(m_refreshFailures);
  m_refreshDeadline = m_scheduler.now() + seconds;
  arm(m_refreshTimer, seconds, [](ReaderModel& model) {
    model.m_refreshDeadline.reset();
    model.startRefresh(false);
  });
}

// MARK: System events

void ReaderModel::connectSystemEvents() {
  SystemEvents* events = m_desktop.events;
  if (!events)
    return;
  connect(events, &SystemEvents::didWake, this, [this] { resumed(false); });
  connect(events, &SystemEvents::screensDidWake, this, [this] { resumed(false); });
  connect(events, &SystemEvents::sessionBecameActive, this, [this] { resumed(true); });
  connect(events, &SystemEvents::willSleep, this, [this] { suspended(false); });
  connect(events, &SystemEvents::screensDidSleep, this, [this] { suspended(false); });
  connect(events, &SystemEvents::sessionResignedActive, this, [this] { suspended(true); });
  for (const auto signal : {&SystemEvents::activeSpaceChanged, &SystemEvents::activeApplicationChanged,
                            &SystemEvents::frontFullScreenChanged})
    connect(events, signal, this, &ReaderModel::environmentChanged);
  // The label says "today" and "tomorrow" by the wall clock and the zone.
  for (const auto signal : {&SystemEvents::clockStepped, &SystemEvents::timeZoneChanged})
    connect(events, signal, this, [this] {
      refreshNextDropLabel();
      armMidnightRefresh();
      environmentChanged();
    });
  connect(events, &SystemEvents::screenLocked, this, [this] { screenLockChanged(true); });
  connect(events, &SystemEvents::screenUnlocked, this, [this] { screenLockChanged(false); });
  connect(events, &SystemEvents::windowBecameKey, this, &ReaderModel::windowFocused);
  // Reachability only reports changes; each return to online syncs, however recent the last.
  connect(events, &SystemEvents::networkBecameOnline, this, [this] { startRefresh(false); });
}

void ReaderModel::suspended(bool sessionResigned) {
  if (sessionResigned)
    setSessionActive(false);
  else
    setScreensAwake(false);
  m_panel->dismiss(false);
  reschedule();
}

void ReaderModel::resumed(bool sessionBecameActive) {
  m_account->recheckAccess();
  if (sessionBecameActive)
    setSessionActive(true);
  else
    setScreensAwake(true);
  reschedule();
  scheduleCatchUp();
  startRefresh(false);
}

void ReaderModel::screenLockChanged(bool locked) {
  setScreenLocked(locked);
  if (locked)
    m_panel->dismiss(false);
  reschedule();
  if (!locked)
    scheduleCatchUp();
}

void ReaderModel::environmentChanged() {
  m_account->recheckAccess();
  refreshEligibility();
  reschedule();
  deliverMissedDrop();
}

void ReaderModel::windowFocused() {
  // The events already leave out the panels.
  if (!m_account->hasStoredSession() || m_accountBusy)
    return;
  const Date now = m_now();
  const double elapsed = now.secondsSince(m_lastFocusSync);
  // A clock set back makes the time since the last focus sync negative: that counts as long
  // ago, or focus syncs would stop for as long as the clock went back.
  const bool recent = elapsed >= 0 && elapsed <= focusSyncInterval;
  if (!m_syncIssue && recent)
    return;
  setLastFocusSync(now);
  focusSync();
}

QCoro::Task<> ReaderModel::focusSync() {
  const QPointer<ReaderModel> self(this);
  co_await refresh(false);
  if (!self || !lastSyncFailed())
    co_return;
  // One retry a little later, whose failure the reader sees.
  try {
    co_await delay(m_scheduler, focusRetryDelay, m_lifetime.token());
  } catch (const CancelledError&) {
    co_return;
  }
  if (self)
    co_await refresh(true);
}

// MARK: Account watch

void ReaderModel::watchAccount() {
  m_watchedSignedIn = signedIn();
  const auto changed = [this] {
    if (m_accountWatchQueued)
      return;
    m_accountWatchQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_accountWatchQueued = false;
          accountAccessChanged();
        },
        Qt::QueuedConnection);
  };
  // Everything the signed-in answer and the user are made of.
  for (const auto signal : {&AccountController::accessRevisionChanged, &AccountController::userChanged,
                            &AccountController::cacheChanged, &AccountController::hasStoredSessionChanged,
                            &AccountController::storageHealthyChanged, &AccountController::isSignedInChanged})
    connect(m_account.get(), signal, this, changed);
}

void ReaderModel::accountAccessChanged() {
  const bool signedInNow = signedIn();
  if (!signedInNow) {
    m_panel->dismiss(false);
    m_teaserPanel->dismiss(false);
    m_refreshTimer.cancel();
    m_refreshDeadline.reset();
  }
  if (!m_account->user()) {
    setAccountHistory({});
    setDetail(std::nullopt);
    resetLocalPreferences(settingsResetFailurePrefix);
  }
  if (signedInNow && !m_watchedSignedIn)
    startRefresh(false);
  reschedule();
  m_watchedSignedIn = signedInNow;
}

bool ReaderModel::resetLocalPreferences(const QString& failurePrefix) {
  ReaderPreferences reset;
  reset.preferredDisplayID = m_preferences->value().preferredDisplayID;
  // While signed out the watch runs at every application switch: the file is written only
  // when it would change.
  if (reset == m_preferences->value())
    return true;
  try {
    m_preferences->save(reset);
    return true;
  } catch (const std::exception& error) {
    setMessage(failurePrefix + errorText(error));
    return false;
  }
}

} // namespace brindlewick
