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
class KeychainStorage final : public SecureStorage {
public:
  static constexpr double defaultTimeoutSeconds = 60.0;

  // Hands a prepared job to the keyring. Tests substitute one that answers as they script.
  using JobStarter = std::function<void(QKeychain::Job&)>;

  // The timeout runs on `scheduler` (the system's boot-time scheduler when null), which must
  // outlive every request; an empty starter means the real keyring.
  explicit KeychainStorage(QString service, double timeoutSeconds = defaultTimeoutSeconds,
                           DelayScheduler* scheduler = nullptr, JobStarter start = {});

  const QString& service() const { return m_service; }

  QCoro::Task<std::optional<QByteArray>> read(QString account) override;
  QCoro::Task<> write(QByteArray data, QString account) override;
  QCoro::Task<> remove(QString account) override;

private:
  QString m_service;
  double m_timeoutSeconds;
  DelayScheduler* m_scheduler;
  JobStarter m_start;
};

} // namespace brindlewick
