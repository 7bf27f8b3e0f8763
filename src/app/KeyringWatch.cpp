#include "app/KeyringWatch.h"

#include <QPointer>

namespace brindlewick {

class KeyringWatch::Request {
public:
  explicit Request(KeyringWatch& watch) : m_watch(&watch) { watch.began(); }
  ~Request() {
    if (m_watch)
      m_watch->ended();
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  void failed(const KeychainError& error) const {
    if (m_watch)
      m_watch->m_lastFailure = error;
    // Past the time limit, or failed after the reader was told the start waits on the keyring:
    // its bus call gave up on a keyring that never answered. A keyring that answered that it
    // stays locked (its prompt refused, or unable to show) ends the start the same way.
    if (m_watch && (error.cause() == KeychainError::Cause::noAnswer ||
                    error.cause() == KeychainError::Cause::locked || m_watch->m_waiting))
      m_watch->m_gaveUp = true;
  }

private:
  // The watch may go while the keyring still has the request.
  QPointer<KeyringWatch> m_watch;
};

KeyringWatch::KeyringWatch(SecureStorage& storage, DelayScheduler& scheduler, QObject* parent)
    : QObject(parent), m_storage(storage), m_scheduler(scheduler) {}

KeyringWatch::~KeyringWatch() {
  if (m_notice)
    m_scheduler.cancel(*m_notice);
}

QCoro::Task<std::optional<QByteArray>> KeyringWatch::read(QString account) {
  const Request request(*this);
  try {
    co_return co_await m_storage.read(std::move(account));
  } catch (const KeychainError& error) {
    request.failed(error);
    throw;
  }
}

QCoro::Task<> KeyringWatch::write(QByteArray data, QString account) {
  const Request request(*this);
  try {
    co_await m_storage.write(std::move(data), std::move(account));
  } catch (const KeychainError& error) {
    request.failed(error);
    throw;
  }
}

QCoro::Task<> KeyringWatch::remove(QString account) {
  const Request request(*this);
  try {
    co_await m_storage.remove(std::move(account));
  } catch (const KeychainError& error) {
    request.failed(error);
    throw;
  }
}

void KeyringWatch::began() {
  if (m_inFlight++ > 0 || m_notice)
    return;
  m_notice = m_scheduler.schedule(noticeDelay, [this] {
    m_notice.reset();
    setWaiting(m_inFlight > 0);
  });
}

void KeyringWatch::ended() {
  if (--m_inFlight > 0)
    return;
  if (m_notice)
    m_scheduler.cancel(*std::exchange(m_notice, std::nullopt));
  setWaiting(false);
}

void KeyringWatch::setWaiting(bool waiting) {
  if (m_waiting == waiting)
    return;
  m_waiting = waiting;
  Q_EMIT waitingChanged();
}

} // namespace brindlewick
