#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace brindlewick {

namespace {

// The running instance's answer, one line each.
constexpr QByteArrayView acceptedAnswer = "accepted\n";
constexpr QByteArrayView refusedAnswer = "refused\n";
// The copy is ending for a later start to run in its place: this start is to run, or to reach
// the one that does.
constexpr QByteArrayView giveWayAnswer = "give way\n";
constexpr qsizetype maximumAnswerBytes = 64;
// Between two tries while a copy lets go, and while another start holds the lock.
constexpr unsigned long settlePauseMilliseconds = 50;
constexpr unsigned long lockPauseMilliseconds = 10;

// Nothing the program may remove on its own: the reader's, wherever it came from.
const QString folderInTheWay = QStringLiteral(
    "a folder is in the way there. Remove or rename that folder, then start Brindlewick again");

QString lockProblem(QLockFile::LockError error) {
  switch (error) {
  case QLockFile::LockFailedError: return QStringLiteral("another start of Brindlewick still holds it");
  case QLockFile::PermissionError: return QStringLiteral("permission denied");
  case QLockFile::NoError:
  case QLockFile::UnknownError: break;
  }
  return QStringLiteral("unknown error");
}

// QLockFile's own wait doubles its pauses up to seconds, so that starts that come together
// (a double click, a launcher and a link at once) would wait seconds for a lock held for
// milliseconds: this one looks again every few.
bool takeLock(QLockFile& lock, std::chrono::milliseconds timeout) {
  const QDeadlineTimer deadline(timeout);
  while (!lock.tryLock(0)) {
    if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
      return false;
    QThread::msleep(lockPauseMilliseconds);
  }
  return true;
}

int remainingMilliseconds(const QDeadlineTimer& deadline) {
  return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

} // namespace

QString SingleInstance::defaultFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::SingleInstance(QString folder, Limits limits, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_limits(limits) {}

SingleInstance::~SingleInstance() {
  stopListening();
}

void SingleInstance::stopListening() {
  if (m_server == nullptr || !m_server->isListening())
    return;
  // Closing removes the socket file. Under the lock, so that a start which has just found
  // the socket dead and put up its own cannot lose it to this removal.
  QLockFile lock(lockPath());
  takeLock(lock, m_limits.lockTimeout);
  m_server->close();
}

QString SingleInstance::socketPath() const {
  return QDir(m_folder).filePath(socketName);
}

QString SingleInstance::lockPath() const {
  return QDir(m_folder).filePath(lockName);
}

SingleInstance::Role SingleInstance::start(const LaunchRequest& request) {
  if (m_folder.isEmpty())
    throw SingleInstanceError(QStringLiteral("There is no private runtime folder for Brindlewick's socket."));
  // QLockFile would wait for a folder as for a lock another start holds, then say so.
  if (QFileInfo(lockPath()).isDir())
    throw SingleInstanceError(
        QStringLiteral("Could not take the lock %1: %2.").arg(lockPath(), folderInTheWay));
  // A copy that gives way, or ends under this start's request, lets go in a moment: meanwhile
  // this start tries again, until it reaches the copy that took over or becomes it.
  const QDeadlineTimer settling(m_limits.settleTimeout);
  for (;;) {
    QLockFile lock(lockPath());
    if (!takeLock(lock, m_limits.lockTimeout))
      throw SingleInstanceError(
          QStringLiteral("Could not take the lock %1: %2.").arg(lockPath(), lockProblem(lock.error())));

    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(static_cast<int>(m_limits.answerTimeout.count()))) {
      // No file, or a file nobody listens on (its instance was killed or gave way): this start
      // runs. Any other failure leaves the question open, and a second instance must not start
      // on a guess.
      if (socket.error() != QLocalSocket::ServerNotFoundError &&
          socket.error() != QLocalSocket::ConnectionRefusedError)
        throw SingleInstanceError(QStringLiteral("Could not reach the running Brindlewick at %1: %2.")
                                      .arg(socketPath(), socket.errorString()));
      listen(); // still under the lock
      return Role::running;
    }
    lock.unlock(); // the request may take a while; other starts need not wait for it
    if (forward(socket, request, settling.hasExpired()) == Handover::taken)
      return Role::forwarded;
    QThread::msleep(settlePauseMilliseconds);
  }
}

void SingleInstance::listen() {
  QLocalServer::removeServer(socketPath());
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(socketPath())) {
    // A file or a dead socket there was removed above; a folder cannot be, and Qt names it only
    // by its error number.
    const QString problem = QFileInfo(socketPath()).isDir() ? folderInTheWay : server->errorString();
    delete server;
    throw SingleInstanceError(
        QStringLiteral("Could not listen for later starts at %1: %2.").arg(socketPath(), problem));
  }
  m_server = server;
  connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::Handover SingleInstance::forward(QLocalSocket& socket, const LaunchRequest& request,
                                                 bool lastTry) {
  const auto fail = [](const QString& problem) {
    throw SingleInstanceError(
        QStringLiteral("Brindlewick is already running but did not take this request: %1.").arg(problem),
        SingleInstanceError::Stage::handingOver);
  };
  const QByteArray line = request.toJson() + '\n';
  if (line.size() > m_limits.maximumRequestBytes)
    fail(QStringLiteral("the request is larger than %1 bytes").arg(m_limits.maximumRequestBytes));

  const QDeadlineTimer deadline(m_limits.answerTimeout);
  // The copy closed the connection before it answered: it is ending (it gave way, or it was
  // killed), and had nothing to refuse. Tried again while the copies settle.
  const auto closedUnanswered = [&] {
    if (deadline.hasExpired() || socket.state() == QLocalSocket::ConnectedState)
      return false;
    if (lastTry)
      fail(socket.errorString());
    return true;
  };
  socket.write(line);
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(remainingMilliseconds(deadline))) {
      if (closedUnanswered())
        return Handover::closed;
      fail(socket.errorString());
    }
  }
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(remainingMilliseconds(deadline))) {
      if (closedUnanswered())
        return Handover::closed;
      fail(deadline.hasExpired() ? QStringLiteral("it gave no answer in time") : socket.errorString());
    }
    answer += socket.read(maximumAnswerBytes - answer.size());
    if (answer.size() >= maximumAnswerBytes && !answer.contains('\n'))
      fail(QStringLiteral("its answer was not understood"));
  }
  if (answer == acceptedAnswer)
    return Handover::taken;
  if (answer == giveWayAnswer) {
    if (lastTry)
      fail(QStringLiteral("it is ending for another start, and none took its place in time"));
    return Handover::giveWay;
  }
  fail(answer == refusedAnswer ? QStringLiteral("it refused the request")
                               : QStringLiteral("its answer was not understood"));
  return Handover::closed; // not reached: fail throws
}

