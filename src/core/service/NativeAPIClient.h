#pragma once

#include "foundation/DelayScheduler.h"
#include "service/APITransport.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include <memory>
#include <optional>
#include <set>

class QNetworkAccessManager;
class QNetworkRequest;

namespace brindlewick {

// The HTTPS transport to the reading service, on QNetworkAccessManager with its defaults
// tightened: redirects come back as replies and are never followed, no cookie is kept or
// sent, nothing is cached, credentials are never reused, the whole transfer has a deadline
// besides Qt's inactivity time-out, and the body is read in bounded chunks and capped.
class NativeAPIClient : public QObject, public APITransport {
  Q_OBJECT
public:
  // The absolute cap on any reply body, whatever limit a caller asks for.
  static constexpr qint64 maximumResponseBytes = 10485760;

  struct Options {
    // Certificates trusted besides the system's: the stand-in service's test authority.
    // Certificate checks themselves are never turned off.
    QList<QSslCertificate> additionalCaCertificates;
    // The clock of the whole-transfer deadline; the system's boot-time scheduler when null.
    DelayScheduler* scheduler = nullptr;
    // No transfer lasts longer than this.
    double transferDeadlineSeconds = 60.0;
    // A transfer that receives nothing for this long fails.
    int inactivityTimeoutMilliseconds = 30000;
  };

  // No address means a build without a service: every send then fails with
  // ConfigurationError(missingAPI) without touching the network.
  explicit NativeAPIClient(std::optional<QUrl> baseURL, QObject* parent = nullptr);
  NativeAPIClient(std::optional<QUrl> baseURL, Options options, QObject* parent = nullptr);
  // Cancels every transfer still running; their sends fail with unavailable.
  ~NativeAPIClient() override;

  QCoro::Task<APIResponse> send(QString path, QString method, std::optional<QByteArray> body,
                                std::optional<QString> token, qint64 limit,
                                CancellationToken cancellation) override;
  QCoro::Task<APIResponse> send(QString path, QString method, std::optional<QByteArray> body,
                                std::optional<QString> token, qint64 limit, std::optional<QString> etag,
                                CancellationToken cancellation) override;

  // A plain GET of an absolute https address outside the service (a profile photo), sent
  // without a token and with `accept` as its Accept header, under the same rules as send():
  // no cookies, no cache, HTTP/1.1, the deadline and the capped read. A redirect to https on
  // the same host and port is followed, at most maximumRedirects times; any other redirect
  // throws ServiceError::invalidResponse, and nothing is sent to where it points. Throws
  // ServiceError::invalidRequest for an address that is not https, has no host or carries
  // a user name or password (nothing is sent), and what send() throws. A reply that is not a
  // redirect comes back whatever its status. Needs no service address.
  QCoro::Task<APIResponse> fetch(QUrl address, QByteArray accept, qint64 limit,
                                 CancellationToken cancellation);
  static constexpr int maximumRedirects = 3;
  // Whether fetch() may send to `address`. Inline: the update feed's reader checks its
  // addresses by it too, also where this client is not built (the feed's fuzz target).
  static bool isFetchable(const QUrl& address) {
    return address.isValid() && address.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
           !address.host().isEmpty() && address.userName().isEmpty() && address.password().isEmpty();
  }

private:
  // One request in flight: its reply, the bytes read so far and how it ends.
  struct Transfer;

  // The checks that refuse a request before anything is sent, and the request they allow.
  QNetworkRequest buildRequest(const QString& path, const QString& method, bool hasBody, qint64 limit,
                               const std::optional<QString>& token, const std::optional<QString>& etag) const;
  // A request to `url` with the tightened defaults (tightenedRequest(): manual redirects, no
  // cookies, cache or reused credentials, HTTP/1.1, the inactivity time-out and the trusted
  // certificates), without Qt's decompression guard: the body's cap guards instead.
  QNetworkRequest tightenedRequest(const QUrl& url) const;
  // One request, sent and read under the deadline, the cap and `cancellation`.
  QCoro::Task<APIResponse> transfer(QNetworkRequest request, QString method, std::optional<QByteArray> body,
                                    qint64 limit, CancellationToken cancellation);
  void start(const std::shared_ptr<Transfer>& transfer, const QNetworkRequest& request, const QString& method,
             const std::optional<QByteArray>& body);
  void finish(const std::shared_ptr<Transfer>& transfer);

  std::optional<QUrl> m_baseURL;
  Options m_options;
  DelayScheduler* m_scheduler;
  QNetworkAccessManager* m_manager;
  std::set<std::shared_ptr<Transfer>> m_transfers;
};

} // namespace brindlewick
