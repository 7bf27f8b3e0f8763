#include "account/AccountController.h"

#include "foundation/Json.h"

#include <QPointer>

#include <algorithm>
#include <future>
#include <thread>
#include <utility>
#include <vector>

namespace brindlewick {

namespace {

// The shortest wait for the session's end: a session ending within a few milliseconds still
// gets one turn of the event loop before observers re-read it.
constexpr double shortestExpiryWait = 0.05;

enum CollectionFlag : quint8 { savedFlag = 1, lovedFlag = 2 };

// Stores the value and reports whether it differs from the old one.
template <typename T> bool assign(T& field, T value) {
  if (field == value)
    return false;
  field = std::move(value);
  return true;
}

// Sleeps until the session ends, then lets the controller re-evaluate access. Holds the
// controller weakly: the wait never keeps it alive, and the controller cancels it when it goes.
QCoro::Task<> waitForExpiry(QPointer<AccountController> controller, DelayScheduler& scheduler, double seconds,
                            CancellationToken cancellation) {
  try {
    co_await delay(scheduler, seconds, cancellation);
  } catch (const CancelledError&) {
    co_return;
  }
  if (controller)
    controller->recheckAccess();
}

} // namespace

QCoro::Task<std::unique_ptr<AccountController>> AccountController::open(Services services) {
  std::optional<QByteArray> stored;
  try {
    stored = co_await services.storage.read(AccountKeys::credentialKey(services.baseURL));
  } catch (const std::exception&) {
    // The keyring's own error says nothing the reader can act on; what matters is that
    // nothing was discarded.
    throw AccountError::storage();
  }
  co_return std::make_unique<AccountController>(std::move(services), std::move(stored));
}

QCoro::Task<AccountController::StoredAccount>
AccountController::readStored(SecureStorage& storage, LocalStore& store, std::optional<QUrl> baseURL) {
  StoredAccount stored;
  try {
    stored.credential = co_await storage.read(AccountKeys::credentialKey(baseURL));
  } catch (const std::exception&) {
    throw AccountError::storage();
  }
  if (!stored.credential)
    co_return stored;
  Credential credential;
  try {
    credential = readCredential(*stored.credential);
  } catch (const std::exception&) {
    co_return stored; // the constructor refuses it
  }
  // The store is read here, on its own thread; only the decoding moves to the worker.
  std::optional<QByteArray> bytes;
  try {
    bytes = store.data(
        AccountKeys::cacheKey(baseURL, credential.userID, AccountCoding::digest(credential.token)));
  } catch (const std::exception&) {
    std::promise<std::optional<Cache>> failed;
    failed.set_exception(std::current_exception());
    stored.cache = failed.get_future().share();
    co_return stored;
  }
  stored.cache =
      std::async(std::launch::async, [bytes = std::move(bytes), credential = std::move(credential)] {
        return decodeCache(bytes, credential);
      }).share();
  co_return stored;
}

AccountController::AccountController(Services services, std::optional<QByteArray> storedCredential,
                                     QObject* parent)
    : AccountController(std::move(services), StoredAccount{std::move(storedCredential), {}}, parent) {}

AccountController::AccountController(Services services, StoredAccount stored, QObject* parent)
    : QObject(parent), m_transport(services.transport), m_storage(services.storage), m_store(services.store),
      m_baseURL(std::move(services.baseURL)), m_now(std::move(services.now)),
      m_appVersion(std::move(services.appVersion)), m_scheduler(services.scheduler) {
  if (!stored.credential) {
    clearUnconfirmedOtherThan(std::nullopt);
    return;
  }
  // Only the credential can stop the start: without a usable one the application would sign
  // the reader out, and the keyring item would be overwritten by the next sign-in.
  Credential credential = readCredential(*stored.credential);
  // The keyring has answered this start, so the writes of failed sign-ins that an earlier run
  // left to it have been carried out or never will be: only the credential it holds can be one.
  clearUnconfirmedOtherThan(credential.token);
  if (isUnconfirmed(credential.token)) {
    // The keyring stored the credential of a sign-in the reader saw fail only after that
    // start had ended: this one starts signed out, as the reader was told, and removes it.
    removeUnconfirmedCredential(std::move(credential.token), 0);
    return;
  }
  m_credential = std::move(credential);
  loadCache(std::move(stored.cache));
}

AccountController::~AccountController() {
  m_expiry.cancel();
  m_credentialChecks.cancel();
}

AccountController::Credential AccountController::readCredential(const QByteArray& stored) {
  if (stored.size() > AccountCoding::maximumCredentialBytes)
    throw AccountError::storage();
  Credential credential;
  try {
    credential = Credential::fromJson(stored);
    AccountCoding::validateToken(credential.token);
  } catch (const std::exception&) {
    throw AccountError::storage();
  }
  const qsizetype userIDBytes = AccountCoding::utf8Length(credential.userID);
  if (userIDBytes < 1 || userIDBytes > AccountCoding::maximumUserIDBytes)
    throw AccountError::storage();
  return credential;
}

std::optional<AccountController::Cache> AccountController::decodeCache(const std::optional<QByteArray>& bytes,
                                                                       const Credential& credential) {
  if (!bytes)
    return std::nullopt;
  if (bytes->size() > AccountCoding::maximumCacheBytes)
    throw AccountError::storage();
  // Cores left over beside the one loading the release.
  const int threads = std::clamp(int(std::thread::hardware_concurrency()) - 1, 1, 3);
  Cache cache = Cache::fromJson(*bytes, threads);
  AccountCoding::validateCache(cache, credential.userID);
  if (cache.sessionID != AccountCoding::digest(credential.token))
    throw AccountError::storage();
  return cache;
}

void AccountController::loadCache(std::shared_future<std::optional<Cache>> reading) {
  try {
    std::optional<Cache> cache;
    if (reading.valid()) {
      cache = reading.get();
    } else {
      const QString sessionID = AccountCoding::digest(m_credential->token);
      cache = decodeCache(m_store.data(cacheKey(m_credential->userID, sessionID)), *m_credential);
    }
    if (cache)
      apply(std::move(*cache));
  } catch (const std::exception&) {
    // Not used and not deleted: a refresh or a sign-in replaces it.
    setMessage(AccountError::storage().description());
  }
}

// MARK: Computed state

bool AccountController::isSignedIn() const {
  if (!m_credential || m_credential->revoked || !m_cache || m_cache->accessRevoked || !m_storageHealthy)
    return false;
  const Date now = m_now();
  if (m_latestObservedAt && now < *m_latestObservedAt)
    m_clockUntrusted = true;
  m_latestObservedAt = m_latestObservedAt ? std::max(now, *m_latestObservedAt) : now;
  if (m_clockUntrusted || now < m_cache->confirmedAt)
    return false;
  return now < m_cache->me.sessionExpiresAt;
}

std::optional<Date> AccountController::sessionExpiresAt() const {
  if (!m_cache)
    return std::nullopt;
  return m_cache->me.sessionExpiresAt;
}

std::optional<Date> AccountController::nextAccessCheckAt() const {
  if (!m_cache || !m_credential)
    return std::nullopt;
  const Date expiresAt = m_cache->me.sessionExpiresAt;
  if (!(m_now() < expiresAt))
    return std::nullopt;
  return expiresAt;
}

std::optional<QUrl> AccountController::verificationURL() const {
  if (!m_pendingDeviceCode)
    return std::nullopt;
  return m_pendingDeviceCode->verificationURL;
}

const QList<SavedSnapshot>& AccountController::saved() const {
  rebuildCollections();
  return m_saved;
}

const QList<SavedSnapshot>& AccountController::loved() const {
  rebuildCollections();
  return m_loved;
}

bool AccountController::isSaved(const QString& loreId) const {
  rebuildCollections();
  return m_flags.value(loreId) & savedFlag;
}

bool AccountController::isLoved(const QString& loreId) const {
  rebuildCollections();
  return m_flags.value(loreId) & lovedFlag;
}

void AccountController::rebuildCollections() const {
  if (!m_collectionsStale)
    return;
  struct Dated {
    const AccountItem* item;
    Date at;
  };
  std::vector<Dated> saved;
  std::vector<Dated> loved;
  m_flags.clear();
  m_flags.reserve(m_items.size());
  for (const AccountItem& item : m_items) {
    const quint8 flags = (item.saved ? savedFlag : 0) | (item.loved ? lovedFlag : 0);
    if (flags)
      m_flags[item.loreId] |= flags;
    if (item.saved && item.savedAt)
      saved.push_back({&item, *item.savedAt});
    if (item.loved && item.lovedAt)
      loved.push_back({&item, *item.lovedAt});
  }
  // Newest first; a stable sort keeps equal dates in the items' order (sorting ascending and
  // reversing would swap them).
  const auto newestFirst = [](const Dated& a, const Dated& b) { return b.at < a.at; };
  const auto fill = [&](std::vector<Dated>& dated, QList<SavedSnapshot>& list) {
    std::stable_sort(dated.begin(), dated.end(), newestFirst);
    list.clear();
    list.reserve(qsizetype(dated.size()));
    for (const Dated& entry : dated)
      list.append(SavedSnapshot{entry.item->snapshot, entry.at});
  };
  fill(saved, m_saved);
  fill(loved, m_loved);
  m_collectionsStale = false;
}

void AccountController::recheckAccess() {
  scheduleExpiryCheck();
  bumpAccessRevision();
}

// MARK: Operation gate and revocation

void AccountController::startOperation() {
  if (!m_storageHealthy)
    throw AccountError::storage();
  if (m_isBusy || m_polling)
    throw AccountError::busy();
  setBusy(true);
}

QCoro::Task<> AccountController::revokeAccess() {
  if (!m_cache)
    co_return;
  Cache revoked = *m_cache;
  revoked.accessRevoked = true;
  apply(revoked);
  cancelActivities();
  if (!m_credential) {
    persist(revoked);
    co_return;
  }

  Credential credential = *m_credential;
  credential.revoked = true;
  const QString revokedToken = credential.token;
  setCredential(std::move(credential));
  const QPointer<AccountController> self(this);
  std::exception_ptr keychainFailure;
  {
    const TurnQueue::Turn turn = co_await m_keychain.take();
    if (!self)
      throw CancelledError();
    // A sign-out or sign-in queued before this turn has replaced the credential: writing the
    // revoked one now would bring back a session the reader has left.
    if (m_credential && m_credential->token == revokedToken) {
      try {
        co_await m_storage.write(m_credential->toJson(), credentialKey());
      } catch (const KeychainError& error) {
        keychainFailure = std::current_exception();
        whenLateWriteLands(error, revokedToken);
      } catch (...) {
        keychainFailure = std::current_exception();
      }
      if (!self)
        throw CancelledError();
    }
  }
  if (keychainFailure) {
    setStorageHealthy(false);
    // The revoked state must survive a restart even though the keyring still holds the
    // credential as valid.
    persist(revoked);
    std::rethrow_exception(keychainFailure);
  }
  persist(revoked);
}

void AccountController::whenLateWriteLands(const KeychainError& error, const QString& token) {
  if (!error.lateAnswer())
    return;
  error.lateAnswer()->then(this, [this, token](bool carriedOut) {
    // The keyring holds what memory holds after all, so storage is sound again.
    if (carriedOut && m_credential && m_credential->token == token && m_credential->revoked)
      setStorageHealthy(true);
  });
}

// MARK: Keyring checks

QCoro::Task<std::optional<AccountController::KeyringLook>> AccountController::lookAtKeyring(double wait) {
  const QPointer<AccountController> self(this);
  const CancellationToken lifetime = m_credentialChecks.token();
  try {
    for (;;) {
      co_await delay(m_scheduler, wait, lifetime);
      if (!self)
        break;
      wait = std::clamp(wait * 2, firstCredentialCheck, longestCredentialCheck);
      // In turn with the other keyring changes: a sign-in or sign-out queued earlier has made
      // its change by the time this looks.
      TurnQueue::Turn turn = co_await m_keychain.take();
      if (!self)
        break;
      try {
        std::optional<QByteArray> held = co_await m_storage.read(credentialKey());
        if (!self)
          break;
        // Built as the task's own type: a turn can be moved but not assigned.
        co_return std::optional<KeyringLook>(KeyringLook{std::move(turn), std::move(held)});
      } catch (const KeychainError&) {
        // Still not answering: look again later.
      }
    }
  } catch (const CancelledError&) {
    // The checks end with the controller, as below.
  }
  // The controller went, or its checks were cancelled: nobody waits for the look any more.
  co_return std::optional<KeyringLook>();
}

bool AccountController::holdsToken(const std::optional<QByteArray>& held, const QString& token) {
  if (!held || held->isEmpty())
    return false;
  try {
    return readCredential(*held).token == token;
  } catch (const AccountError&) {
    return false;
  }
}

// MARK: Cache

void AccountController::persist(const Cache& cache) {
  AccountCoding::validateCache(cache, cache.me.user.id);
  const auto textOf = [](const QHash<QString, StoredItem>& texts, const AccountItem& item) {
    const auto known = texts.constFind(item.loreId);
    return known != texts.constEnd() && known->item == item ? known->text : QByteArray();
  };
  // An item stored before, or received in the stored form, keeps its text. The others are
  // encoded: every item of a first fetch from a service that orders its keys its own way, most
  // of that fetch's time, so they are encoded on the cores left over, in runs.
  const qsizetype count = cache.items.size();
  QList<QByteArray> texts(count);
  QByteArray* const written = texts.data(); // the runs write apart, never through the list
  const auto textRun = [&](qsizetype first, qsizetype end) {
    for (qsizetype i = first; i < end; ++i) {
      const AccountItem& item = cache.items[i];
      QByteArray text = textOf(m_storedItems, item);
      if (text.isNull())
        text = textOf(m_receivedItems, item);
      written[i] = text.isNull() ? Json::serialize(item.encode()) : text;
    }
  };
  constexpr qsizetype shortestRun = 500;
  const qsizetype runs =
      std::clamp<qsizetype>(count / shortestRun, 1, std::clamp(int(std::thread::hardware_concurrency()), 1, 4));
  const qsizetype runLength = (count + runs - 1) / runs;
  std::vector<std::future<void>> others;
  for (qsizetype first = runLength; first < count; first += runLength)
    others.push_back(std::async(std::launch::async, textRun, first, std::min(count, first + runLength)));
  textRun(0, std::min(count, runLength));
  for (std::future<void>& run : others)
    run.get();

  QHash<QString, StoredItem> stored;
  stored.reserve(count);
  for (qsizetype i = 0; i < count; ++i)
    stored.insert(cache.items[i].loreId, {cache.items[i], texts[i]});
  const QByteArray bytes = cache.toJson(texts);
  if (bytes.size() > AccountCoding::maximumCacheBytes)
    throw AccountError::invalidResponse();
  m_store.commit({{cacheKey(cache.me.user.id, cache.sessionID), bytes}}, {});
  m_storedItems = std::move(stored);
  m_receivedItems.clear();
}

void AccountController::apply(Cache cache) {
  m_cache = std::move(cache);
  const AccountChanges changes = assignAccount();
  if (!m_preferences || !m_preferences->analyticsConsent)
    cancelActivities();
  scheduleExpiryCheck();
  signalAccount(changes);
  signalAccessInputs();
}

void AccountController::resetClockCheck() {
  m_latestObservedAt = m_now();
  m_clockUntrusted = false;
  m_activitySuppressed = false;
}

void AccountController::clearAccount() {
  cancelSignIn();
  cancelActivities();
  const bool hadCredential = m_credential.has_value();
  m_credential.reset();
  m_cache.reset();
  m_storedItems.clear();
  m_receivedItems.clear();
  m_expiry.cancel();
  m_expiry = CancellationSource();
  const AccountChanges changes = assignAccount();
  const bool busyChanged = assign(m_isBusy, false);
  if (hadCredential)
    Q_EMIT hasStoredSessionChanged();
  signalAccount(changes);
  if (busyChanged)
    Q_EMIT isBusyChanged();
  signalAccessInputs();
}

AccountController::AccountChanges AccountController::assignAccount() {
  AccountChanges changes;
  changes.user = assign(m_user, m_cache ? std::optional(m_cache->me.user) : std::nullopt);
  changes.metrics = assign(m_metrics, m_cache ? m_cache->me.metrics : ReaderAccountMetrics::empty());
  changes.items = assign(m_items, m_cache ? m_cache->items : QList<AccountItem>());
  changes.preferences = assign(m_preferences, m_cache ? m_cache->settings.preferences : std::nullopt);
  changes.version = assign(m_preferenceVersion, m_cache ? m_cache->settings.version : qint64(0));
  if (changes.items)
    m_collectionsStale = true;
  return changes;
}

void AccountController::signalAccount(AccountChanges changes) {
  // Every field is assigned before anyone hears of it: a slot that reads the controller (or
  // calls back into it) never sees half an account.
  Q_EMIT cacheChanged();
  if (changes.user)
    Q_EMIT userChanged();
  if (changes.metrics)
    Q_EMIT metricsChanged();
  if (changes.items) {
    Q_EMIT itemsChanged();
    Q_EMIT savedChanged();
    Q_EMIT lovedChanged();
  }
  if (changes.preferences)
    Q_EMIT preferencesChanged();
  if (changes.version)
    Q_EMIT preferenceVersionChanged();
}

void AccountController::cancelActivities() {
  // Taken out first: a cancellation callback may start or end another upload.
  std::map<QUuid, Activity> running = std::exchange(m_activities, {});
  for (auto& [id, activity] : running)
    activity.upload.cancel();
}

void AccountController::scheduleExpiryCheck() {
  m_expiry.cancel();
  m_expiry = CancellationSource();
  if (!m_credential || m_credential->revoked || !m_cache || m_cache->accessRevoked)
    return;
  const std::optional<Date> next = nextAccessCheckAt();
  if (!next)
    return;
  const double seconds = std::max(next->secondsSince(m_now()), shortestExpiryWait);
  waitForExpiry(QPointer<AccountController>(this), m_scheduler, seconds, m_expiry.token());
}

// MARK: Setters

void AccountController::setBusy(bool busy) {
  if (assign(m_isBusy, busy))
    Q_EMIT isBusyChanged();
}

void AccountController::setSigningIn(bool signingIn) {
  if (assign(m_isSigningIn, signingIn))
    Q_EMIT isSigningInChanged();
}

void AccountController::setPendingDeviceCode(std::optional<ReaderDeviceCode> code) {
  if (!assign(m_pendingDeviceCode, std::move(code)))
    return;
  Q_EMIT pendingDeviceCodeChanged();
  Q_EMIT verificationURLChanged();
}

void AccountController::setMessage(std::optional<QString> message) {
  if (assign(m_message, std::move(message)))
    Q_EMIT messageChanged();
}

void AccountController::setStorageHealthy(bool healthy) {
  if (!assign(m_storageHealthy, healthy))
    return;
  Q_EMIT storageHealthyChanged();
  signalAccessInputs();
}

void AccountController::setCredential(std::optional<Credential> credential) {
  const bool presenceChanged = m_credential.has_value() != credential.has_value();
  m_credential = std::move(credential);
  if (presenceChanged)
    Q_EMIT hasStoredSessionChanged();
  signalAccessInputs();
}

void AccountController::bumpAccessRevision() {
  ++m_accessRevision;
  Q_EMIT accessRevisionChanged();
  signalAccessInputs();
}

void AccountController::signalAccessInputs() {
  Q_EMIT isSignedInChanged();
  Q_EMIT sessionExpiresAtChanged();
  Q_EMIT nextAccessCheckAtChanged();
}

} // namespace brindlewick
