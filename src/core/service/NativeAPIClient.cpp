#include "service/NativeAPIClient.h"

#include "foundation/Completion.h"
#include "service/BuildConfiguration.h"
#include "service/ServiceError.h"
#include "service/TightenedRequest.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <vector>

namespace brindlewick {

namespace {

// Qt reads the socket into a reply buffer of this size at most; the body is taken from it in
// chunks, so a hostile reply can never make the process hold more than the limit plus this.
constexpr qint64 readBufferBytes = 64 * 1024;

// Neither keeps nor offers a cookie, whatever the service sets.
class RefusingCookieJar : public QNetworkCookieJar {
public:
  using QNetworkCookieJar::QNetworkCookieJar;
  QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
  bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

bool isLineBreak(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

bool containsLineBreak(const QString& text) {
  return std::any_of(text.begin(), text.end(), isLineBreak);
}

// The error Qt reports for a reply that arrived intact with this status. Any other error on a
// reply (a cut connection, a failed decompression) means the body cannot be trusted.
QNetworkReply::NetworkError errorForStatus(int status) {
  if (status < 400) {
    return QNetworkReply::NoError;
  }
  switch (status) {
  case 400: return QNetworkReply::ProtocolInvalidOperationError;
  case 401: return QNetworkReply::AuthenticationRequiredError;
  case 403: return QNetworkReply::ContentAccessDenied;
  case 404: return QNetworkReply::ContentNotFoundError;
  case 405: return QNetworkReply::ContentOperationNotPermittedError;
  case 407: return QNetworkReply::ProxyAuthenticationRequiredError;
  case 409: return QNetworkReply::ContentConflictError;
  case 410: return QNetworkReply::ContentGoneError;
  case 418: return QNetworkReply::ProtocolInvalidOperationError;
  case 500: return QNetworkReply::InternalServerError;
  case 501: return QNetworkReply::OperationNotImplementedError;
  case 503: return QNetworkReply::ServiceUnavailableError;
  default: return status < 500 ? QNetworkReply::UnknownContentError : QNetworkReply::UnknownServerError;
  }
}

} // namespace

struct NativeAPIClient::Transfer {
  QPointer<QNetworkReply> reply;
  Completion<APIResponse> completion;
  qint64 limit = 0;
  QByteArray body;
  bool headChecked = false;
  DelayScheduler::TimerId deadline = 0;
  CancellationRegistration cancellation;
  // Only our own connections are cut; the manager keeps its own to the reply.
  std::vector<QMetaObject::Connection> connections;

  void detach() {
    for (const auto& connection : connections) {
      QObject::disconnect(connection);
    }
    connections.clear();
  }

  // Ends the transfer with an error; the network work stops at once.
  template <typename E> void fail(E error) {
    if (completion.isSettled()) {
      return;
    }
    completion.fail(std::move(error));
    detach();
    if (reply) {
      reply->abort();
    }
  }
};

NativeAPIClient::NativeAPIClient(std::optional<QUrl> baseURL, QObject* parent)
    : NativeAPIClient(std::move(baseURL), Options{}, parent) {}

NativeAPIClient::NativeAPIClient(std::optional<QUrl> baseURL, Options options, QObject* parent)
    : QObject(parent), m_baseURL(std::move(baseURL)), m_options(std::move(options)),
      m_scheduler(m_options.scheduler ? m_options.scheduler : &DelayScheduler::system()),
      m_manager(new QNetworkAccessManager(this)) {
  m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
  m_manager->setCookieJar(new RefusingCookieJar(m_manager));
  m_manager->setStrictTransportSecurityEnabled(false);
  m_manager->setAutoDeleteReplies(false);
}

NativeAPIClient::~NativeAPIClient() {
  // Every pending send resumes (from the event loop) with unavailable; it finds this client
  // gone and touches nothing of it.
  for (const auto& transfer : m_transfers) {
    m_scheduler->cancel(transfer->deadline);
    transfer->cancellation.reset();
    transfer->fail(ServiceError::unavailable());
  }
  m_transfers.clear();
}

QNetworkRequest NativeAPIClient::buildRequest(const QString& path, const QString& method, bool hasBody,
                                              qint64 limit, const std::optional<QString>& token,
                                              const std::optional<QString>& etag) const {
  const QUrl& base = *m_baseURL;
  if (!BuildConfiguration::isServiceAddress(base)) {
    throw ServiceError::invalidRequest();
  }
  if (!path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1String("//")) ||
      path.contains(QLatin1Char('\\'))) {
    throw ServiceError::invalidRequest();
  }
  // The path replaces the base address's own path; it is not appended to it.
  const QUrl reference(path, QUrl::StrictMode);
  if (!reference.isValid()) {
    throw ServiceError::invalidRequest();
  }
  const QUrl resolved = base.resolved(reference);
  if (!resolved.isValid() || resolved.scheme() != QLatin1String("https") || resolved.host() != base.host() ||
      resolved.port() != base.port() || !resolved.userName().isEmpty() || !resolved.password().isEmpty() ||
      resolved.hasFragment()) {
    throw ServiceError::invalidRequest();
  }
  static const QStringList methods{QStringLiteral("GET"),   QStringLiteral("POST"),   QStringLiteral("PUT"),
                                   QStringLiteral("PATCH"), QStringLiteral("DELETE"), QStringLiteral("HEAD")};
  if (!methods.contains(method, Qt::CaseSensitive)) {
    throw ServiceError::invalidRequest();
  }
  if (limit < 1) {
    throw ServiceError::invalidRequest();
  }
  if ((token && containsLineBreak(*token)) || (etag && containsLineBreak(*etag))) {
    throw ServiceError::invalidRequest();
  }

