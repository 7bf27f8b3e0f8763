#pragma once

#include "account/AccountContracts.h"
#include "content/ContentSnapshots.h"
#include "content/LocalStore.h"
#include "foundation/Cancellation.h"
#include "foundation/Date.h"
#include "foundation/DelayScheduler.h"
#include "foundation/TurnQueue.h"
#include "service/APITransport.h"
#include "service/SecureStorage.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <map>
#include <memory>
#include <optional>

namespace brindlewick {

// The one holder of the reader's account on this computer: whether the reader is signed in,
// the session credential (mirrored from the keyring), and the account cache that keeps saved
// ideas readable offline and restores the session after a restart.
//
// Account state is stored before it is shown: a new cache is written to the local store
// first and published only once the write succeeded, so nothing is shown that could not be
// stored. Nothing is ever deleted from the keyring or the store on a failure.
//
// Confined to the main thread. Each observable field has one change signal, emitted only when
// the value changes; `cache` and `accessRevision` always signal. Computed values signal "may
// have changed" whenever one of their inputs changes. The token never reaches a log, an error
// text, `message`, a store key or a URL.
class AccountController final : public QObject {
  Q_OBJECT

public:
  using Me = AccountSummary;
  using Cache = AccountCache;
  using Credential = SessionCredential;

  // What the controller works with; every reference must outlive it.
  struct Services {
    APITransport& transport;
    SecureStorage& storage;
    LocalStore& store;
    // None for a build without a reading service.
    std::optional<QUrl> baseURL;
    // The only clock the controller's decisions read.
    NowSource now;
    // The running version (BuildConfiguration::version()); content sync checks releases with it.
    QString appVersion;
    // Runs the wait until the session expires: the boot clock in production, so that the
    // wait keeps counting while the computer sleeps.
    DelayScheduler& scheduler;
  };

  // Reads the credential from the keyring, then constructs the controller with it. Throws
  // AccountError::storage when the keyring cannot be read, and whatever the constructor throws.
  static QCoro::Task<std::unique_ptr<AccountController>> open(Services services);

  // `storedCredential` is the keyring item under credentialKey() as read just before. Throws
  // AccountError::storage for a credential over 32768 bytes, one that does not decode, or one
  // whose token or user id breaks its rules; the keyring is left as it is. A cache record that
  // is missing starts the controller with the credential alone; one that cannot be read, is
  // too large, breaks the cache rules or belongs to another session does too, with `message`
  // set. The record stays in the store either way.
  AccountController(Services services, std::optional<QByteArray> storedCredential, QObject* parent = nullptr);
  // Cancels the session-expiry wait.
  ~AccountController() override;

  // MARK: Observable state

  const std::optional<ReaderAccountUser>& user() const { return m_user; }
  const ReaderAccountMetrics& metrics() const { return m_metrics; }
  // The account's saved and loved items, in the cache's order.
  const QList<AccountItem>& items() const { return m_items; }
  const std::optional<ReaderPreferences>& preferences() const { return m_preferences; }
  qint64 preferenceVersion() const { return m_preferenceVersion; }
  // An account operation runs.
  bool isBusy() const { return m_isBusy; }
  // A browser sign-in waits for approval.
  bool isSigningIn() const { return m_isSigningIn; }
  // The last account problem to show to the reader.
  const std::optional<QString>& message() const { return m_message; }
  const std::optional<ReaderDeviceCode>& pendingDeviceCode() const { return m_pendingDeviceCode; }
  // The account cache currently shown.
  const std::optional<Cache>& cache() const { return m_cache; }
  // False for the rest of the process once a keyring write of this controller failed.
  bool storageHealthy() const { return m_storageHealthy; }
  // Bumped to make observers re-evaluate access (at the session's end, on recheckAccess()).
  qint64 accessRevision() const { return m_accessRevision; }

  // MARK: Computed state

  // A credential and a cache, neither revoked, healthy storage, a clock at or after the
  // cache's confirmation and before the session's end, and a clock never seen going
  // backwards. Once a reading earlier than an earlier one is seen, the reader counts as
  // signed out until the account is confirmed with the service again. Reading this records
  // the clock reading and notifies nobody.
  bool isSignedIn() const;
  // A credential is held, revoked or not.
  bool hasStoredSession() const { return m_credential.has_value(); }
  std::optional<Date> sessionExpiresAt() const;
  // The session's end while a credential and a cache are held and it lies ahead.
  std::optional<Date> nextAccessCheckAt() const;
  std::optional<QUrl> verificationURL() const;
  // The saved (loved) items that carry their date, newest first; equal dates keep the items'
  // order. Built on the first read after `items` changed.
  const QList<SavedSnapshot>& saved() const;
  const QList<SavedSnapshot>& loved() const;
  // Whether an item of that drop id has the flag set; a lookup, no scan.
  bool isSaved(const QString& loreId) const;
  bool isLoved(const QString& loreId) const;

  // MARK: Configuration

