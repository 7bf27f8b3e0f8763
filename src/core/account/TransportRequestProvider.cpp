#include "account/TransportRequestProvider.h"

#include "account/AccountContracts.h"
#include "account/SyncService.h"
#include "service/ServiceError.h"

#include <utility>

namespace brindlewick {

TransportRequestProvider::TransportRequestProvider(APITransport& transport, TokenSource token)
    : m_transport(transport), m_token(std::move(token)) {}

QCoro::Task<APIResponse> TransportRequestProvider::authorizedRequest(QString path, QString method,
                                                                     std::optional<QByteArray> body,
                                                                     qint64 limit,
                                                                     std::optional<QString> etag,
                                                                     CancellationToken cancellation) {
  cancellation.throwIfCancelled();
  std::optional<QString> token = m_token();
  if (!token)
    throw AccountError::notSignedIn();
  const bool isRelease = path.startsWith(SyncService::releasePathPrefix);
  // Nothing of the provider is touched after this point: it may be gone when the reply comes.
  APIResponse response =
      co_await m_transport.send(std::move(path), std::move(method), std::move(body), std::move(token), limit,
                                std::move(etag), std::move(cancellation));
  if (isRelease && (response.statusCode == 404 || response.statusCode == 410))
    throw ServiceError::releaseUnavailable();
  co_return response;
}

} // namespace brindlewick
