// The account controller's requests to the reading service: the gate every account request
// passes before it leaves and after its reply is back, and the plain service request below it.
#include "account/AccountController.h"

#include "service/BuildConfiguration.h"
#include "service/ServiceError.h"

#include <QJsonValue>
#include <QPointer>

namespace brindlewick {

void AccountController::checkServiceAddress() const {
  if (!m_baseURL)
    throw ConfigurationError(ConfigurationError::Kind::missingAPI);
  // The address as configured must still pass the rule it was accepted under; an empty one
  // would be "no address" there, which a present address must not become.
  if (!BuildConfiguration::url(QJsonValue(m_baseURL->toString(QUrl::FullyEncoded))))
    throw ConfigurationError(ConfigurationError::Kind::invalidURL);
}

QCoro::Task<APIResponse> AccountController::sendToService(AccountRequest request,
                                                          std::optional<QString> token,
                                                          CancellationToken cancellation) {
  checkServiceAddress();
  cancellation.throwIfCancelled();
  const QPointer<AccountController> self(this);
  APIResponse response =
      co_await m_transport.send(request.path, request.method, request.body, std::move(token), request.limit,
                                request.etag, cancellation);
  // The reply of a controller that has gone belongs to nobody.
  if (!self)
    throw CancelledError();
  cancellation.throwIfCancelled();
  if (response.body.size() > request.limit)
    throw ServiceError::responseTooLarge();
  co_return response;
}

QCoro::Task<APIResponse> AccountController::sendAccountRequest(AccountRequest request, Bearer bearer,
                                                               quint64 epoch,
                                                               CancellationToken cancellation) {
  cancellation.throwIfCancelled();
  if (m_generation != epoch)
    throw AccountError::superseded();
  if (!bearer.token) {
    if (!isSignedIn() || !m_credential)
      throw AccountError::notSignedIn();
    bearer.token = m_credential->token;
  }
  const QPointer<AccountController> self(this);
  const APIResponse response = co_await sendToService(std::move(request), bearer.token, cancellation);
  if (!self)
    throw CancelledError();
  cancellation.throwIfCancelled();
  if (m_generation != epoch)
    throw AccountError::superseded();
  if (response.statusCode == 401) {
    if (bearer.revokesOnRejection) {
      co_await revokeAccess();
      if (!self)
        throw CancelledError();
    }
    throw AccountError::notSignedIn();
  }
  co_return response;
}

} // namespace brindlewick
