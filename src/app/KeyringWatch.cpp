#include "app/KeyringWatch.h"

#include "foundation/Completion.h"

#include <QPointer>

#include <type_traits>
#include <variant>

namespace brindlewick {

namespace {

// A request's outcome as a value: nothing for one that returns nothing.
template <typename T> struct Outcome {
  using Type = T;
};
template <> struct Outcome<void> {
  using Type = std::monostate;
};

// Carries `request` to its end on its own and hands its outcome on, whether or not anybody still
// waits for it there.
template <typename T>
QCoro::Task<> forward(QCoro::Task<T> request, Completion<typename Outcome<T>::Type> outcome) {
  try {
    if constexpr (std::is_void_v<T>) {
      co_await std::move(request);
      outcome.resolve({});
    } else {
      outcome.resolve(co_await std::move(request));
    }
  } catch (...) {
    outcome.fail(std::current_exception());
  }
}

} // namespace

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

void KeyringWatch::giveUp() {
  m_givenUp.cancel();
}

template <typename T> QCoro::Task<T> KeyringWatch::unlessGivenUp(QCoro::Task<T> request) {
  Completion<typename Outcome<T>::Type> outcome;
  // Runs on by itself once this frame ends: the keyring's late answer settles nothing any more.
  const QCoro::Task<> forwarding = forward(std::move(request), outcome);
  const CancellationRegistration givenUp =
      m_givenUp.token().onCancel([outcome]() mutable { outcome.fail(CancelledError()); });
  if constexpr (std::is_void_v<T>)
    co_await outcome;
  else
    co_return co_await outcome;
}

QCoro::Task<std::optional<QByteArray>> KeyringWatch::read(QString account) {
  const Request request(*this);
  try {
    QCoro::Task<std::optional<QByteArray>> reading = unlessGivenUp(m_storage.read(std::move(account)));
    co_return co_await std::move(reading);
  } catch (const KeychainError& error) {
    request.failed(error);
    throw;
  }
}

QCoro::Task<> KeyringWatch::write(QByteArray data, QString account) {
  const Request request(*this);
  try {
    QCoro::Task<> writing = unlessGivenUp(m_storage.write(std::move(data), std::move(account)));
    co_await std::move(writing);
  } catch (const KeychainError& error) {
    request.failed(error);
    throw;
  }
}

QCoro::Task<> KeyringWatch::remove(QString account) {
  const Request request(*this);
  try {
    QCoro::Task<> removing = unlessGivenUp(m_storage.remove(std::move(account)));
    co_await std::move(removing);
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
