#include "ReadingService.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>

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

StandInReply jsonReply(int status, const QJsonObject& object) {
  StandInReply reply;
  reply.status = status;
  reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
  return reply;
}

} // namespace

std::optional<QByteArray> LoggedRequest::header(QByteArrayView name) const {
  for (const auto& [key, value] : headers) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) {
      return value;
    }
  }
  return std::nullopt;
}

void StandInAccounts::addReader(const Reader& reader) {
  m_readers[reader.id] = reader;
}

std::optional<StandInAccounts::Reader> StandInAccounts::reader(const QString& id) const {
  const auto it = m_readers.find(id);
  if (it == m_readers.end()) {
    return std::nullopt;
  }
  return it->second;
}

QString StandInAccounts::openSession(const QString& readerId) {
  if (!m_readers.count(readerId)) {
    throw std::invalid_argument("stand-in: unknown reader");
  }
  const QString token = QStringLiteral("stand-in-session-%1").arg(m_nextSession++);
  m_sessions.insert(token, readerId);
  return token;
}

void StandInAccounts::revokeSession(const QString& token) {
  m_sessions.remove(token);
}

std::optional<StandInAccounts::Reader> StandInAccounts::authorize(const LoggedRequest& request) const {
  const auto authorization = request.header("Authorization");
  if (!authorization || !authorization->startsWith("Bearer ")) {
    return std::nullopt;
  }
  const QString token = QString::fromUtf8(authorization->mid(7));
  const auto session = m_sessions.constFind(token);
  if (session == m_sessions.constEnd()) {
    return std::nullopt;
  }
  return reader(*session);
}

ReadingService::ReadingService(const TlsIdentity& identity, QObject* parent)
    : QObject(parent), m_server(new QHttpServer(this)) {
  m_server->sslSetup(identity.certificate, identity.key);
  // Every request goes through one handler, so that each is logged before it is answered.
  m_server->setMissingHandler([this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
    LoggedRequest logged;
    logged.method = methodName(request.method());
    logged.path = request.url().path();
    logged.query = request.url().query(QUrl::FullyEncoded);
    logged.headers = request.headers();
    logged.body = request.body();
    m_log.append(logged);

    const StandInReply reply = dispatch(logged);
    QHttpServerResponse response(reply.contentType, reply.body,
                                 static_cast<QHttpServerResponse::StatusCode>(reply.status));
    for (const auto& [name, value] : reply.headers) {
      response.addHeader(name, value);
    }
    response.write(std::move(responder));
  });
}

ReadingService::~ReadingService() = default;

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

void ReadingService::route(const QByteArray& method, const QString& path, Handler handler) {
  m_routes[{method, path}] = std::move(handler);
}

void ReadingService::setReply(const QByteArray& method, const QString& path, StandInReply reply) {
  route(method, path, [reply](const LoggedRequest&) { return reply; });
}

StandInReply ReadingService::dispatch(const LoggedRequest& request) {
  const auto it = m_routes.find({request.method, request.path});
  if (it == m_routes.end()) {
    return jsonReply(404, {{QStringLiteral("error"), QStringLiteral("not_found")}});
  }
  return it->second(request);
}

} // namespace brindlewick
