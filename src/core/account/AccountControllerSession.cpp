// Acting on an existing session: refreshing the account with the stored credential, and
// signing this computer out.
#include "account/AccountController.h"

#include <QPointer>

namespace brindlewick {

namespace {

constexpr qint64 signOutReplyLimit = 65536;

} // namespace

QCoro::Task<> AccountController::refresh(CancellationToken cancellation) {
  const Operation operation(*this);
  if (!m_credential)
    throw AccountError::notSignedIn();
  // A revoked credential is sent as well: the service may have restored the session.
  Cache cache =
      co_await fetchAccount(m_credential->token, m_credential->userID, operation.epoch, cancellation);
  if (!operation.controller)
    throw CancelledError();
  cancellation.throwIfCancelled();
  if (m_generation != operation.epoch)
    throw AccountError::superseded();
  persist(cache);
  resetClockCheck();
  apply(std::move(cache));
  setMessage(std::nullopt);
}

QCoro::Task<> AccountController::signOut(CancellationToken cancellation) {
  if (!m_storageHealthy)
    throw AccountError::storage();
  const QPointer<AccountController> self(this);
  std::optional<QString> oldToken;
  {
    // In turn with a sign-in's or a revocation's keyring write: whichever comes later, the
    // removal comes after it, so no credential is left behind.
    const TurnQueue::Turn turn = co_await m_keychain.take();
    if (!self)
      throw CancelledError();
    try {
      co_await m_storage.remove(credentialKey());
    } catch (const KeychainError& error) {
      whenLateRemovalLands(error);
      throw;
    }
    if (!self)
      throw CancelledError();
    if (m_credential)
      oldToken = m_credential->token;
    // Every request in flight now ends as superseded.
    ++m_generation;
    clearAccount();
  }
  if (!oldToken)
    co_return;

  // Signed out here whatever happens next; the service is only asked to end the session too.
  bool confirmed = false;
  try {
    const APIResponse reply =
        co_await sendToService({QStringLiteral("POST"), QStringLiteral("/api/reader-auth/sign-out"),
                                QByteArrayLiteral("{}"), signOutReplyLimit},
                               oldToken, cancellation);
    confirmed = reply.statusCode >= 200 && reply.statusCode <= 299;
  } catch (...) {
    // What went wrong does not change what the reader needs to know.
  }
  if (!confirmed)
    throw AccountError::revocationUnconfirmed();
}

void AccountController::whenLateRemovalLands(const KeychainError& error) {
  const quint64 epoch = m_generation;
  const std::optional<QString> token = m_credential ? std::optional(m_credential->token) : std::nullopt;
  if (!error.lateAnswer()) {
    // An error answer is no proof either: the keyring may still carry the removal out when it
    // resumes. Look once it answers again.
    confirmRemoval(epoch, token, firstCredentialCheck);
    return;
  }
  error.lateAnswer()->then(this, [this, epoch, token](bool carriedOut) {
    if (carriedOut)
      completeSignOut(epoch, token);
    else
      confirmRemoval(epoch, token, 0);
  });
}

QCoro::Task<> AccountController::confirmRemoval(quint64 epoch, std::optional<QString> token, double wait) {
  const QPointer<AccountController> self(this);
  std::optional<KeyringLook> look = co_await lookAtKeyring(wait);
  if (!look || !self)
    co_return;
  const bool removed = !look->held || look->held->isEmpty();
  look.reset();
  if (removed)
    completeSignOut(epoch, token);
}

void AccountController::completeSignOut(quint64 epoch, const std::optional<QString>& token) {
  const std::optional<QString> now = m_credential ? std::optional(m_credential->token) : std::nullopt;
  if (m_generation != epoch || now != token)
    return;
  // The keyring let the credential go after the sign-out had given up on it: this computer is
  // signed out after all. Nothing is sent to the service from here, outside any operation the
  // reader started; the session the service still holds ends at its expiry.
  ++m_generation;
  clearAccount();
}

} // namespace brindlewick
