#pragma once

#include "foundation/Cancellation.h"
#include "foundation/DelayScheduler.h"
#include "service/SecureStorage.h"

#include <QObject>

namespace brindlewick {

// The keyring as a start sees it: every request goes through to the keyring unchanged, and the
// watch tells when one has been waiting long enough for the reader to be told why nothing
// shows (a locked keyring waits for its unlock prompt), and whether the keyring was given up
// on without an answer. Main thread only; `storage` and `scheduler` outlive the watch.
class KeyringWatch final : public QObject, public SecureStorage {
  Q_OBJECT

public:
  // Seconds a request may go unanswered before `waiting()` turns true.
  static constexpr double noticeDelay = 1.0;

  KeyringWatch(SecureStorage& storage, DelayScheduler& scheduler, QObject* parent = nullptr);
  ~KeyringWatch() override;

  // A request has gone unanswered for noticeDelay, and requests have been in flight since.
  bool waiting() const { return m_waiting; }
  // A request ended because the keyring did not answer: past its time limit, or with an error
  // after it had been waiting; or because the keyring stayed locked.
  bool gaveUp() const { return m_gaveUp; }
  // The keyring's failure of the latest request it failed: the account layer answers a failed
  // read with a text of its own, but the start-up alert names the keyring's cause.
  const std::optional<KeychainError>& lastFailure() const { return m_lastFailure; }

  // The start that waited on the keyring was given up (the reader closed the window that says it
  // waits): every request still waiting ends at once with CancelledError, and so does every
  // later one. The keyring may still answer them; its answers go nowhere.
  void giveUp();

  QCoro::Task<std::optional<QByteArray>> read(QString account) override;
  QCoro::Task<> write(QByteArray data, QString account) override;
  QCoro::Task<> remove(QString account) override;

Q_SIGNALS:
  void waitingChanged();

private:
  // One request for as long as it lives.
  class Request;

  // The request's outcome, or CancelledError as soon as the watch gives up.
  template <typename T> QCoro::Task<T> unlessGivenUp(QCoro::Task<T> request);

  void began();
  void ended();
  void setWaiting(bool waiting);

  SecureStorage& m_storage;
  DelayScheduler& m_scheduler;
  int m_inFlight = 0;
  std::optional<DelayScheduler::TimerId> m_notice;
  bool m_waiting = false;
  bool m_gaveUp = false;
  std::optional<KeychainError> m_lastFailure;
  CancellationSource m_givenUp;
};

} // namespace brindlewick
