#pragma once

#include "account/RequestProvider.h"
#include "service/APITransport.h"

#include <QString>

#include <functional>
#include <optional>

namespace brindlewick {

// Authorized requests over an APITransport with the bearer token of a token source, asked
// afresh for every request. Without a token nothing is sent and the request fails with
// AccountError::notSignedIn(). A 404 or 410 on a release of the content interface
// ("/api/v1/content/releases/…") is the service saying that release is no longer published:
// it becomes ServiceError::releaseUnavailable(). Every other reply, a 404 on the manifest
// included, is returned as it came.
//
// The transport must outlive every request; the provider itself may go while one is in flight.
class TransportRequestProvider final : public RequestProvider {
public:
  using TokenSource = std::function<std::optional<QString>()>;

  TransportRequestProvider(APITransport& transport, TokenSource token);

  QCoro::Task<APIResponse> authorizedRequest(QString path, QString method, std::optional<QByteArray> body,
                                             qint64 limit, std::optional<QString> etag,
                                             CancellationToken cancellation) override;

private:
  APITransport& m_transport;
  TokenSource m_token;
};

} // namespace brindlewick
