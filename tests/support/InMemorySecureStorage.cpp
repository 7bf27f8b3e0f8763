#include "InMemorySecureStorage.h"

namespace brindlewick {

void InMemorySecureStorage::record(const char* operation, const QString& account) {
  m_calls.append(QLatin1String(operation) + QLatin1Char(' ') + account);
  if (m_failure)
    throw KeychainError(*m_failure);
}

QCoro::Task<std::optional<QByteArray>> InMemorySecureStorage::read(QString account) {
  record("read", account);
  const auto found = m_items.constFind(account);
  if (found == m_items.constEnd())
    co_return std::nullopt;
  co_return *found;
}

QCoro::Task<> InMemorySecureStorage::write(QByteArray data, QString account) {
  record("write", account);
  m_items.insert(account, data);
  co_return;
}

QCoro::Task<> InMemorySecureStorage::remove(QString account) {
  record("remove", account);
  m_items.remove(account);
  co_return;
}

} // namespace brindlewick
