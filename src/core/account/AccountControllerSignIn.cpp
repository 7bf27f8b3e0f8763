// Browser sign-in through the device authorization grant: the grant, its polls, and the
// credential that a fetched account turns into.
#include "account/AccountController.h"

#include "foundation/Json.h"

#include <QJsonObject>
#include <QPointer>

#include <algorithm>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 grantReplyLimit = 65536;
constexpr qsizetype maximumDeviceCodeBytes = 4096;
constexpr qsizetype maximumUserCodeBytes = 128;
constexpr qint64 maximumExpiresIn = 1800;
constexpr qint64 maximumInterval = 60;
// What "slow_down" adds to the interval, and the longest interval it can reach.
constexpr double slowDownStep = 5;
constexpr double longestInterval = 300;

const QString clientID = QStringLiteral("brindlewick-macos");
const QString deviceGrantType = QStringLiteral("urn:ietf:params:oauth:grant-type:device_code");

bool within(qsizetype bytes, qsizetype most) {
  return bytes >= 1 && bytes <= most;
}

} // namespace

QCoro::Task<ReaderDeviceCode> AccountController::beginSignIn(CancellationToken cancellation) {
  if (!m_storageHealthy)
    throw AccountError::storage();
  if (m_isBusy)
    throw AccountError::busy();
  cancelSignIn();
  setSigningIn(true);
  const quint64 signInEpoch = m_signInGeneration;
  const QPointer<AccountController> self(this);
  try {
    const QByteArray body = Json::serialize(QJsonObject{{u"client_id"_s, clientID}});
    const APIResponse reply = co_await sendToService(
        {u"POST"_s, u"/api/reader-auth/device/code"_s, body, grantReplyLimit}, std::nullopt, cancellation);
    if (!self)
      throw CancelledError();
    // A newer sign-in owns the state now.
    if (m_signInGeneration != signInEpoch)
      throw AccountError::superseded();
    if (reply.statusCode == 401)
      throw AccountError::notSignedIn();
    if (reply.statusCode != 200)
      throw AccountError::http(reply.statusCode);

    const DeviceResponse grant = DeviceResponse::fromJson(reply.body);
    validateAuthURL(grant.verificationURI);
    const QUrl page = validateAuthURL(grant.verificationURIComplete);
    if (!within(AccountCoding::utf8Length(grant.deviceCode), maximumDeviceCodeBytes) ||
        !within(AccountCoding::utf8Length(grant.userCode), maximumUserCodeBytes) || grant.expiresIn < 1 ||
        grant.expiresIn > maximumExpiresIn || grant.interval < 1 || grant.interval > maximumInterval)
      throw AccountError::invalidResponse();

    const ReaderDeviceCode code{grant.userCode, page, m_now().addingSeconds(double(grant.expiresIn)),
                                double(grant.interval)};
    setPendingDeviceCode(code);
    // The first token request waits one interval: a poll right away sends nothing.
    const Date startedAt = m_now();
    m_pending = Pending{grant.deviceCode, startedAt.addingSeconds(code.interval), startedAt, std::nullopt};
    co_return code;
  } catch (...) {
    if (self && m_signInGeneration == signInEpoch)
      cancelSignIn();
    throw;
  }
}

QCoro::Task<bool> AccountController::pollSignIn(CancellationToken cancellation) {
  if (m_pollTask)
    throw AccountError::busy();
  const quint64 signInEpoch = m_signInGeneration;
  m_pollTask.emplace(cancellation);
  const CancellationToken attempt = m_pollTask->token();
  const QPointer<AccountController> self(this);
  bool signedIn = false;
  std::exception_ptr failure;
  try {
    signedIn = co_await pollOnce(attempt);
  } catch (...) {
    failure = std::current_exception();
  }
  // An abandoned sign-in has cleared it already, and a newer poll may own it.
  if (self && m_signInGeneration == signInEpoch)
    m_pollTask.reset();
  if (failure)
    std::rethrow_exception(failure);
  co_return signedIn;
}

void AccountController::cancelSignIn() {
  ++m_signInGeneration;
  // Out of the field first: cancelling runs callbacks.
  if (std::optional<CancellationSource> poll = std::exchange(m_pollTask, std::nullopt))
    poll->cancel();
  m_pending.reset();
  setPendingDeviceCode(std::nullopt);
  m_polling = false;
  setSigningIn(false);
}

