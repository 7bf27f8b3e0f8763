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

// What the keyring answered: its status and its own words, or KeychainError::noAnswerStatus and
// the answer that may still come.
struct Answer {
  qint32 status;
  QString text;
  std::optional<LateAnswer> late;
};

// Hands the job to the keyring and waits, without blocking the thread, for its status, or for
// KeychainError::noAnswerStatus when the timeout passes first. A job that has not answered by
// then is left running: whether it was carried out is reported through the late answer, and the
// job frees itself. `carriedOut` tells from a status whether the job did what it was asked. The
// job and the hooks belong to the caller's frame, which outlives this wait.
template <typename JobType>
QCoro::Task<Answer> answerOf(JobPointer<JobType>& job, const KeychainStorage::JobStarter& start,
                             DelayScheduler& scheduler, double timeoutSeconds, bool (*carriedOut)(qint32)) {
  Completion<qint32> answered;
  auto jobFinished = std::make_shared<bool>(false);
  QObject::connect(job.get(), &QKeychain::Job::finished, job.get(),
                   [answered, jobFinished](QKeychain::Job* finished) mutable {
                     *jobFinished = true;
                     answered.resolve(finished->error());
                   });
  start(*job);
  const auto timeout = scheduler.schedule(
      timeoutSeconds, [answered]() mutable { answered.resolve(KeychainError::noAnswerStatus); });
  const qint32 status = co_await answered;
  scheduler.cancel(timeout);
  if (*jobFinished)
    co_return Answer{status, job->errorString(), std::nullopt};
  const LateAnswer late;
  JobType* running = job.release();
  QObject::connect(running, &QKeychain::Job::finished, running, [late, carriedOut](QKeychain::Job* finished) {
    late.settle(carriedOut(finished->error()));
    finished->deleteLater();
  });
  co_return Answer{status, QString(), late};
}

bool succeeded(qint32 status) {
  return status == QKeychain::NoError;
}

// A read that found nothing has answered; a removal that found nothing has left nothing.
bool succeededOrAbsent(qint32 status) {
  return status == QKeychain::NoError || status == QKeychain::EntryNotFound;
}

// What stood in the way, from QtKeychain's status and words. Over the Secret Service a missing
// keyring has no status of its own: the bus's error comes as OtherError, and its text names the
// service that is not there or would not start ("The name org.freedesktop.secrets was not
// provided by any .service files"), or the session bus that is missing ("Cannot autolaunch
// D-Bus without X11 $DISPLAY", a failed dbus-launch).
KeychainError::Cause causeOf(const Answer& answer) {
  switch (answer.status) {
  case QKeychain::NoBackendAvailable: return KeychainError::Cause::noService;
  // The Secret Service's "is locked"; KWallet's wallet that was not opened.
  case QKeychain::AccessDenied: return KeychainError::Cause::locked;
  case QKeychain::OtherError:
    if (answer.text.contains(QLatin1String("org.freedesktop.secrets")) ||
        answer.text.contains(QLatin1String("D-Bus")) || answer.text.contains(QLatin1String("dbus-launch")))
      return KeychainError::Cause::noService;
    break;
  default: break;
  }
  return KeychainError::Cause::other;
}

[[noreturn]] void fail(const Answer& answer) {
  if (answer.late)
    throw KeychainError(answer.status, *answer.late);
  throw KeychainError(answer.status, causeOf(answer), answer.text);
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
  const Answer answer = co_await answerOf(job, start, *m_scheduler, m_timeoutSeconds, succeededOrAbsent);
  switch (answer.status) {
  case QKeychain::NoError: co_return job->binaryData();
  case QKeychain::EntryNotFound: co_return std::nullopt;
  default: fail(answer);
  }
}

QCoro::Task<> KeychainStorage::write(QByteArray data, QString account) {
  auto job = prepareJob<QKeychain::WritePasswordJob>(m_service, account);
  job->setBinaryData(data);
  const JobStarter start = m_start;
  const Answer answer = co_await answerOf(job, start, *m_scheduler, m_timeoutSeconds, succeeded);
  if (!succeeded(answer.status))
    fail(answer);
}

QCoro::Task<> KeychainStorage::remove(QString account) {
  auto job = prepareJob<QKeychain::DeletePasswordJob>(m_service, account);
  const JobStarter start = m_start;
  const Answer answer = co_await answerOf(job, start, *m_scheduler, m_timeoutSeconds, succeededOrAbsent);
  if (!succeededOrAbsent(answer.status))
    fail(answer);
}

} // namespace brindlewick
