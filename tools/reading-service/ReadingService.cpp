#include "ReadingService.h"

#include "AccountRoutes.h"
#include "ContentRoutes.h"
#include "SignInRoutes.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QPointer>
#include <QTcpSocket>

#include <algorithm>
#include <stdexcept>

namespace brindlewick {

namespace {

QByteArray methodName(QHttpServerRequest::Method method) {
  switch (method) {
  case QHttpServerRequest::Method::Get: return "GET";
  case QHttpServerRequest::Method::Put: return "PUT";
  case QHttpServerRequest::Method::Delete: return "DELETE";
  case QHttpServerRequest::Method::Post: return "POST";
  case QHttpServerRequest::Method::Head: return "HEAD";
  case QHttpServerRequest::Method::Options: return "OPTIONS";
  case QHttpServerRequest::Method::Patch: return "PATCH";
  case QHttpServerRequest::Method::Connect: return "CONNECT";
  case QHttpServerRequest::Method::Trace: return "TRACE";
  default: return "UNKNOWN";
  }
}

// The entry of `map` for the request: its exact path first, then the path's parent with "{id}".
template <typename Map> auto findRoute(Map& map, const QByteArray& method, const QString& path) {
  auto found = map.find({method, path});
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (found == map.end() && slash >= 0 && slash + 1 < path.size()) {
    found = map.find({method, path.left(slash + 1) + QStringLiteral("{id}")});
  }
  return found;
}

} // namespace

struct ReadingService::PendingReply {
  QHttpServerResponder responder;
  QPointer<QTcpSocket> socket;
  StandInReply reply;
};

ReadingService::ReadingService(const TlsIdentity& identity, QObject* parent)
    : ReadingService(identity, systemNow, DelayScheduler::system(), parent) {}

ReadingService::ReadingService(const TlsIdentity& identity, NowSource now, DelayScheduler& scheduler,
                               QObject* parent)
    : QObject(parent), m_server(new QHttpServer(this)), m_scheduler(scheduler), m_accounts(now),
      m_grants(now) {
  m_server->sslSetup(identity.certificate, identity.key);
  // Every request goes through one handler, so that each is logged before it is answered.
  m_server->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
    LoggedRequest logged;
    logged.method = methodName(request.method());
    logged.path = request.url().path();
    logged.query = request.url().query(QUrl::FullyEncoded);
    logged.headers = request.headers();
    logged.body = request.body();
    receive(std::move(logged), std::move(responder));
  });
  installSignInRoutes(*this);
  installAccountRoutes(*this);
  installContentRoutes(*this);
  m_updates.install(*this);
}

ReadingService::~ReadingService() {
  for (const DelayScheduler::TimerId id : m_delayed) {
    m_scheduler.cancel(id);
  }
}

quint16 ReadingService::listen(quint16 port) {
  m_port = m_server->listen(QHostAddress(QHostAddress::LocalHost), port);
  if (m_port == 0) {
    throw std::runtime_error("stand-in: cannot listen on the loopback interface");
  }
  return m_port;
}

QUrl ReadingService::baseURL() const {
  return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_port));
}

void ReadingService::publishPhoto(const QString& name, QByteArray bytes, QByteArray contentType) {
  StandInReply reply;
  reply.body = std::move(bytes);
  reply.contentType = std::move(contentType);
  m_photos[name] = std::move(reply);
}

QUrl ReadingService::photoURL(const QString& name) const {
  QUrl url = baseURL();
  url.setPath(QStringLiteral("/photos/") + name);
  return url;
}

std::optional<StandInReply> ReadingService::photo(const QString& name) const {
  const auto found = m_photos.find(name);
  if (found == m_photos.end()) {
    return std::nullopt;
  }
  return found->second;
}

void ReadingService::route(const QByteArray& method, const QString& pattern, Handler handler) {
  m_scripted[{method, pattern}] = std::move(handler);
}

void ReadingService::setReply(const QByteArray& method, const QString& pattern, StandInReply reply) {
  route(method, pattern, [reply](const LoggedRequest&) { return reply; });
}

void ReadingService::removeRoute(const QByteArray& method, const QString& pattern) {
  m_scripted.erase({method, pattern});
}

void ReadingService::serve(const QByteArray& method, const QString& pattern, Handler handler) {
  m_builtIn[{method, pattern}] = std::move(handler);
}

void ReadingService::serve(const QByteArray& method, const QString& pattern, ServiceHandler handler) {
  serve(method, pattern, [this, handler](const LoggedRequest& request) { return handler(*this, request); });
}

void ReadingService::serveSignedIn(const QByteArray& method, const QString& pattern, SessionHandler handler) {
  serve(method, pattern, [this, handler](const LoggedRequest& request) {
    const auto session = m_accounts.authorize(request);
    return session ? handler(*this, request, *session) : StandInReply::unauthorized();
  });
}

