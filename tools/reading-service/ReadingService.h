#pragma once

#include "TestCertificateAuthority.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <optional>

class QHttpServer;
class QHttpServerRequest;

namespace brindlewick {

// One request as the stand-in received it, before any route ran.
struct LoggedRequest {
  QByteArray method;
  QString path;
  QString query;
  QList<QPair<QByteArray, QByteArray>> headers;
  QByteArray body;

  // The value of a header, its name compared without regard to case.
  std::optional<QByteArray> header(QByteArrayView name) const;
};

// What a route answers.
struct StandInReply {
  int status = 200;
  QList<QPair<QByteArray, QByteArray>> headers;
  QByteArray body;
  QByteArray contentType = "application/json";
};

// The readers and sessions the stand-in knows, in memory only.
class StandInAccounts {
public:
  struct Reader {
    QString id;
    QString name;
    QString email;
  };

  void addReader(const Reader& reader);
  std::optional<Reader> reader(const QString& id) const;
  // Opens a session for a known reader and returns its bearer token.
  QString openSession(const QString& readerId);
  void revokeSession(const QString& token);
  // The reader of the request's bearer token, when it names an open session.
  std::optional<Reader> authorize(const LoggedRequest& request) const;

private:
  std::map<QString, Reader> m_readers;
  QHash<QString, QString> m_sessions; // token -> reader id
  int m_nextSession = 1;
};

// A stand-in for the reading service over HTTPS on the loopback interface, on Qt HTTP Server.
// Tests run it in the same process; it also runs alone (tools/reading-service/main.cpp).
// Every request is logged before it is routed, so a test can prove that nothing was sent.
class ReadingService : public QObject {
  Q_OBJECT
public:
  using Handler = std::function<StandInReply(const LoggedRequest&)>;

  explicit ReadingService(const TlsIdentity& identity, QObject* parent = nullptr);
  ~ReadingService() override;

  // Listens on 127.0.0.1 (any free port for 0) and returns the port; throws when it cannot.
  quint16 listen(quint16 port = 0);
  // "https://127.0.0.1:<port>": the address a client is configured with.
  QUrl baseURL() const;

  // Answers `method` on `path` (the path without its query); a later route replaces an earlier one.
  void route(const QByteArray& method, const QString& path, Handler handler);
  // A fixed answer, for replies whose shape a test chooses.
  void setReply(const QByteArray& method, const QString& path, StandInReply reply);

  StandInAccounts& accounts() { return m_accounts; }

  const QList<LoggedRequest>& requestLog() const { return m_log; }
  void clearRequestLog() { m_log.clear(); }

private:
  StandInReply dispatch(const LoggedRequest& request);

  QHttpServer* m_server;
  quint16 m_port = 0;
  std::map<std::pair<QByteArray, QString>, Handler> m_routes;
  StandInAccounts m_accounts;
  QList<LoggedRequest> m_log;
};

} // namespace brindlewick
