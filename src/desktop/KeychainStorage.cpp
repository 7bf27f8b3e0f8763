#include "desktop/KeychainStorage.h"

#include "desktop/BusProperties.h"
#include "foundation/Completion.h"
#include "foundation/DelayScheduler.h"

#include <QDBusVariant>
#include <QRegularExpression>

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
// job frees itself. `carriedOut` tells from a status whether the job did what it was asked,
// which `lockQuery`, when given, confirms: a locked collection answers a removal as if it had. The
// job and the hooks belong to the caller's frame, which outlives this wait.
template <typename JobType>
QCoro::Task<Answer> answerOf(JobPointer<JobType>& job, const KeychainStorage::JobStarter& start,
                             DelayScheduler& scheduler, double timeoutSeconds, bool (*carriedOut)(qint32),
                             const KeychainStorage::LockQuery& lockQuery = {}) {
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
  QObject::connect(running, &QKeychain::Job::finished, running,
                   [late, carriedOut, lockQuery](QKeychain::Job* finished) {
                     finished->deleteLater();
                     if (!carriedOut(finished->error()) || !lockQuery)
                       return late.settle(carriedOut(finished->error()));
                     lockQuery([late](std::optional<bool> locked) { late.settle(!locked.value_or(false)); });
                   });
  co_return Answer{status, QString(), late};
}

// Whether the collection that would hold the item is locked, as far as `query` tells before the
// timeout; one it cannot tell about counts as open, so that an absent secret stays absent.
QCoro::Task<bool> collectionLocked(const KeychainStorage::LockQuery& query, DelayScheduler& scheduler,
                                   double timeoutSeconds) {
  Completion<std::optional<bool>> answered;
  query([answered](std::optional<bool> locked) mutable { answered.resolve(locked); });
  const auto timeout =
      scheduler.schedule(timeoutSeconds, [answered]() mutable { answered.resolve(std::nullopt); });
  const std::optional<bool> locked = co_await answered;
  scheduler.cancel(timeout);
  co_return locked.value_or(false);
}

// QtKeychain keeps its items in the Secret Service's default collection. A keyring without one,
// or without the Secret Service (KWallet), tells nothing.
void askSecretService(int timeoutMilliseconds, std::function<void(std::optional<bool>)> answer) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets/aliases/default"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
  // The service has just answered the request; one that has gone since is not started again.
  get.setAutoStartService(false);
  // Bound to the application, which outlives every store and takes a pending call with it.
  callWithoutWaiting(
      QDBusConnection::sessionBus(), get, timeoutMilliseconds, QCoreApplication::instance(),
      [answer = std::move(answer)](const QDBusMessage& reply) {
        const QVariant locked = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1
                                    ? qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant()
                                    : QVariant();
        answer(locked.typeId() == QMetaType::Bool ? std::optional(locked.toBool()) : std::nullopt);
      });
}

[[noreturn]] void failLocked() {
  throw KeychainError(QKeychain::AccessDenied, KeychainError::Cause::locked);
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
// provided by any .service files"). A session bus that cannot be reached comes the same way:
// an address left from an earlier session ("Could not connect: No such file or directory", or
// "…: Connection refused"), or none to be had ("Cannot autolaunch D-Bus without X11 $DISPLAY",
// a failed dbus-launch). So does a keyring that holds the service's name and never answers:
// each of libsecret's calls gives up after GDBus's 25 s with GLib's "Timeout was reached", as
// a call through QtDBus does with "Did not receive a reply…". GLib's words follow the reader's
// language: in another one such a keyring reads as an error in its own words.
KeychainError::Cause causeOf(const Answer& answer) {
  switch (answer.status) {
  case QKeychain::NoBackendAvailable: return KeychainError::Cause::noService;
  // The Secret Service's "is locked"; KWallet's wallet that was not opened.
  case QKeychain::AccessDenied: return KeychainError::Cause::locked;
  case QKeychain::OtherError:
    if (answer.text.startsWith(QLatin1String("Could not connect")) ||
        answer.text.contains(QLatin1String("autolaunch")) ||
        answer.text.contains(QLatin1String("dbus-launch")))
      return KeychainError::Cause::noSessionBus;
    // A call that timed out is a keyring that did not answer, whichever name its words give.
    if (answer.text.contains(QLatin1String("Timeout was reached")) ||
        answer.text.contains(QLatin1String("Did not receive a reply")))
      return KeychainError::Cause::noAnswer;
    if (answer.text.contains(QLatin1String("org.freedesktop.secrets")))
      return KeychainError::Cause::noService;
    break;
  default: break;
  }
  return KeychainError::Cause::other;
}

// The session bus's address as the session gives it, without the bus's guid, which tells the
// reader nothing; empty when the session names none.
QString sessionBusAddress() {
  static const QRegularExpression guid(QStringLiteral(",guid=[0-9a-fA-F]*"));
  return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").remove(guid).trimmed();
}

[[noreturn]] void fail(const Answer& answer) {
  if (answer.late)
    throw KeychainError(answer.status, *answer.late);
  const KeychainError::Cause cause = causeOf(answer);
  throw KeychainError(answer.status, cause,
                      cause == KeychainError::Cause::noSessionBus ? sessionBusAddress() : answer.text);
}

void startJob(QKeychain::Job& job) {
  job.start();
}

} // namespace

KeychainStorage::KeychainStorage(QString service, double timeoutSeconds, DelayScheduler* scheduler,
                                 JobStarter start, LockQuery lockQuery)
    : m_service(std::move(service)), m_timeoutSeconds(timeoutSeconds),
      m_scheduler(scheduler ? scheduler : &DelayScheduler::system()),
      m_start(start ? std::move(start) : startJob),
      m_lockQuery(lockQuery ? std::move(lockQuery)
                            : [milliseconds = int(timeoutSeconds * 1000)](auto answer) {
                                askSecretService(milliseconds, std::move(answer));
                              }) {}

// The operations copy what they need before their first suspension and touch no member after
// it, so a store destroyed while the keyring answers leaves nothing dangling.

QCoro::Task<std::optional<QByteArray>> KeychainStorage::read(QString account) {
  auto job = prepareJob<QKeychain::ReadPasswordJob>(m_service, account);
  const JobStarter start = m_start;
  const LockQuery lockQuery = m_lockQuery;
  DelayScheduler& scheduler = *m_scheduler;
  const double timeoutSeconds = m_timeoutSeconds;
  const Answer answer = co_await answerOf(job, start, scheduler, timeoutSeconds, succeededOrAbsent);
  switch (answer.status) {
  case QKeychain::NoError: co_return job->binaryData();
  case QKeychain::EntryNotFound:
    if (co_await collectionLocked(lockQuery, scheduler, timeoutSeconds))
      failLocked();
    co_return std::nullopt;
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
  const LockQuery lockQuery = m_lockQuery;
  DelayScheduler& scheduler = *m_scheduler;
  const double timeoutSeconds = m_timeoutSeconds;
  const Answer answer =
      co_await answerOf(job, start, scheduler, timeoutSeconds, succeededOrAbsent, lockQuery);
  if (!succeededOrAbsent(answer.status))
    fail(answer);
  if (co_await collectionLocked(lockQuery, scheduler, timeoutSeconds))
    failLocked();
}

} // namespace brindlewick