  QNetworkRequest request = tightenedRequest(resolved);
  request.setRawHeader("Accept", "application/json");
  if (etag) {
    request.setRawHeader("If-None-Match", etag->toUtf8());
  }
  if (hasBody) {
    request.setRawHeader("Content-Type", "application/json");
  }
  if (token) {
    request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
  }
  return request;
}

QNetworkRequest NativeAPIClient::tightenedRequest(const QUrl& url) const {
  QNetworkRequest request =
      brindlewick::tightenedRequest(url, m_options.inactivityTimeoutMilliseconds, m_options.additionalCaCertificates);
  // Qt's own guard against compressed bombs fails such a reply as a content error that looks
  // like a status; the byte count taken while reading is the guard instead, and it never lets
  // more than the limit through.
  request.setDecompressedSafetyCheckThreshold(-1);
  return request;
}

QCoro::Task<APIResponse> NativeAPIClient::send(QString path, QString method, std::optional<QByteArray> body,
                                               std::optional<QString> token, qint64 limit,
                                               CancellationToken cancellation) {
  co_return co_await send(std::move(path), std::move(method), std::move(body), std::move(token), limit,
                          std::nullopt, std::move(cancellation));
}

QCoro::Task<APIResponse> NativeAPIClient::send(QString path, QString method, std::optional<QByteArray> body,
                                               std::optional<QString> token, qint64 limit,
                                               std::optional<QString> etag, CancellationToken cancellation) {
  Q_ASSERT(QThread::currentThread() == thread());
  cancellation.throwIfCancelled();
  if (!m_baseURL) {
    throw ConfigurationError(ConfigurationError::Kind::missingAPI);
  }
  const QNetworkRequest request = buildRequest(path, method, body.has_value(), limit, token, etag);
  co_return co_await transfer(request, std::move(method), std::move(body), limit, std::move(cancellation));
}

QCoro::Task<APIResponse> NativeAPIClient::fetch(QUrl address, QByteArray accept, qint64 limit,
                                                CancellationToken cancellation) {
  Q_ASSERT(QThread::currentThread() == thread());
  cancellation.throwIfCancelled();
  if (!isFetchable(address) || limit < 1 || accept.contains('\r') || accept.contains('\n')) {
    throw ServiceError::invalidRequest();
  }
  // A fragment is never sent; dropping it keeps the comparisons below to what goes out.
  address.setFragment(QString());
  const QPointer<NativeAPIClient> self(this);
  for (int redirects = 0;; ++redirects) {
    QNetworkRequest request = tightenedRequest(address);
    request.setRawHeader("Accept", accept);
    APIResponse response =
        co_await transfer(request, QStringLiteral("GET"), std::nullopt, limit, cancellation);
    if (!self) {
      throw ServiceError::unavailable();
    }
    if (response.statusCode < 300 || response.statusCode > 399) {
      co_return response;
    }
    const QUrl location(response.headers.value(QStringLiteral("location")), QUrl::StrictMode);
    QUrl next = address.resolved(location);
    next.setFragment(QString());
    if (redirects == maximumRedirects || location.isEmpty() || !location.isValid() || !isFetchable(next) ||
        next.host() != address.host() || next.port(443) != address.port(443)) {
      throw ServiceError::invalidResponse();
    }
    address = next;
  }
}

QCoro::Task<APIResponse> NativeAPIClient::transfer(QNetworkRequest request, QString method,
                                                   std::optional<QByteArray> body, qint64 limit,
                                                   CancellationToken cancellation) {
  auto transfer = std::make_shared<Transfer>();
  transfer->limit = std::min(limit, maximumResponseBytes);
  m_transfers.insert(transfer);
  start(transfer, request, method, body);
  transfer->cancellation = cancellation.onCancel([transfer] { transfer->fail(CancelledError()); });
  transfer->deadline = m_scheduler->schedule(m_options.transferDeadlineSeconds,
                                             [transfer] { transfer->fail(ServiceError::unavailable()); });

  QPointer<NativeAPIClient> self(this);
  try {
    APIResponse response = co_await transfer->completion;
    if (self) {
      finish(transfer);
    }
    co_return response;
  } catch (...) {
    if (self) {
      finish(transfer);
    }
    throw;
  }
}

void NativeAPIClient::finish(const std::shared_ptr<Transfer>& transfer) {
  m_scheduler->cancel(transfer->deadline);
  transfer->cancellation.reset();
  transfer->detach();
  if (transfer->reply) {
    transfer->reply->abort();
    transfer->reply->deleteLater();
  }
  m_transfers.erase(transfer);
}

void NativeAPIClient::start(const std::shared_ptr<Transfer>& transfer, const QNetworkRequest& request,
                            const QString& method, const std::optional<QByteArray>& body) {
  QNetworkReply* reply = nullptr;
  if (method == QLatin1String("GET") && !body) {
    reply = m_manager->get(request);
  } else if (method == QLatin1String("HEAD") && !body) {
    reply = m_manager->head(request);
  } else {
    reply = m_manager->sendCustomRequest(request, method.toLatin1(), body.value_or(QByteArray()));
  }
  reply->setReadBufferSize(readBufferBytes);
  transfer->reply = reply;

  // Raw pointers: these run only while the reply lives, and the transfer owns nothing of it.
  Transfer* t = transfer.get();
  const auto checkHead = [t] {
    if (t->headChecked || t->completion.isSettled() || !t->reply) {
      return;
    }
    const QVariant status = t->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
      return; // No head yet.
    }
    t->headChecked = true;
    const QVariant declared = t->reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() > t->limit) {
      t->fail(ServiceError::responseTooLarge());
    } else if (declared.isValid()) {
      // Within the limit, so the body may be given its room at once.
      t->body.reserve(declared.toLongLong());
    }
  };
  const auto readBody = [t, checkHead] {
    checkHead();
    if (t->completion.isSettled() || !t->reply || !t->headChecked) {
      return;
    }
    while (t->reply->bytesAvailable() > 0) {
      // Never take more than one byte past the limit: that byte is enough to refuse the reply.
      const qint64 wanted =
          std::min({t->reply->bytesAvailable(), t->limit + 1 - qint64(t->body.size()), readBufferBytes});
      const qsizetype before = t->body.size();
      t->body.resize(before + wanted);
      const qint64 got = t->reply->read(t->body.data() + before, wanted);
      t->body.resize(before + std::max<qint64>(got, 0));
      if (t->body.size() > t->limit) {
        t->body.clear();
        t->fail(ServiceError::responseTooLarge());
        return;
      }
      if (got <= 0) {
        break;
      }
    }
  };

  t->connections.push_back(connect(reply, &QNetworkReply::metaDataChanged, reply, checkHead));
  t->connections.push_back(connect(reply, &QNetworkReply::readyRead, reply, readBody));
  t->connections.push_back(connect(reply, &QNetworkReply::finished, reply, [t, readBody] {
    readBody();
    if (t->completion.isSettled() || !t->reply) {
      return;
    }
    QNetworkReply* r = t->reply;
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || !t->headChecked) {
      t->fail(r->error() == QNetworkReply::NoError ? ServiceError::invalidResponse()
                                                   : ServiceError::unavailable());
      return;
    }
    if (r->error() != errorForStatus(status.toInt())) {
      t->fail(ServiceError::unavailable());
      return;
    }
    APIResponse response;
    response.statusCode = status.toInt();
    for (const auto& [name, value] : r->rawHeaderPairs()) {
      response.headers.insert(QString::fromUtf8(name).toLower(), QString::fromUtf8(value));
    }
    response.body = std::move(t->body);
    t->completion.resolve(std::move(response));
  }));
}

} // namespace brindlewick
