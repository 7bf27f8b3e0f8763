#pragma once

#include "app/LaunchRequest.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace brindlewick {

// A start of the reader that could neither become the running instance nor hand its request
// to the running one. The message says which and why; no second instance runs.
class SingleInstanceError : public std::exception {
public:
  // How far the start got: it could not become or find the running instance, or it reached
  // the running one, which did not take its request (that copy runs on; only the request is lost).
  enum class Stage { starting, handingOver };

  explicit SingleInstanceError(const QString& message, Stage stage = Stage::starting)
      : m_what(message.toUtf8()), m_stage(stage) {}
  QString description() const { return QString::fromUtf8(m_what); }
  Stage stage() const { return m_stage; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QByteArray m_what;
  Stage m_stage;
};

// The bounds SingleInstance keeps; tests shorten them.
struct SingleInstanceLimits {
  // A request larger than this (its JSON and the line feed) is refused unread.
  qsizetype maximumRequestBytes = 64 * 1024;
  // The running instance drops a client that has not sent its whole request by then.
  std::chrono::milliseconds readTimeout{2000};
  // A later start waits this long for the running instance to take its request.
  std::chrono::milliseconds answerTimeout{5000};
  // How long a start waits while another one holds the lock.
  std::chrono::milliseconds lockTimeout{5000};
  // How long a start keeps trying while the copy it reached lets go (it gave way to a later
  // start, or ended under this one's request): then it reaches the copy that took over, or
  // becomes it.
  std::chrono::milliseconds settleTimeout{10000};
};

// One reader per user. The first start listens on a local socket that only this user can
// reach; every later start sends its LaunchRequest there, waits a bounded time for the
// answer and ends. A socket left behind by a killed instance is replaced; the probe, that
// removal and listening happen under a lock file, so two starts after a crash cannot remove
// each other's socket. A running copy may give way to a later start (see giveWayWhen): it stops
// listening, tells that start and every one that reaches it afterwards to give way, and ends;
// those starts then race for the lock as after a crash, and the one that wins runs as itself.
// Diagnostic launches take no part. Main thread only.
class SingleInstance final : public QObject {
  Q_OBJECT

public:
  using Limits = SingleInstanceLimits;

  enum class Role { running, forwarded };

  static inline const QString socketName = QStringLiteral("app.brindlewick.socket");
  static inline const QString lockName = QStringLiteral("app.brindlewick.lock");

  // This user's runtime folder, private to the user.
  static QString defaultFolder();

  // The socket and lock file go into `folder`, which must be private to this user.
  explicit SingleInstance(QString folder = defaultFolder(), Limits limits = {}, QObject* parent = nullptr);
  // A running instance stops listening and removes its socket, under the lock.
  ~SingleInstance() override;

  // Becomes the running instance (listening from now on; requests arrive as signals once the
  // event loop runs, so connect them first), or hands `request` to the one that runs and
  // returns once it took it. Throws SingleInstanceError when neither worked. Call once.
  Role start(const LaunchRequest& request);

  // From now on, while `context` lives, the running instance gives way to the first later start
  // whose request `yields` answers true for: it stops listening, answers that start and every
  // later one that still reaches it "give way" (never "accepted" for what it will not carry
  // out), and then emits gaveWay(), after which the program is to end.
  void giveWayWhen(QObject* context, std::function<bool(const LaunchRequest&)> yields);
  bool givingWay() const { return m_givingWay; }

  QString socketPath() const;
  QString lockPath() const;

Q_SIGNALS:
  // A later start with no arguments: bring the reader window back.
  void reopenRequested(const brindlewick::LaunchRequest& request);
  // A later start with links (request.links, as given).
  void linksReceived(const brindlewick::LaunchRequest& request);
  // A later start with a launcher action (request.action).
  void actionRequested(const brindlewick::LaunchRequest& request);
  // This instance gave way to a later start and listens no more (queued after the answer).
  void gaveWay();

private:
  // How a request handed to the running instance fared.
  enum class Handover { taken, giveWay, closed };

  void listen();
  Handover forward(QLocalSocket& socket, const LaunchRequest& request, bool lastTry);
  void acceptConnections();
  QByteArrayView answer(const LaunchRequest& request);
  void stopListening();
  void deliver(const LaunchRequest& request);

  QString m_folder;
  Limits m_limits;
  QLocalServer* m_server = nullptr;
  QPointer<QObject> m_yieldContext;
  std::function<bool(const LaunchRequest&)> m_yields;
  bool m_givingWay = false;
};

} // namespace brindlewick
