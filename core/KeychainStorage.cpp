#include "KeychainStorage.h"

#include <QTimer>

#include <qt6keychain/keychain.h>

#include <coroutine>
#include <memory>
#include <utility>

namespace brindlewick {

namespace {

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};
using JobPointer = std::unique_ptr<QKeychain::Job, DeleteLater>;

template <typename JobType> JobPointer prepareJob(const QString& service, const QString& account) {
  JobPointer job(new JobType(service));
  // The job lives until its answer has been read, or until it answers after a timeout.
  job->setAutoDelete(false);
  job->setInsecureFallback(false);
  job->setKey(account);
  return job;
}

// Starts the job and resumes the awaiting coroutine with the job's status when it answers,
// or with noAnswerStatus when the deadline passes first; whichever comes second is ignored.
// The job's answer resumes the coroutine from the event loop, never from inside the job's
// own signal, so the caller's code never runs inside QtKeychain.
class JobAnswer {
public:
  JobAnswer(JobPointer& job, std::chrono::milliseconds timeout, const KeychainStorage::JobStarter& start,
            const KeychainStorage::Deadline& deadline)
      : m_job(job), m_timeout(timeout), m_start(start), m_deadline(deadline) {}

  bool await_ready() const noexcept { return false; }

  void await_suspend(std::coroutine_handle<> waiter) {
    auto state = m_state;
    state->waiter = waiter;
    QObject::connect(
        m_job.get(), &QKeychain::Job::finished, m_job.get(), [state] { settle(*state, true); },
        Qt::QueuedConnection);
    m_start(*m_job);
    // Last: a deadline that expires at once may resume the coroutine, which ends this awaiter.
    m_deadline(m_timeout, [state] { settle(*state, false); });
  }

  qint32 await_resume() {
    if (m_state->answered)
      return static_cast<qint32>(m_job->error());
    // The job may still answer; it frees itself then. A job that never answers stays.
    QKeychain::Job* job = m_job.release();
    QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
    return KeychainStorage::noAnswerStatus;
  }

private:
  struct State {
    bool settled = false;
    bool answered = false;
    std::coroutine_handle<> waiter;
  };

  static void settle(State& state, bool answered) {
    if (state.settled)
      return;
    state.settled = true;
    state.answered = answered;
    state.waiter.resume();
  }

  JobPointer& m_job;
  std::chrono::milliseconds m_timeout;
  const KeychainStorage::JobStarter& m_start;
  const KeychainStorage::Deadline& m_deadline;
  std::shared_ptr<State> m_state = std::make_shared<State>();
};

void startJob(QKeychain::Job& job) {
  job.start();
}

void realDeadline(std::chrono::milliseconds timeout, std::function<void()> expired) {
  QTimer::singleShot(timeout, Qt::CoarseTimer, std::move(expired));
}

} // namespace

KeychainStorage::KeychainStorage(QString service, std::chrono::milliseconds timeout, JobStarter start,
                                 Deadline deadline)
    : m_service(std::move(service)), m_timeout(timeout), m_start(start ? std::move(start) : startJob),
      m_deadline(deadline ? std::move(deadline) : realDeadline) {}

// The operations copy what they need before their only suspension and touch no member after
// it, so a store destroyed while the keyring answers leaves nothing dangling.

QCoro::Task<std::optional<QByteArray>> KeychainStorage::read(QString account) {
  JobPointer job = prepareJob<QKeychain::ReadPasswordJob>(m_service, account);
  const JobStarter start = m_start;
  const Deadline deadline = m_deadline;
  const qint32 status = co_await JobAnswer(job, m_timeout, start, deadline);
  switch (status) {
  case QKeychain::NoError: co_return static_cast<QKeychain::ReadPasswordJob&>(*job).binaryData();
  case QKeychain::EntryNotFound: co_return std::nullopt;
  default: throw KeychainError(status);
  }
}

QCoro::Task<> KeychainStorage::write(QByteArray data, QString account) {
  JobPointer job = prepareJob<QKeychain::WritePasswordJob>(m_service, account);
  static_cast<QKeychain::WritePasswordJob&>(*job).setBinaryData(data);
  const JobStarter start = m_start;
  const Deadline deadline = m_deadline;
  const qint32 status = co_await JobAnswer(job, m_timeout, start, deadline);
  if (status != QKeychain::NoError)
    throw KeychainError(status);
}

QCoro::Task<> KeychainStorage::remove(QString account) {
  JobPointer job = prepareJob<QKeychain::DeletePasswordJob>(m_service, account);
  const JobStarter start = m_start;
  const Deadline deadline = m_deadline;
  const qint32 status = co_await JobAnswer(job, m_timeout, start, deadline);
  if (status != QKeychain::NoError && status != QKeychain::EntryNotFound)
    throw KeychainError(status);
}

} // namespace brindlewick
