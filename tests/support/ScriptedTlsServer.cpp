#include "ScriptedTlsServer.h"

#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>

#include <stdexcept>

namespace brindlewick {

ScriptedTlsServer::ScriptedTlsServer(const TlsIdentity& identity, QList<Step> script, QObject* parent)
    : QObject(parent), m_server(new QSslServer(this)), m_script(std::move(script)) {
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setLocalCertificate(identity.certificate);
  tls.setPrivateKey(identity.key);
  tls.setPeerVerifyMode(QSslSocket::VerifyNone); // the client presents no certificate
  // Offered so that a client willing to speak HTTP/2 shows it; the script itself is HTTP/1.1.
  tls.setAllowedNextProtocols({QSslConfiguration::ALPNProtocolHTTP2, QSslConfiguration::NextProtocolHttp1_1});
  m_server->setSslConfiguration(tls);
  connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &ScriptedTlsServer::accept);
  if (!m_server->listen(QHostAddress(QHostAddress::LocalHost), 0)) {
    throw std::runtime_error("scripted server: cannot listen");
  }
}

ScriptedTlsServer::~ScriptedTlsServer() {
  for (const auto& socket : m_sockets) {
    if (socket) {
      socket->abort();
    }
  }
}

QUrl ScriptedTlsServer::baseURL() const {
  return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_server->serverPort()));
}

QByteArray ScriptedTlsServer::head(int status, const QList<QByteArray>& headerLines) {
  QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
  for (const QByteArray& line : headerLines) {
    text += line + "\r\n";
  }
  return text + "\r\n";
}

QByteArray ScriptedTlsServer::chunked(const QByteArray& body, int chunkSize) {
  QByteArray text;
  for (qsizetype offset = 0; offset < body.size(); offset += chunkSize) {
    const QByteArray chunk = body.mid(offset, chunkSize);
    text += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
  }
  return text + "0\r\n\r\n";
}

void ScriptedTlsServer::accept() {
  while (m_server->hasPendingConnections()) {
    auto* socket = qobject_cast<QSslSocket*>(m_server->nextPendingConnection());
    if (!socket) {
      continue;
    }
    m_sockets.append(socket);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::readyRead, this, [this, socket, buffer] {
      if (buffer->contains("\r\n\r\n")) {
        socket->readAll(); // a request body, if any, is of no interest
        return;
      }
      *buffer += socket->readAll();
      const qsizetype end = buffer->indexOf("\r\n\r\n");
      if (end < 0) {
        return;
      }
      m_protocols.append(socket->sslConfiguration().nextNegotiatedProtocol());
      for (const Step& step : m_script) {
        switch (step.kind) {
        case Step::Kind::write:
          socket->write(step.bytes);
          socket->flush();
          break;
        case Step::Kind::close:
          socket->waitForBytesWritten(1000);
          socket->disconnectFromHost();
          break;
        case Step::Kind::abort:
          // Let what was written reach the client first: the cut is meant to come mid-body.
          socket->waitForBytesWritten(1000);
          socket->abort();
          break;
        }
      }
      m_played = true;
    });
  }
}

} // namespace brindlewick
