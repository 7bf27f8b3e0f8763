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

// A failure of the secret store, with the status code of the call that failed. The message
// promises what the store guarantees: a failure never removes a stored secret.
class KeychainError : public std::exception {
public:
  explicit KeychainError(qint32 status);
  // A request the keyring did not answer in time, which it may still carry out.
  KeychainError(qint32 status, LateAnswer late);

  qint32 status() const { return m_status; }
  // For a request the store stopped waiting for: the keyring's answer, should it still come.
  const std::optional<LateAnswer>& lateAnswer() const { return m_late; }
  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const KeychainError& a, const KeychainError& b) { return a.m_status == b.m_status; }

private:
  qint32 m_status;
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