QCoro::Task<bool> AccountController::pollOnce(CancellationToken cancellation) {
  if (!m_pending || !m_pendingDeviceCode)
    throw AccountError::deviceExpired();
  const Date now = m_now();
  // A clock set back before the grant began cannot say whether the grant is still alive.
  if (now < m_pending->startedAt || !(now < m_pendingDeviceCode->expiresAt)) {
    cancelSignIn();
    throw AccountError::deviceExpired();
  }
  if (m_polling || m_isBusy)
    throw AccountError::busy();
  if (m_now() < m_pending->nextPoll)
    co_return false;

  m_polling = true;
  const quint64 signInEpoch = m_signInGeneration;
  const quint64 epoch = m_generation;
  const QPointer<AccountController> self(this);
  // Every way out ends the attempt, unless the sign-in was abandoned (which ended it).
  struct EndOfAttempt {
    QPointer<AccountController> controller;
    quint64 signInEpoch;
    ~EndOfAttempt() {
      if (controller && controller->m_signInGeneration == signInEpoch)
        controller->m_polling = false;
    }
  } const endOfAttempt{self, signInEpoch};

  m_pending->nextPoll = m_now().addingSeconds(m_pendingDeviceCode->interval);
  QString token;
  if (m_pending->accessToken) {
    // An earlier attempt got the token but could not finish: no second token request.
    token = *m_pending->accessToken;
  } else {
    const QByteArray body = Json::serialize(QJsonObject{{u"client_id"_s, clientID},
                                                        {u"device_code"_s, m_pending->secret},
                                                        {u"grant_type"_s, deviceGrantType}});
    const APIResponse reply = co_await sendToService(
        {u"POST"_s, u"/api/reader-auth/device/token"_s, body, grantReplyLimit}, std::nullopt, cancellation);
    if (!self)
      throw CancelledError();
    cancellation.throwIfCancelled();
    if (m_generation != epoch || m_signInGeneration != signInEpoch)
      throw AccountError::superseded();

    if (reply.statusCode != 200) {
      std::optional<Failure> failure;
      try {
        failure = Failure::fromJson(reply.body);
      } catch (const JsonDecodingError&) {
        // A throttling proxy or an overloaded service answers without the grant's words.
      }
      const QString error = failure                                             ? failure->error
                            : reply.statusCode == 429 || reply.statusCode > 499 ? u"slow_down"_s
                                                                                : QString();
      if (error == "authorization_pending"_L1)
        co_return false;
      if (error == "slow_down"_L1) {
        ReaderDeviceCode code = *m_pendingDeviceCode;
        code.interval = std::min(code.interval + slowDownStep, longestInterval);
        setPendingDeviceCode(code);
        m_pending->nextPoll = m_now().addingSeconds(code.interval);
        co_return false;
      }
      if (error == "access_denied"_L1) {
        cancelSignIn();
        throw AccountError::deviceDenied();
      }
      if (error == "expired_token"_L1) {
        cancelSignIn();
        throw AccountError::deviceExpired();
      }
      throw AccountError::http(reply.statusCode);
    }

    const Token issued = Token::fromJson(reply.body);
    AccountCoding::validateToken(issued.accessToken);
    if (issued.tokenType && issued.tokenType->toLower() != "bearer"_L1)
      throw AccountError::invalidResponse();
    token = issued.accessToken;
    m_pending->accessToken = token;
  }

  Cache cache = co_await fetchAccount(token, std::nullopt, epoch, cancellation);
  if (!self)
    throw CancelledError();
  cancellation.throwIfCancelled();
  if (m_generation != epoch || m_signInGeneration != signInEpoch ||
      !(m_now() < m_pendingDeviceCode->expiresAt))
    throw AccountError::superseded();
  persist(cache);
  co_await completeSignIn(std::move(cache), std::move(token), epoch, signInEpoch);
  co_return true;
}

QCoro::Task<> AccountController::completeSignIn(Cache cache, QString token, quint64 epoch,
                                                quint64 signInEpoch) {
  const QPointer<AccountController> self(this);
  const TurnQueue::Turn turn = co_await m_keychain.take();
  if (!self)
    throw CancelledError();
  // A sign-out or an abandoned sign-in that came first wins: its keyring change has been made,
  // and writing the credential now would sign the reader back in at the next start.
  if (m_generation != epoch || m_signInGeneration != signInEpoch)
    throw AccountError::superseded();
  Credential credential{std::move(token), cache.me.user.id, false};
  try {
    co_await m_storage.write(credential.toJson(), credentialKey());
  } catch (const KeychainError& error) {
    // The reader is told that this sign-in failed. A keyring that stopped answering may still
    // carry the write out once it resumes, and the next start would then sign the reader in
    // with the credential of a sign-in they saw fail: it is taken back out once the keyring
    // answers again.
    markUnconfirmed(credential.token);
    takeBackCredential(error, credential.token);
    throw;
  }
  if (!self)
    throw CancelledError();
  // Published within the turn, with no further suspension: a sign-out waiting for the keyring
  // removes this credential and clears this state only after both are in place.
  publishSignIn(std::move(cache), std::move(credential));
}

