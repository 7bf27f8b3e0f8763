#include "service/TightenedRequest.h"

#include <QSslConfiguration>

namespace brindlewick {

QNetworkRequest tightenedRequest(const QUrl& url, int inactivityTimeoutMilliseconds,
                                 const QList<QSslCertificate>& additionalCaCertificates) {
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
  // Qt's HTTP/2 code grants the server more flow-control window as bytes arrive, not as the
  // reply is read, so a bounded read buffer would bound nothing; HTTP/1.1 honours it.
  request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
  request.setTransferTimeout(inactivityTimeoutMilliseconds);
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  if (!additionalCaCertificates.isEmpty())
    tls.addCaCertificates(additionalCaCertificates);
  request.setSslConfiguration(tls);
  return request;
}

} // namespace brindlewick
