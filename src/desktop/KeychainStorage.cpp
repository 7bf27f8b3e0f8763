#include "desktop/KeychainStorage.h"

#include "foundation/Completion.h"
#include "foundation/DelayScheduler.h"

#include <qt6keychain/keychain.h>

#include <memory>

namespace brindlewick {

namespace {

struct DeleteLater {
  void operator()(QObject* object) const { object->deleteLater(); }
};
template <typename JobType> using JobPointer = std::unique_ptr<JobType, DeleteLater>;

template <typename JobType> JobPointer<JobType> prepareJob(const QString& service, const QString& account) {
  JobPointer<JobType> job(new JobType(service));
  // The job lives until its answer has been read, or until it answers after a timeout.
  job->setAutoDelete(false);
  job->setInsecureFallback(false);
  job->setKey(account);
  return job;
}

// Hands the job to the keyring and waits, without blocking the thread, for its status, or for
// noAnswerStatus when the timeout passes first. A job that has not answered by then is left
// to free itself whenever its answer comes. The job and the hooks belong to the caller's
// frame, which outlives this wait.
template <typename JobType>
QCoro::Task<qint32> answerOf(JobPointer<JobType>& job, const KeychainStorage::JobStarter& start,
                             DelayScheduler& scheduler, double timeoutSeconds) {
  Completion<qint32> answered;
  auto jobFinished = std::make_shared<bool>(false);
  QObject::connect(job.get(), &QKeychain::Job::finished, job.get(),
                   [answered, jobFinished](QKeychain::Job* finished) mutable {
                     *jobFinished = true;
                     answered.resolve(finished->error());
                   });
  start(*job);
  const auto timeout = scheduler.schedule(
      timeoutSeconds, [answered]() mutable { answered.resolve(KeychainStorage::noAnswerStatus); });
  const qint32 status = co_await answered;
  scheduler.cancel(timeout);
  if (!*jobFinished) {
    JobType* late = job.release();
    QObject::connect(late, &QKeychain::Job::finished, late, &QObject::deleteLater);
  }
  co_return status;
}

void startJob(QKeychain::Job& job) {
  job.start();
}

} // namespace

KeychainStorage::KeychainStorage(QString service, double timeoutSeconds, DelayScheduler* scheduler,
                                 JobStarter start)
    : m_service(std::move(service)), m_timeoutSeconds(timeoutSeconds),
      m_scheduler(scheduler ? scheduler : &DelayScheduler::system()),
      m_start(start ? std::move(start) : startJob) {}

// The operations copy what they need before their only suspension and touch no member after
// it, so a store destroyed while the keyring answers leaves nothing dangling.

QCoro::Task<std::optional<QByteArray>> KeychainStorage::read(QString account) {
  auto job = prepareJob<QKeychain::ReadPasswordJob>(m_service, account);
  const JobStarter start = m_start;
  const qint32 status = co_await answerOf(job, start, *m_scheduler, m_timeoutSeconds);
  switch (status) {
  case QKeychain::NoError: co_return job->binaryData();
  case QKeychain::EntryNotFound: co_return std::nullopt;
  default: throw KeychainError(status);
  }
}

QCoro::Task<> KeychainStorage::write(QByteArray data, QString account) {
  auto job = prepareJob<QKeychain::WritePasswordJob>(m_service, account);
  job->setBinaryData(data);
  const JobStarter start = m_start;
  const qint32 status = co_await answerOf(job, start, *m_scheduler, m_timeoutSeconds);
  if (status != QKeychain::NoError)
    throw KeychainError(status);
}

QCoro::Task<> KeychainStorage::remove(QString account) {
  auto job = prepareJob<QKeychain::DeletePasswordJob>(m_service, account);
  const JobStarter start = m_start;
  const qint32 status = co_await answerOf(job, start, *m_scheduler, m_timeoutSeconds);
  if (status != QKeychain::NoError && status != QKeychain::EntryNotFound)
    throw KeychainError(status);
}

} // namespace brindlewick