void ReadingService::addFault(const QByteArray& method, const QString& pattern, StandInFault fault) {
  m_faults[{method, pattern}].push_back(std::move(fault));
}

void ReadingService::clearFaults() {
  m_faults.clear();
}

int ReadingService::heldReplies() const {
  return static_cast<int>(std::count_if(m_held.begin(), m_held.end(), [](const auto& pending) {
    return pending->socket && pending->socket->state() == QAbstractSocket::ConnectedState;
  }));
}

int ReadingService::releaseHeld() {
  std::deque<std::shared_ptr<PendingReply>> held;
  held.swap(m_held);
  int written = 0;
  for (const auto& pending : held) {
    written += write(*pending) ? 1 : 0;
  }
  return written;
}

QStringList ReadingService::placesOf(const QString& secret) const {
  QStringList places;
  const QByteArray bytes = secret.toUtf8();
  for (const LoggedRequest& request : m_log) {
    const QString where =
        QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path + QLatin1Char(' ');
    if (request.path.contains(secret)) {
      places << where + QStringLiteral("path");
    }
    if (request.query.contains(secret) ||
        QByteArray::fromPercentEncoding(request.query.toUtf8()).contains(bytes)) {
      places << where + QStringLiteral("query");
    }
    for (const auto& [name, value] : request.headers) {
      if (value.contains(bytes)) {
        places << where + QStringLiteral("header ") + QString::fromLatin1(name.toLower());
      }
    }
    if (request.body.contains(bytes)) {
      places << where + QStringLiteral("body");
    }
  }
  return places;
}

void ReadingService::receive(LoggedRequest request, QHttpServerResponder&& responder) {
  m_log.append(request);
  Q_EMIT requestReceived(request);
  const std::optional<StandInFault> fault = takeFault(request);
  if (fault && fault->onRequest) {
    fault->onRequest(request);
  }
  StandInReply reply;
  if (fault && (fault->status || fault->body)) {
    const int status = fault->status.value_or(200);
    reply = fault->body ? StandInReply::json(status, *fault->body) : StandInReply::empty(status);
  } else {
    reply = dispatch(request);
  }
  if (fault) {
    for (const auto& [name, value] : fault->headers) {
      reply.setHeader(name, value);
    }
    for (const QByteArray& name : fault->removedHeaders) {
      reply.removeHeader(name);
    }
  }
  QPointer<QTcpSocket> socket = responder.socket();
  auto pending = std::make_shared<PendingReply>(PendingReply{std::move(responder), socket, std::move(reply)});
  if (fault && (fault->hold || fault->delay > 0)) {
    deliverLater(std::move(pending), *fault);
  } else {
    write(*pending);
  }
}

StandInReply ReadingService::dispatch(const LoggedRequest& request) {
  if (const auto scripted = findRoute(m_scripted, request.method, request.path);
      scripted != m_scripted.end()) {
    return scripted->second(request);
  }
  if (const auto builtIn = findRoute(m_builtIn, request.method, request.path); builtIn != m_builtIn.end()) {
    return builtIn->second(request);
  }
  return StandInReply::error(404, QLatin1StringView("not_found"));
}

std::optional<StandInFault> ReadingService::takeFault(const LoggedRequest& request) {
  const auto found = findRoute(m_faults, request.method, request.path);
  if (found == m_faults.end() || found->second.empty()) {
    return std::nullopt;
  }
  StandInFault& first = found->second.front();
  StandInFault fault = first;
  if (first.times != StandInFault::always && --first.times <= 0) {
    found->second.pop_front();
  }
  return fault;
}

void ReadingService::deliverLater(std::shared_ptr<PendingReply> pending, const StandInFault& fault) {
  if (fault.hold) {
    m_held.push_back(std::move(pending));
    return;
  }
  auto id = std::make_shared<DelayScheduler::TimerId>(0);
  *id = m_scheduler.schedule(fault.delay, [this, id, pending] {
    m_delayed.erase(*id);
    write(*pending);
  });
  m_delayed.insert(*id);
}

bool ReadingService::write(PendingReply& pending) {
  if (!pending.socket || pending.socket->state() != QAbstractSocket::ConnectedState) {
    return false; // the client has gone; its responder is dropped unwritten
  }
  const StandInReply& reply = pending.reply;
  const auto status = static_cast<QHttpServerResponse::StatusCode>(reply.status);
  QHttpServerResponse response = reply.contentType.isEmpty()
                                     ? QHttpServerResponse(reply.body, status)
                                     : QHttpServerResponse(reply.contentType, reply.body, status);
  for (const auto& [name, value] : reply.headers) {
    response.addHeader(name, value);
  }
  response.write(std::move(pending.responder));
  return true;
}

} // namespace brindlewick