void AccountController::publishSignIn(Cache cache, Credential credential) {
  // The keyring holds this credential and the reader is signed in with it.
  clearUnconfirmed(credential.token);
  cancelActivities();
  ++m_generation;
  const bool hadCredential = m_credential.has_value();
  m_credential = std::move(credential);
  resetClockCheck();
  apply(std::move(cache));
  if (!hadCredential)
    Q_EMIT hasStoredSessionChanged();
  cancelSignIn();
  setMessage(std::nullopt);
}

void AccountController::takeBackCredential(const KeychainError& error, const QString& token) {
  if (!error.lateAnswer()) {
    removeUnconfirmedCredential(token, firstCredentialCheck);
    return;
  }
  // The keyring answers this very request late: look as soon as it does, whatever it says
  // (a late error is no more certain than the first one).
  error.lateAnswer()->then(this, [this, token](bool) { removeUnconfirmedCredential(token, 0); });
}

QCoro::Task<> AccountController::removeUnconfirmedCredential(QString token, double wait) {
  const QPointer<AccountController> self(this);
  for (;;) {
    const std::optional<KeyringLook> look = co_await lookAtKeyring(wait);
    if (!look || !self)
      co_return;
    // Another credential, none at all, or this one held in memory (a later poll of the same
    // grant stored it and signed the reader in): the keyring agrees with what was shown.
    if (holdsToken(look->held, token) && !(m_credential && m_credential->token == token)) {
      try {
        co_await m_storage.remove(credentialKey());
      } catch (const KeychainError&) {
        wait = firstCredentialCheck; // not answering again: look again later
        continue;
      }
      if (!self)
        co_return;
    }
    clearUnconfirmed(token);
    co_return;
  }
}

void AccountController::markUnconfirmed(const QString& token) {
  // One record per credential: a second failed sign-in must not hide the first, whose write
  // may be the one the keyring carries out.
  const QString sessionID = AccountCoding::digest(token);
  try {
    m_store.commit({{AccountKeys::unconfirmedCredentialKey(m_baseURL, sessionID),
                     Json::serialize(QJsonObject{{u"sessionID"_s, sessionID}})}},
                   {});
  } catch (const std::exception&) {
    // Only a start after this process ended would miss the record.
  }
}

void AccountController::clearUnconfirmed(const QString& token) {
  const QString sessionID = AccountCoding::digest(token);
  QStringList naming;
  for (const UnconfirmedRecord& record : unconfirmedRecords())
    if (record.sessionID == sessionID)
      naming.append(record.key);
  try {
    if (!naming.isEmpty())
      m_store.commit({}, naming);
  } catch (const std::exception&) {
    // A record left behind names a credential the keyring does not hold: it is never matched.
  }
}

bool AccountController::isUnconfirmed(const QString& token) const {
  const QString sessionID = AccountCoding::digest(token);
  const std::vector<UnconfirmedRecord> records = unconfirmedRecords();
  return std::any_of(records.begin(), records.end(),
                     [&](const UnconfirmedRecord& record) { return record.sessionID == sessionID; });
}

void AccountController::clearUnconfirmedOtherThan(const std::optional<QString>& held) {
  const QString heldID = held ? AccountCoding::digest(*held) : QString();
  QStringList done;
  for (const UnconfirmedRecord& record : unconfirmedRecords())
    if (!held || record.sessionID != heldID)
      done.append(record.key);
  try {
    if (!done.isEmpty())
      m_store.commit({}, done);
  } catch (const std::exception&) {
    // Left behind, they name credentials the keyring does not hold and are never matched.
  }
}

std::vector<AccountController::UnconfirmedRecord> AccountController::unconfirmedRecords() const {
  std::vector<UnconfirmedRecord> records;
  try {
    for (auto& [key, bytes] : m_store.entryData(AccountKeys::unconfirmedCredentialKey(m_baseURL))) {
      QString sessionID;
      try {
        sessionID = Json::parseObject(bytes).value(u"sessionID"_s).toString();
      } catch (const std::exception&) {
        // An unreadable record names nothing, but is still cleared with the others.
      }
      records.push_back({std::move(key), std::move(sessionID)});
    }
  } catch (const std::exception&) {
    // A store that cannot be read names nothing.
  }
  return records;
}

QUrl AccountController::validateAuthURL(const QString& address) const {
  if (!m_baseURL)
    throw AccountError::unsafeURL();
  const QUrl url(address, QUrl::StrictMode);
  // QUrl reports the scheme lower-cased, so "exactly https" is judged on the text as sent.
  if (!address.startsWith("https:"_L1) || !url.isValid() ||
      url.host().toLower() != m_baseURL->host().toLower() || url.port(443) != m_baseURL->port(443) ||
      !url.userInfo().isNull() || url.hasFragment())
    throw AccountError::unsafeURL();
  return url;
}

} // namespace brindlewick
