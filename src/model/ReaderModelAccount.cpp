// The reader's account actions: the browser sign-in, reopening its page, and signing out.

#include "model/ReaderModel.h"

#include "foundation/Json.h"

#include <QPointer>

namespace brindlewick {

void ReaderModel::beginAccountSignIn() {
  if (m_accountBusy || m_signInTask)
    return;
  setAccountBusy(true);
  setMessage(std::nullopt);
  // Ends with the model too.
  m_signInTask.emplace(m_lifetime.token());
  runSignIn(m_signInTask->token());
}

void ReaderModel::cancelAccountSignIn() {
  if (m_signInTask)
    m_signInTask->cancel();
  // Also abandons a grant no task of ours polls; its late answers are dropped.
  m_account->cancelSignIn();
  // The view stops showing the code at once; the task ends on its own and only then clears
  // accountBusy.
  setSignInCode(std::nullopt);
  setSignInURL(std::nullopt);
}

QCoro::Task<> ReaderModel::runSignIn(CancellationToken token) {
  const QPointer<ReaderModel> self(this);
  enum class Outcome { done, cancelled, declined, unexpectedReply, failed };
  Outcome outcome = Outcome::done;
  QString failure;
  try {
    const ReaderDeviceCode code = co_await m_account->beginSignIn(token);
    if (!self)
      co_return;
    setSignInCode(code.userCode);
    setSignInURL(code.verificationURL);
    openAccountBrowser();
    bool signedInNow = co_await m_account->pollSignIn(token);
    if (!self)
      co_return;
    while (!signedInNow) {
      token.throwIfCancelled();
      // Read fresh each time: the service may have asked for slower polling.
      const std::optional<ReaderDeviceCode>& pending = m_account->pendingDeviceCode();
      if (!pending)
        throw AccountError::deviceExpired();
      const double interval = pending->interval;
      co_await delay(m_scheduler, interval, token);
      if (!self)
        co_return;
      signedInNow = co_await m_account->pollSignIn(token);
      if (!self)
        co_return;
    }
    setAccountHistory({});
    setDetail(std::nullopt);
    co_await applyAccountPreferences();
    if (!self)
      co_return;
    co_await refresh(true);
    if (!self)
      co_return;
  } catch (const CancelledError&) {
    outcome = Outcome::cancelled;
  } catch (const AccountError& error) {
    outcome = error.errorCase() == AccountError::Case::deviceDenied ? Outcome::declined : Outcome::failed;
    failure = errorText(error);
  } catch (const JsonDecodingError&) {
    outcome = Outcome::unexpectedReply;
  } catch (const std::exception& error) {
    outcome = Outcome::failed;
    failure = errorText(error);
  }
  if (!self)
    co_return;

  if (outcome != Outcome::done)
    m_account->cancelSignIn();
  switch (outcome) {
  case Outcome::done:
  case Outcome::cancelled: break;
  case Outcome::declined:
    m_signInDeclined += 1;
    Q_EMIT signInDeclinedChanged();
    setMessage(signInDeclinedMessage);
    break;
  case Outcome::unexpectedReply: setMessage(signInUnexpectedReply); break;
  case Outcome::failed: setMessage(signInFailurePrefix + failure); break;
  }
  setAccountBusy(false);
  m_signInTask.reset();
  setSignInCode(std::nullopt);
  setSignInURL(std::nullopt);
}

void ReaderModel::openAccountBrowser() {
  if (m_signInURL)
    openSignInPage(*m_signInURL);
}

QCoro::Task<> ReaderModel::openSignInPage(QUrl page) {
  const QPointer<ReaderModel> self(this);
  QCoro::Task<bool> opening = m_urlOpener.open(page);
  const bool opened = co_await std::move(opening);
  // An answer about a page the reader has left (cancelled, signed in, or a new code) would
  // only confuse what is on screen now.
  if (!self || opened || m_signInURL != page)
    co_return;
  setMessage(browserFailureMessage);
}

void ReaderModel::signOutAccount() {
  if (m_accountBusy || m_collectionBusy)
    return;
  setAccountBusy(true);
  dismiss();
  runSignOut();
}

QCoro::Task<> ReaderModel::runSignOut() {
  const QPointer<ReaderModel> self(this);
  const CancellationToken lifetime = m_lifetime.token();
  QCoro::Task<> signOut = m_account->signOut(lifetime);
  const std::optional<QString> failure = co_await failureOf(signOut);
  if (!self || lifetime.isCancelled())
    co_return;
  setMessage(failureLine(signOutFailurePrefix, failure));
  // A credential that could not be removed keeps the reader signed in: nothing is reset then.
  if (!signedIn()) {
    setAccountHistory({});
    setDetail(std::nullopt);
    setLibrarySearch(QString());
    setNavigationTab(ReaderTab::welcome);
    resetLocalPreferences(signOutResetFailurePrefix);
  }
  setAccountBusy(false);
  reschedule();
}

} // namespace brindlewick
