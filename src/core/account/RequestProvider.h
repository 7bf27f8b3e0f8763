#pragma once

#include "foundation/Cancellation.h"
#include "service/APITransport.h"

#include <QByteArray>
#include <QString>

#include <QCoroTask>

#include <optional>

namespace brindlewick {

// Sends one request to the reading service with the reader's authorization: what the content
// sync service and the analytics upload need of the service, whoever holds the session.
// Main thread only.
class RequestProvider {
public:
  virtual ~RequestProvider();

  // Sends `method` to `path` (under the service address) with the reader's bearer token and,
  // when `etag` is given, If-None-Match with it; the reply body may hold at most `limit` bytes.
  // Returns the reply whatever its status, except that a release the service no longer
  // publishes throws ServiceError::releaseUnavailable(). Throws the transport's errors, an
  // implementation's refusal to send (no session), and CancelledError once `cancellation` is
  // cancelled.
  //
  // Parameters are taken by value: the coroutine outlives the caller's arguments.
  virtual QCoro::Task<APIResponse> authorizedRequest(QString path, QString method,
                                                     std::optional<QByteArray> body, qint64 limit,
                                                     std::optional<QString> etag,
                                                     CancellationToken cancellation) = 0;
};

} // namespace brindlewick
