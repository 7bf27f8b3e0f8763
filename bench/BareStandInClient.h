#pragma once

#include "StandInHarness.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>

#include <memory>

namespace brindlewick {

// GETs with a bearer token through a bare QNetworkAccessManager that trusts the stand-in: the
// baseline the account benchmarks measure the controller's requests against. One manager for
// every request, so that connections are reused as the controller's client reuses them.
class BareStandInClient {
public:
  BareStandInClient(StandInHarness& harness, const QString& token)
      : m_baseURL(harness.service().baseURL()), m_authorization("Bearer " + token.toUtf8()) {
    m_tls.addCaCertificates({harness.authority().certificate()});
  }

  // The body of `path`, read whole.
  QByteArray get(const QString& path) {
    QNetworkRequest request(m_baseURL.resolved(QUrl(path, QUrl::StrictMode)));
    request.setSslConfiguration(m_tls);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Authorization", m_authorization);
    std::unique_ptr<QNetworkReply> reply(m_manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return reply->readAll();
  }

private:
  QNetworkAccessManager m_manager;
  QSslConfiguration m_tls = QSslConfiguration::defaultConfiguration();
  QUrl m_baseURL;
  QByteArray m_authorization;
};

} // namespace brindlewick
