#pragma once

#include "service/SecureStorage.h"

#include <functional>

namespace QKeychain {
class Job;
}

namespace brindlewick {

class DelayScheduler;

// The secret store on the system keyring (the Secret Service, or KWallet on KDE) through
// QtKeychain. Every secret is one item of `service`, keyed by the account name, holding raw
// bytes; secrets never fall back to a plain file. The store holds no state besides its
// settings: every call goes to the keyring, and nothing is touched at construction.
//
// A keyring request that goes unanswered (a stuck daemon, a prompt nobody answers) fails after
// the timeout with KeychainError::noAnswerStatus instead of leaving the caller waiting for ever.
// The request itself goes on: the error's late answer tells whether it was carried out after all,
// so the caller can bring what it holds in line with the keyring.
//
// A locked collection whose unlock prompt was refused, or could not show, answers a read with
// "not found" and a removal with success, the item untouched. So a read that found nothing and
// a removal that succeeded ask whether the collection that would hold the item is locked: if
// so they fail as a locked keyring instead of reporting an absent or removed secret.
class KeychainStorage final : public SecureStorage {
public:
  static constexpr double defaultTimeoutSeconds = 60.0;

  // Hands a prepared job to the keyring. Tests substitute one that answers as they script.
  using JobStarter = std::function<void(QKeychain::Job&)>;
  // Asks whether the collection that would hold the items is locked and hands `answer` true or
  // false, or nothing when it cannot tell (no such collection, no service). Tests script it.
  using LockQuery = std::function<void(std::function<void(std::optional<bool> locked)> answer)>;

  // The timeout runs on `scheduler` (the system's boot-time scheduler when null), which must
  // outlive every request; an empty starter or query means the real keyring's, the query then
  // asking the Secret Service's default collection on the session bus.
  explicit KeychainStorage(QString service, double timeoutSeconds = defaultTimeoutSeconds,
                           DelayScheduler* scheduler = nullptr, JobStarter start = {},
                           LockQuery lockQuery = {});

  const QString& service() const { return m_service; }

  QCoro::Task<std::optional<QByteArray>> read(QString account) override;
  QCoro::Task<> write(QByteArray data, QString account) override;
  QCoro::Task<> remove(QString account) override;

private:
  QString m_service;
  double m_timeoutSeconds;
  DelayScheduler* m_scheduler;
  JobStarter m_start;
  LockQuery m_lockQuery;
};

} // namespace brindlewick
