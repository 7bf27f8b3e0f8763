#pragma once

#include <QList>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QUrl>

namespace brindlewick {

// A request to `url` with QNetworkAccessManager's defaults tightened as every transfer of ours
// wants them: a redirect comes back as a reply and is never followed, nothing is cached, no
// cookie is sent or kept, credentials are never reused, HTTP/1.1 only, a transfer that receives
// nothing for `inactivityTimeoutMilliseconds` fails, and the system's certificates are trusted
// along with `additionalCaCertificates` (the checks themselves are never turned off).
QNetworkRequest tightenedRequest(const QUrl& url, int inactivityTimeoutMilliseconds,
                                 const QList<QSslCertificate>& additionalCaCertificates);

} // namespace brindlewick
