#include "InMemorySecureStorage.h"

namespace brindlewick {

QCoro::Task<> InMemorySecureStorage::answer(const char* operation, const QString& account) {
  m_calls.append(QLatin1String(operation) + QLatin1Char(' ') + account);
  if (m_holding) {
    const Completion<std::monostate> released;
    m_held.append(released);
    co_await released;
  }
  if (m_failure)
    throw KeychainError(*m_failure);
}

void InMemorySecureStorage::releaseOldest() {
  if (!m_held.isEmpty())
    m_held.takeFirst().resolve({});
}

QCoro::Task<std::optional<QByteArray>> InMemorySecureStorage::read(QString account) {
  co_await answer("read", account);
  const auto found = m_items.constFind(account);
  if (found == m_items.constEnd())
    co_return std::nullopt;
  co_return *found;
}

QCoro::Task<> InMemorySecureStorage::write(QByteArray data, QString account) {
  co_await answer("write", account);
  m_items.insert(account, data);
}

QCoro::Task<> InMemorySecureStorage::remove(QString account) {
  co_await answer("remove", account);
  m_items.remove(account);
}

} // namespace brindlewick
