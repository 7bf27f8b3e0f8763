#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace brindlewick {

// The outcome of a request the store stopped waiting for: the keyring may still carry it out,
// and reports so here once it answers. Copies share one outcome. Main thread only.
class LateAnswer {
public:
  LateAnswer();

  // Runs `handler` once with whether the request was carried out (the secret written, removed
  // or read), when the answer comes and while `context` lives.
  void then(QObject* context, std::function<void(bool carriedOut)> handler) const;
  // The store's side: the keyring's answer came.
  void settle(bool carriedOut) const;

private:
  struct State;
  std::shared_ptr<State> m_state;
};

// A failure of the secret store: the status of the call that failed, what stood in the way as
// far as the store can tell, and the keyring's own words. The message names the cause and what
// the reader can do about it, never a bare status, and promises what the store guarantees: a
// failure never removes a stored secret.
class KeychainError : public std::exception {
public:
  // The status of a request the keyring did not answer in time. Other statuses are the keyring
  // library's own error codes.
  static constexpr qint32 noAnswerStatus = -1;

  enum class Cause {
    // The session bus is there, but nothing on it answers for the keyring.
    noService,
    // The session bus cannot be reached: its address is left from an earlier session (nothing
    // listens there any more), or the session has none. A keyring may well be running.
    noSessionBus,
    // The keyring is locked, or refused to open.
    locked,
    // The keyring did not answer in time: locked behind an unlock prompt nobody answered, or stuck.
    noAnswer,
    // Anything else; the keyring's own words are all there is to tell.
    other,
  };

  // A failed request. `detail` is what the store knows beyond the cause, if anything: the
  // keyring's own description of the failure, or for noSessionBus the bus's address.
  KeychainError(qint32 status, Cause cause, QString detail = {});
  // A failure known by its status alone: noAnswerStatus is a request not answered in time.
  explicit KeychainError(qint32 status);
  // A request the keyring did not answer in time, which it may still carry out.
  KeychainError(qint32 status, LateAnswer late);

  qint32 status() const { return m_status; }
  Cause cause() const { return m_cause; }
  // For a request the store stopped waiting for: the keyring's answer, should it still come.
  const std::optional<LateAnswer>& lateAnswer() const { return m_late; }
  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const KeychainError& a, const KeychainError& b) { return a.m_status == b.m_status; }

private:
  qint32 m_status;
  Cause m_cause;
  QByteArray m_what;
  std::optional<LateAnswer> m_late;
};

// Secrets by account name, as raw bytes the store does not interpret. The system keyring
// answers asynchronously (it may have to ask the reader to unlock it), so every operation is
// a coroutine on the caller's thread; none blocks the thread or spins a nested event loop.
// Failures throw KeychainError.
class SecureStorage {
public:
  virtual ~SecureStorage() = default;

  // The secret stored under the account name, or nothing when there is none.
  virtual QCoro::Task<std::optional<QByteArray>> read(QString account) = 0;
  // Stores the secret, replacing any earlier one of the account name.
  virtual QCoro::Task<> write(QByteArray data, QString account) = 0;
  // Deletes the secret of the account name; deleting one that does not exist is no error.
  virtual QCoro::Task<> remove(QString account) = 0;
};

} // namespace brindlewick
