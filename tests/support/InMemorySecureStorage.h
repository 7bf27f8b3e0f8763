#pragma once

#include "foundation/Completion.h"
#include "service/SecureStorage.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

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
  // Lets the oldest held call go on; it is answered from the event loop. One that timed out
  // takes effect now (unless a failure is set) and reports so through its late answer.
  void releaseOldest();
  // The oldest held call that has not timed out fails now with `status` as a store that stops
  // waiting does, and stays held: releaseOldest() later decides whether it was carried out.
  void timeOutOldest(qint32 status = -1);
  // The oldest held call that has not failed yet fails now with `status` and no late answer,
  // as a keyring whose bus call gave up does, and stays held: releaseOldest() later carries it
  // out unannounced (unless a failure is set), as the keyring does once it resumes.
  void failOldestSilently(qint32 status);

private:
  struct Held;
  // Records the call and, while holding, holds it: `effect` is what the call does should it
  // time out and be carried out later.
  std::shared_ptr<Held> record(const char* operation, const QString& account, std::function<void()> effect);
  // Waits while the call is held, then throws the failure if one is set.
  QCoro::Task<> answer(const std::shared_ptr<Held>& held);
  void failOldest(qint32 status, bool silent);

  QHash<QString, QByteArray> m_items;
  std::optional<qint32> m_failure;
  QStringList m_calls;
  bool m_holding = false;
  QList<std::shared_ptr<Held>> m_held;
};

} // namespace brindlewick