void SingleInstance::giveWayWhen(QObject* context, std::function<bool(const LaunchRequest&)> yields) {
  m_yieldContext = context;
  m_yields = std::move(yields);
}

QByteArrayView SingleInstance::answer(const LaunchRequest& request) {
  if (!m_givingWay && m_yieldContext && m_yields && m_yields(request)) {
    m_givingWay = true;
    // Before the answer goes out: the start told to give way, and every start after it, must
    // find no socket of this copy's when it tries again. The connections it has accepted stay
    // open, and are answered "give way" as their requests come.
    stopListening();
    QMetaObject::invokeMethod(this, &SingleInstance::gaveWay, Qt::QueuedConnection);
  }
  return m_givingWay ? giveWayAnswer : acceptedAnswer;
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    // Bounded in size and in time, so a client that sends too much or too little cannot hold
    // memory or keep the connection.
    socket->setReadBufferSize(m_limits.maximumRequestBytes);
    QTimer::singleShot(m_limits.readTimeout, socket, [socket] {
      socket->abort();
      socket->deleteLater();
    });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= m_limits.maximumRequestBytes) {
          socket->abort();
          socket->deleteLater();
        }
        return;
      }
      QByteArray line = socket->readLine();
      line.chop(1);
      disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
      const std::optional<LaunchRequest> request = LaunchRequest::fromJson(line);
      // Answer first: whatever the request leads to (a modal alert, say) must not keep the
      // other start waiting.
      const QByteArrayView given = request ? answer(*request) : refusedAnswer;
      socket->write(given.toByteArray());
      socket->disconnectFromServer();
      // Handed on once this handler has returned: what the request leads to may spin an event
      // loop of its own (a modal alert), in which the socket would be deleted under this
      // handler and Qt's own caller of it.
      if (given == acceptedAnswer)
        QMetaObject::invokeMethod(
            this, [this, delivered = *request] { deliver(delivered); }, Qt::QueuedConnection);
    });
  }
}

void SingleInstance::deliver(const LaunchRequest& request) {
  switch (request.kind) {
  case LaunchRequest::Kind::reopen: Q_EMIT reopenRequested(request); return;
  case LaunchRequest::Kind::openLinks: Q_EMIT linksReceived(request); return;
  case LaunchRequest::Kind::action: Q_EMIT actionRequested(request); return;
  }
}

} // namespace brindlewick
