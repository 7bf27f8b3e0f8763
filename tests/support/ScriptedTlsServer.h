#pragma once

#include "TestCertificateAuthority.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QSslServer;
class QSslSocket;

namespace brindlewick {

// A TLS peer that answers every connection with canned bytes, for the faults a real HTTP
// server will not produce: a lying Content-Length, a body without a length, a stall after
// the head, a connection cut mid-body, a compressed bomb. It reads the request head and then
// plays its script; it understands nothing else of HTTP.
class ScriptedTlsServer : public QObject {
  Q_OBJECT
public:
  struct Step {
    enum class Kind { write, close, abort };
    Kind kind;
    QByteArray bytes;

    static Step write(QByteArray bytes) { return {Kind::write, std::move(bytes)}; }
    static Step close() { return {Kind::close, {}}; }
    static Step abort() { return {Kind::abort, {}}; }
  };

  // A script that does not end with close or abort leaves the connection open and silent.
  ScriptedTlsServer(const TlsIdentity& identity, QList<Step> script, QObject* parent = nullptr);
  ~ScriptedTlsServer() override;

  QUrl baseURL() const;
  // The application protocol agreed with the client on each connection, by ALPN.
  const QList<QByteArray>& negotiatedProtocols() const { return m_protocols; }
  bool scriptPlayed() const { return m_played; }

  // The head of a reply: status line, the given header lines, and the blank line.
  static QByteArray head(int status, const QList<QByteArray>& headerLines);
  // A body in chunked transfer coding, cut into chunks of `chunkSize`.
  static QByteArray chunked(const QByteArray& body, int chunkSize = 4096);

private:
  void accept();

  QSslServer* m_server;
  QList<Step> m_script;
  QList<QByteArray> m_protocols;
  QList<QPointer<QSslSocket>> m_sockets;
  bool m_played = false;
};

} // namespace brindlewick
