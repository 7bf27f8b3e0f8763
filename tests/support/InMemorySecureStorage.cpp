#include "InMemorySecureStorage.h"

namespace brindlewick {

struct InMemorySecureStorage::Held {
  // True once the caller stopped waiting.
  Completion<bool> answered;
  std::function<void()> effect;
  std::optional<qint32> timedOut;
  // Failed without a late answer.
  bool silent = false;
  LateAnswer late;
};

std::shared_ptr<InMemorySecureStorage::Held>
InMemorySecureStorage::record(const char* operation, const QString& account, std::function<void()> effect) {
  m_calls.append(QLatin1String(operation) + QLatin1Char(' ') + account);
  if (!m_holding)
    return nullptr;
  const auto held = std::make_shared<Held>();
  held->effect = std::move(effect);
  m_held.append(held);
  return held;
}

// The hold comes by reference: the caller's frame keeps it while this waits.
QCoro::Task<> InMemorySecureStorage::answer(const std::shared_ptr<Held>& held) {
  if (held) {
    // Not inside the condition: GCC 12 mishandles a co_await in a short-circuit expression.
    const bool timedOut = co_await held->answered;
    if (timedOut && held->silent)
      throw KeychainError(*held->timedOut);
    if (timedOut)
      throw KeychainError(*held->timedOut, held->late);
  }
  if (m_failure)
    throw KeychainError(*m_failure);
}

void InMemorySecureStorage::releaseOldest() {
  if (m_held.isEmpty())
    return;
  const std::shared_ptr<Held> held = m_held.takeFirst();
  if (!held->timedOut) {
    held->answered.resolve(false);
    return;
  }
  if (!m_failure)
    held->effect();
  held->late.settle(!m_failure);
}

void InMemorySecureStorage::timeOutOldest(qint32 status) {
  failOldest(status, false);
}

void InMemorySecureStorage::failOldestSilently(qint32 status) {
  failOldest(status, true);
}

void InMemorySecureStorage::failOldest(qint32 status, bool silent) {
  for (const std::shared_ptr<Held>& held : std::as_const(m_held)) {
    if (held->timedOut)
      continue;
    held->timedOut = status;
    held->silent = silent;
    held->answered.resolve(true);
    return;
  }
}

QCoro::Task<std::optional<QByteArray>> InMemorySecureStorage::read(QString account) {
  const auto held = record("read", account, [] {});
  co_await answer(held);
  const auto found = m_items.constFind(account);
  if (found == m_items.constEnd())
    co_return std::nullopt;
  co_return *found;
}

QCoro::Task<> InMemorySecureStorage::write(QByteArray data, QString account) {
  const auto held = record("write", account, [this, data, account] { m_items.insert(account, data); });
  co_await answer(held);
  m_items.insert(account, data);
}

QCoro::Task<> InMemorySecureStorage::remove(QString account) {
  const auto held = record("remove", account, [this, account] { m_items.remove(account); });
  co_await answer(held);
  m_items.remove(account);
}

} // namespace brindlewick
