#pragma once

#include "service/SecureStorage.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace brindlewick {

// A SecureStorage in memory that answers at once. Tests read what it holds, see the order of
// the calls made on it, and make the next calls fail with a keyring status; a failed call
// changes nothing, as with the real keyring.
class InMemorySecureStorage final : public SecureStorage {
public:
  QCoro::Task<std::optional<QByteArray>> read(QString account) override;
  QCoro::Task<> write(QByteArray data, QString account) override;
  QCoro::Task<> remove(QString account) override;

  const QHash<QString, QByteArray>& items() const { return m_items; }
  void setItem(const QString& account, const QByteArray& data) { m_items.insert(account, data); }

  // Every later call fails with this status until cleared with std::nullopt.
  void setFailure(std::optional<qint32> status) { m_failure = status; }
  // "read <account>", "write <account>", "remove <account>", failed ones included.
  const QStringList& calls() const { return m_calls; }

private:
  void record(const char* operation, const QString& account);

  QHash<QString, QByteArray> m_items;
  std::optional<qint32> m_failure;
  QStringList m_calls;
};

} // namespace brindlewick
