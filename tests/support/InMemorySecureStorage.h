#pragma once

#include "foundation/Completion.h"
#include "service/SecureStorage.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <optional>
#include <variant>

namespace brindlewick {

// A SecureStorage in memory. Tests read what it holds, see the order of the calls made on it,
// make calls fail with a keyring status, and hold calls unanswered to act while they are in
// flight; a failed call changes nothing, as with the real keyring.
class InMemorySecureStorage final : public SecureStorage {
public:
  QCoro::Task<std::optional<QByteArray>> read(QString account) override;
  QCoro::Task<> write(QByteArray data, QString account) override;
  QCoro::Task<> remove(QString account) override;

  const QHash<QString, QByteArray>& items() const { return m_items; }
  void setItem(const QString& account, const QByteArray& data) { m_items.insert(account, data); }

  // Every later answer fails with this status until cleared with std::nullopt.
  void setFailure(std::optional<qint32> status) { m_failure = status; }
  // "read <account>", "write <account>", "remove <account>", failed and held ones included,
  // in the order the calls were made.
  const QStringList& calls() const { return m_calls; }

  // While holding, each call is recorded and then waits unanswered until released. Its answer
  // (the failure set at that moment, or its effect) comes when it is released.
  void setHolding(bool holding) { m_holding = holding; }
  qsizetype heldCount() const { return m_held.size(); }
  // Lets the oldest held call go on; it is answered from the event loop.
  void releaseOldest();

private:
  // Records the call, waits while held, then throws the failure if one is set.
  QCoro::Task<> answer(const char* operation, const QString& account);

  QHash<QString, QByteArray> m_items;
  std::optional<qint32> m_failure;
  QStringList m_calls;
  bool m_holding = false;
  QList<Completion<std::monostate>> m_held;
};

} // namespace brindlewick