  const std::optional<QUrl>& baseURL() const { return m_baseURL; }
  const QString& appVersion() const { return m_appVersion; }
  // The keyring account of this service address's credential.
  QString credentialKey() const { return AccountKeys::credentialKey(m_baseURL); }
  // The store key of one session's cache at this service address.
  QString cacheKey(const QString& userID, const QString& sessionID) const {
    return AccountKeys::cacheKey(m_baseURL, userID, sessionID);
  }

  // Bumps `accessRevision` and re-arms the session-expiry wait: for wake, clock and time-zone
  // changes, and the application becoming active.
  void recheckAccess();

Q_SIGNALS:
  void userChanged();
  void metricsChanged();
  void itemsChanged();
  void preferencesChanged();
  void preferenceVersionChanged();
  void isBusyChanged();
  void isSigningInChanged();
  void messageChanged();
  void pendingDeviceCodeChanged();
  void cacheChanged();
  void storageHealthyChanged();
  void accessRevisionChanged();
  // Computed values: their inputs changed.
  void isSignedInChanged();
  void hasStoredSessionChanged();
  void sessionExpiresAtChanged();
  void nextAccessCheckAtChanged();
  void verificationURLChanged();
  void savedChanged();
  void lovedChanged();

private:
  friend struct AccountControllerTestAccess;

  // MARK: The account operations' building blocks

  // Every operation that changes account data or the content library begins here: refused
  // with storage while storage is unhealthy and with busy while another operation or a
  // sign-in poll runs; otherwise marks the controller busy. Refusals change nothing.
  void startOperation();
  // Ends an operation begun at `epoch` (the generation it captured): a sign-out or sign-in
  // meanwhile owns the flag.
  void endOperation(quint64 epoch);

  // After the service rejected the session: publishes the cache as revoked at once, stops
  // reading-activity uploads, marks the credential revoked and writes it to the keyring when
  // its turn in the keychain queue comes (only if that credential is still the one held), then
  // stores the revoked cache. A failed keyring write makes storage unhealthy for the rest of
  // the process and is thrown after the revoked cache was stored (a store failure wins).
  // Without a cache it does nothing.
  QCoro::Task<> revokeAccess();

  // Checks a cache record and writes it under its key. Throws the cache rules' error,
  // AccountError::invalidResponse for an encoding over 20 MiB, and the store's error; nothing
  // is written then and nothing is published.
  void persist(const Cache& cache);
  // Publishes a cache record through the observable fields, then signals: `cache` always, the
  // other fields only when they changed. Never writes.
  void apply(Cache cache);

  // Cancels every reading-activity upload and forgets them.
  void cancelActivities();
  // Re-arms (or cancels) the wait that bumps `accessRevision` when the session ends.
  void scheduleExpiryCheck();

  // MARK: Setters: each signals only a real change.

  void setBusy(bool busy);
  void setMessage(std::optional<QString> message);
  void setStorageHealthy(bool healthy);
  void setCredential(std::optional<Credential> credential);
  void bumpAccessRevision();
  void signalAccessInputs();

  void loadCache();
  void rebuildCollections() const;

  APITransport& m_transport;
  SecureStorage& m_storage;
  LocalStore& m_store;
  const std::optional<QUrl> m_baseURL;
  const NowSource m_now;
  const QString m_appVersion;
  DelayScheduler& m_scheduler;

  std::optional<ReaderAccountUser> m_user;
  ReaderAccountMetrics m_metrics;
  QList<AccountItem> m_items;
  std::optional<ReaderPreferences> m_preferences;
  qint64 m_preferenceVersion = 0;
  bool m_isBusy = false;
  bool m_isSigningIn = false;
  std::optional<QString> m_message;
  std::optional<ReaderDeviceCode> m_pendingDeviceCode;
  std::optional<Credential> m_credential;
  std::optional<Cache> m_cache;
  bool m_storageHealthy = true;
  qint64 m_accessRevision = 0;

  // Account sessions on this controller: a completed sign-in and a sign-out bump it, and a
  // reply that comes back to another generation than it left from is dropped.
  quint64 m_generation = 0;
  // A sign-in poll is between its checks and its end.
  bool m_polling = false;
  // Reading-activity uploads in flight, by event id.
  std::map<QUuid, CancellationSource> m_activities;

  // The access rule's record of the clock: the latest reading seen, and whether one earlier
  // than that was ever seen.
  mutable std::optional<Date> m_latestObservedAt;
  mutable bool m_clockUntrusted = false;

  // The armed session-expiry wait.
  CancellationSource m_expiry;
  // Keyring writes and removals, one at a time in call order.
  TurnQueue m_keychain;

  // `saved`, `loved` and the flags by drop id, derived from `items` on first use.
  mutable bool m_collectionsStale = true;
  mutable QList<SavedSnapshot> m_saved;
  mutable QList<SavedSnapshot> m_loved;
  mutable QHash<QString, quint8> m_flags;
};

} // namespace brindlewick
