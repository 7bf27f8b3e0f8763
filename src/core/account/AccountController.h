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
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <QCoroTask>

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace brindlewick {

class ContentRepository;

// The one holder of the reader's account on this computer: whether the reader is signed in,
// the session credential (mirrored from the keyring), and the account cache that keeps saved
// ideas readable offline and restores the session after a restart.
//
// Account state is stored before it is shown: a new cache is written to the local store
// first and published only once the write succeeded, so nothing is shown that could not be
// stored. Nothing is ever deleted from the keyring or the store on a failure (but the credential of
// a failed sign-in that the keyring stores after all, once it answers again).
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

  // The account as a start reads it before the controller exists: the keyring item and, for a
  // usable credential, its cache record, decoded and checked on a worker thread so that the
  // caller can load something else meanwhile (the content release).
  struct StoredAccount {
    std::optional<QByteArray> credential;
    // Invalid when the credential is missing or unusable; otherwise the record of its session,
    // none when there is none, or the error that makes it unusable.
    std::shared_future<std::optional<Cache>> cache;
  };
  // Reads the credential and starts reading its record from `store`, which must outlive the
  // reading (the constructor waits for it). Throws AccountError::storage when the keyring
  // cannot be read.
  static QCoro::Task<StoredAccount> readStored(SecureStorage& storage, LocalStore& store,
                                               std::optional<QUrl> baseURL);

  // `storedCredential` is the keyring item under credentialKey() as read just before. Throws
  // AccountError::storage for a credential over 32768 bytes, one that does not decode, or one
  // whose token or user id breaks its rules; the keyring is left as it is. A cache record that
  // is missing starts the controller with the credential alone; one that cannot be read, is
  // too large, breaks the cache rules or belongs to another session does too, with `message`
  // set. The record stays in the store either way.
  AccountController(Services services, std::optional<QByteArray> storedCredential, QObject* parent = nullptr);
  // The same start with what readStored() read; waits for the record's reading to end.
  AccountController(Services services, StoredAccount stored, QObject* parent = nullptr);
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

  // MARK: Browser sign-in
  //
  // The reader approves this computer in the browser (the device authorization grant). The
  // caller begins once, shows the code, opens the verification address, then polls: at once,
  // and again each time `pendingDeviceCode->interval` seconds have passed, until a poll
  // answers true or throws. The controller itself never waits between polls.

  // Starts a grant, abandoning any earlier one. Refused with storage while storage is
  // unhealthy and with busy while an account operation runs (nothing changes then). Throws
  // AccountError (notSignedIn for a 401, http for any other status than 200, invalidResponse
  // for a reply out of bounds, unsafeURL for a verification address off the service's origin,
  // superseded when a newer sign-in began meanwhile), ServiceError, ConfigurationError,
  // JsonDecodingError for a reply that does not decode, and CancelledError. On any failure
  // but superseded the grant is abandoned and `isSigningIn` is false again.
  QCoro::Task<ReaderDeviceCode> beginSignIn(CancellationToken cancellation = {});
  // One poll of the grant. True once the reader is signed in (the credential is in the keyring,
  // the account cache stored and published, the grant gone); false while the service has not
  // decided, or before the grant's next poll time (nothing is sent then). Throws busy while a
  // poll or an account operation runs; deviceExpired without a grant, once it has expired or
  // when the clock is set back before it began (abandoned then); deviceDenied when the
  // reader declined (abandoned); superseded when the sign-in was abandoned or the account
  // changed meanwhile; http for an unknown answer; and what the account fetch and the
  // keyring throw. Those last failures keep the grant, and a token already issued with it:
  // the next poll fetches the account again without asking for another.
  // `cancelSignIn()` cancels the poll's requests; so does cancelling `cancellation`.
  QCoro::Task<bool> pollSignIn(CancellationToken cancellation = {});
  // Abandons the grant: its poll is cancelled and its late results are dropped as superseded.
  void cancelSignIn();
  // After a failed credential write the keyring is asked what it holds this many seconds
  // later, then again after twice the pause each time, up to the longest.
  static constexpr double firstCredentialCheck = 5;
  static constexpr double longestCredentialCheck = 60;

  // MARK: Session

  // Fetches the account again with the stored credential and, if no sign-out or sign-in
  // intervened, stores and publishes it and trusts the clock again. An account operation:
  // refused with storage or busy (also while a sign-in poll runs). Throws notSignedIn without
  // a credential, superseded after a sign-out or sign-in meanwhile, and what the fetch and the
  // store throw; nothing new is published then (the fetch itself may have renewed the
  // summary, or revoked access after a 401).
  QCoro::Task<> refresh(CancellationToken cancellation = {});
  // Signs this computer out: removes the credential from the keyring (in turn with every other
  // keyring change of this controller), clears all account state, and only then asks the
  // service to end the session. A failed removal throws the keyring's error and changes
  // nothing; a revocation that is not confirmed throws revocationUnconfirmed, and the computer
  // stays signed out. The account cache record stays in the store.
  QCoro::Task<> signOut(CancellationToken cancellation = {});

  // MARK: Content

  // Brings the installed release up to date with the one the service publishes: the manifest
  // (with the stored tag while a release is installed), then, only for a manifest unlike the
  // installed one, the release it names, which `repository` checks and installs with the
  // manifest's tag in one commit. A release the service no longer publishes (404, 410) starts
  // over once from the manifest, without the tag. An account operation: refused with storage
  // or busy. Throws notSignedIn (a 401 revokes access first), superseded after a sign-out or
  // sign-in meanwhile, http for any other unexpected status, the content contract's errors,
  // ServiceError, ConfigurationError and the store's errors; the installed release, manifest
  // and tag are kept then. `repository` must outlive the call.
  QCoro::Task<> syncContent(ContentRepository& repository, CancellationToken cancellation = {});

  // MARK: Saves and loves
  //
  // One change of one flag of one drop, shown only once the service confirmed it: the reply
  // must be the account's item for that drop at the revision sent, with the flag as asked;
  // it is stored, then published. An account operation (storage, busy). The drop id must be a
  // standard UUID (invalidResponse, nothing sent). A drop the account holds is changed at the
  // account's revision, not the given snapshot's. Throws notSignedIn (after revoking access
  // for a 401), superseded after a sign-out or sign-in meanwhile, http for any status but 200,
  // invalidResponse for a reply that does not answer the request or without a cache, and what
  // the gate, the decoding and the store throw; nothing changes then.
  QCoro::Task<> setSaved(bool saved, DropSnapshot snapshot, CancellationToken cancellation = {});
  QCoro::Task<> setLoved(bool loved, DropSnapshot snapshot, CancellationToken cancellation = {});
  // Saves to the account, one change after another, the snapshots saved on this computer before
  // it had an account; those the account already holds as saved are skipped. The first
  // failure ends the import: the changes before it stay.
  QCoro::Task<> importLegacySaved(QList<SavedSnapshot> snapshots, CancellationToken cancellation = {});

  // MARK: Synced preferences

  // Stores the preferences in the account against the version held; this computer's display is
  // never sent. Preferences without analytics consent stop reading-activity uploads at once,
  // even when the save is then refused, until a save or refresh succeeds. An account
  // operation. Throws preferenceConflict when another computer saved first (409), http for
  // any other status but 200, invalidResponse for a reply that does not move the version
  // forward, has no preferences or finds no cache, and what the gate, the validation, the
  // decoding and the store throw; nothing is stored or published then.
  QCoro::Task<> savePreferences(ReaderPreferences preferences, CancellationToken cancellation = {});

  // MARK: Reading activity

  // Reports one reading of a drop, dated `at`, under the caller's event id (a repeat carries the
  // same id) and returns once the service acknowledged it. Only while the account's synced
  // preferences carry consent and sharing is not suppressed (consentRequired, before and
  // after the upload) and the reader is signed in; `at` within the last 30 days, the id not
  // uploading already and fewer than 20 uploads running (invalidResponse otherwise; nothing
  // is sent). Not an account operation. cancelActivities() stops the upload, and so does
  // cancelling `cancellation`. Nothing is kept for a later attempt.
  QCoro::Task<> recordRead(DropSnapshot snapshot, QUuid id, Date at, CancellationToken cancellation = {});
  // The same for an id as text: one that is not a standard UUID throws invalidResponse.
  QCoro::Task<> recordRead(DropSnapshot snapshot, QString id, Date at, CancellationToken cancellation = {});

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

  using Page = AccountItemsPage;
  using Token = TokenReply;
  using Failure = TokenFailure;

  // The device grant between polls.
  struct Pending {
    // The service's device code: sent only in token requests, never shown.
    QString secret;
    // The earliest moment of the next token request.
    Date nextPoll;
    Date startedAt;
    // The token once the service issued it, kept until the account is fetched with it.
    std::optional<QString> accessToken;
  };

  // One request to the service as the account operations make it. (Not an aggregate on
  // purpose: GCC 12 destroys an aggregate temporary passed to a coroutine inside a co_await
  // expression twice.)
  struct AccountRequest {
    AccountRequest(QString method, QString path, std::optional<QByteArray> body, qint64 limit,
                   std::optional<QString> etag = std::nullopt)
        : method(std::move(method)), path(std::move(path)), body(std::move(body)), limit(limit),
          etag(std::move(etag)) {}

    QString method;
    QString path;
    std::optional<QByteArray> body;
    // The largest reply body accepted, in bytes.
    qint64 limit;
    std::optional<QString> etag;
  };

  // Whom a request speaks for.
  struct Bearer {
    // The held session: the reader must be signed in with a credential when the request
    // leaves, the request carries that credential's token, and a 401 revokes access.
    static Bearer heldSession() { return Bearer(std::nullopt, true); }
    // A given token: a 401 revokes the held session (a refresh, whose token is the held one)
    // or only fails the request (a sign-in's new token).
    static Bearer of(QString token, bool revokesOnRejection) {
      return Bearer(std::move(token), revokesOnRejection);
    }

    // None for the held session.
    std::optional<QString> token;
    bool revokesOnRejection;

  private:
    Bearer(std::optional<QString> token, bool revokesOnRejection)
        : token(std::move(token)), revokesOnRejection(revokesOnRejection) {}
  };

  // MARK: The account operations' building blocks

  // The request gate shared by every account request, to be awaited by the account
  // operations. Before the request: cancellation, `epoch` against the generation (superseded),
  // the bearer (notSignedIn), the service address rule, cancellation again. After the reply:
  // cancellation, the body within the request's limit (ServiceError::responseTooLarge),
  // cancellation, the generation again, and a 401 turned into notSignedIn (after
  // revokeAccess() when the bearer says so; its error wins). Any other status is returned for
  // the caller to judge. Transport errors pass unchanged; the controller going away while the
  // request is in flight throws CancelledError.
  QCoro::Task<APIResponse> sendAccountRequest(AccountRequest request, Bearer bearer, quint64 epoch,
                                              CancellationToken cancellation);
  // Below the gate, for requests outside an account session (the grant, the revocation): the
  // service address rule, cancellation, the send, cancellation, the body within the limit.
  QCoro::Task<APIResponse> sendToService(AccountRequest request, std::optional<QString> token,
                                         CancellationToken cancellation);
  // Throws ConfigurationError without a service address or for one that breaks the rule.
  void checkServiceAddress() const;

  // Reads the whole account of `token` and returns it checked, publishing nothing, with one
  // exception: for a known reader (`expectedID`, a refresh) a confirmed summary renews the
  // held cache at once. A 401 revokes the held session only for a known reader. Every reply
  // is dropped as superseded once the generation differs from `epoch`.
  QCoro::Task<Cache> fetchAccount(QString token, std::optional<QString> expectedID, quint64 epoch,
                                  CancellationToken cancellation);
  // The pages of the account's items, bounded in count, bytes, items and cursors.
  QCoro::Task<QList<AccountItem>> fetchItems(Bearer bearer, quint64 epoch, CancellationToken cancellation);

  // One poll of the grant (see pollSignIn()).
  QCoro::Task<bool> pollOnce(CancellationToken cancellation);
  // Stores the credential of a fetched account, in turn with the other keyring changes, and
  // publishes the signed-in state with no suspension after the write.
  QCoro::Task<> completeSignIn(Cache cache, QString token, quint64 epoch, quint64 signInEpoch);
  // After the credential write of a sign-in failed: once the keyring answers again (the
  // failed request's late answer, or a read that succeeds, asked again and again with a growing
  // pause), a credential carrying `token` that the keyring holds although this controller does
  // not is removed, so that the keyring agrees with the failure the reader was told of. The
  // check ends with the controller; the local store names the credential (markUnconfirmed())
  // until the check is done, so that a start that finds it in the keyring (the keyring carried
  // the write out after this process ended) does not sign the reader in with it but takes it
  // back out. The record is best effort: a store that cannot be written leaves this process's
  // check alone.
  void takeBackCredential(const KeychainError& error, const QString& token);
  QCoro::Task<> removeUnconfirmedCredential(QString token, double wait);
  // What the keyring holds for the credential, read in turn with the other keyring changes
  // (the turn is held until the look is destroyed): after `wait` seconds, then again after a
  // growing pause (firstCredentialCheck doubling up to longestCredentialCheck) for as long as
  // the keyring fails. Nothing when the controller goes or its checks are cancelled.
  struct KeyringLook {
    TurnQueue::Turn turn;
    std::optional<QByteArray> held;
  };
  QCoro::Task<std::optional<KeyringLook>> lookAtKeyring(double wait);
  // Whether `held` is a credential carrying `token`.
  static bool holdsToken(const std::optional<QByteArray>& held, const QString& token);
  void markUnconfirmed(const QString& token);
  void clearUnconfirmed(const QString& token);
  bool isUnconfirmed(const QString& token) const;
  // The records of markUnconfirmed(), and the one an earlier version kept under the bare key;
  // one whose payload does not read names no session.
  struct UnconfirmedRecord {
    QString key;
    QString sessionID;
  };
  std::vector<UnconfirmedRecord> unconfirmedRecords() const;
  // At start-up, once the keyring has answered with `held` (the stored credential's token, if
  // any): every earlier write has been carried out or never will be, so the records of
  // credentials it does not hold are done with.
  void clearUnconfirmedOtherThan(const std::optional<QString>& held);
  // An address the service sent for the browser: https as written, on the service's host and
  // port, without user information or fragment. Throws AccountError::unsafeURL.
  QUrl validateAuthURL(const QString& address) const;

  // One change of one flag (see setSaved()).
  QCoro::Task<> mutate(DropSnapshot snapshot, QString flag, bool value, CancellationToken cancellation);

  // Every operation that changes account data or the content library begins here: refused
  // with storage while storage is unhealthy and with busy while another operation or a
  // sign-in poll runs; otherwise marks the controller busy. Refusals change nothing.
  void startOperation();
  // An account operation for as long as this local of its coroutine lives: begun by
  // startOperation() (a refusal throws), ended however the coroutine ends, unless a sign-out
  // or sign-in meanwhile owns the busy flag or the controller has gone.
  class Operation {
  public:
    explicit Operation(AccountController& owner)
        : controller(&owner), epoch((owner.startOperation(), owner.m_generation)) {}
    ~Operation() {
      if (controller && controller->m_generation == epoch)
        controller->setBusy(false);
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Null once the controller has gone: the operation checks it after every suspension.
    const QPointer<AccountController> controller;
    // The generation the operation began in.
    const quint64 epoch;
  };

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
  void setSigningIn(bool signingIn);
  void setPendingDeviceCode(std::optional<ReaderDeviceCode> code);
  void setMessage(std::optional<QString> message);
  void setStorageHealthy(bool healthy);
  // A keyring request that timed out may still be carried out: these bring the account in line
  // with the keyring when it is. A revoked credential written late makes storage sound again;
  // a credential removed late completes the sign-out that gave up on it, unless the session
  // changed meanwhile.
  void whenLateWriteLands(const KeychainError& error, const QString& token);
  // A credential removal the keyring answered with an error may land too: once the keyring
  // answers again and holds no credential, the sign-out completes.
  void whenLateRemovalLands(const KeychainError& error);
  QCoro::Task<> confirmRemoval(quint64 epoch, std::optional<QString> token, double wait);
  // Clears the account of a sign-out whose removal landed late, unless the session changed.
  void completeSignOut(quint64 epoch, const std::optional<QString>& token);
  // The account of a sign-in whose credential is in the keyring, in memory and on show.
  void publishSignIn(Cache cache, Credential credential);
  void setCredential(std::optional<Credential> credential);
  void bumpAccessRevision();
  void signalAccessInputs();

  // Which published fields of the account an assignment changed.
  struct AccountChanges {
    bool user = false;
    bool metrics = false;
    bool items = false;
    bool preferences = false;
    bool version = false;
  };
  // Assigns the published fields from `cache` (emptied without one) and reports which
  // changed; signalAccount() then tells observers, `cache` always.
  AccountChanges assignAccount();
  void signalAccount(AccountChanges changes);
  // The clock check after the service confirmed the account: trusted again from now on.
  void resetClockCheck();
  // Sign-out's clearing of everything the controller shows about the account.
  void clearAccount();

  // The credential of a keyring item; throws AccountError::storage when it is unusable.
  static Credential readCredential(const QByteArray& stored);
  // The stored record of `credential`'s session, decoded and checked; none when there is no
  // record. Throws for a record that cannot be used. Pure: any thread may run it.
  static std::optional<Cache> decodeCache(const std::optional<QByteArray>& bytes,
                                          const Credential& credential);
  void loadCache(std::shared_future<std::optional<Cache>> reading);
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
  // Browser sign-ins: cancelSignIn() bumps it, and a result that comes back to another
  // attempt than it left from is dropped.
  quint64 m_signInGeneration = 0;
  std::optional<Pending> m_pending;
  // A sign-in poll is between its checks and its end.
  bool m_polling = false;
  // The running pollSignIn(): linked to its caller's token, cancelled by cancelSignIn().
  std::optional<CancellationSource> m_pollTask;
  // Reading-activity uploads are switched off until the account confirms consent again.
  bool m_activitySuppressed = false;
  // A reading-activity upload in flight: cancelling it stops the upload. The serial tells an
  // upload's own entry from a later one under the same id.
  struct Activity {
    CancellationSource upload;
    quint64 serial;
  };
  // Reading-activity uploads in flight, by event id; at most maximumActivities.
  std::map<QUuid, Activity> m_activities;
  quint64 m_activitySerial = 0;
  static constexpr std::size_t maximumActivities = 20;

  // The access rule's record of the clock: the latest reading seen, and whether one earlier
  // than that was ever seen.
  mutable std::optional<Date> m_latestObservedAt;
  mutable bool m_clockUntrusted = false;

  // The armed session-expiry wait.
  CancellationSource m_expiry;
  // Keyring writes and removals, one at a time in call order.
  TurnQueue m_keychain;
  // The checks after failed credential writes; cancelled when the controller goes.
  CancellationSource m_credentialChecks;

  // The text of each item last stored, by drop id: a record whose items mostly did not change
  // (a refresh, one saved drop) is stored without encoding them all again.
  struct StoredItem {
    AccountItem item;
    QByteArray text;
  };
  QHash<QString, StoredItem> m_storedItems;
  // The items of the last fetch whose text came in the stored form, until the next persist:
  // a first fetch stores them as received.
  QHash<QString, StoredItem> m_receivedItems;

  // `saved`, `loved` and the flags by drop id, derived from `items` on first use.
  mutable bool m_collectionsStale = true;
  mutable QList<SavedSnapshot> m_saved;
  mutable QList<SavedSnapshot> m_loved;
  mutable QHash<QString, quint8> m_flags;
};

} // namespace brindlewick
