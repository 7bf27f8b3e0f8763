#pragma once

#include "foundation/Cancellation.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <QCoroTask>

#include <optional>

namespace brindlewick {

// One reply of the reading service, whatever its status.
struct APIResponse {
  int statusCode = 0;
  // Every reply header; names lower-cased (the entity tag is under "etag").
  QMap<QString, QString> headers;
  // At most the byte limit of the request.
  QByteArray body;

  friend bool operator==(const APIResponse&, const APIResponse&) = default;
};

// Sends one request to a path under the service address and returns the raw reply. It judges
// no status: 401, 404 and 5xx come back like 200. Cancelling the token makes a pending send
// throw CancelledError. Main thread only.
//
// Coroutine parameters are taken by value: the coroutine outlives the caller's arguments.
class APITransport {
public:
  virtual ~APITransport();

  virtual QCoro::Task<APIResponse> send(QString path, QString method, std::optional<QByteArray> body,
                                        std::optional<QString> token, qint64 limit,
                                        CancellationToken cancellation) = 0;

  // A conditional request with the stored entity tag. By default the tag is dropped and the
  // plain send runs, so a transport that does not override this never sends a conditional
  // request. (An implementation that overrides only the plain send should bring this one into
  // scope with `using APITransport::send;`.)
  virtual QCoro::Task<APIResponse> send(QString path, QString method, std::optional<QByteArray> body,
                                        std::optional<QString> token, qint64 limit,
                                        std::optional<QString> etag, CancellationToken cancellation);
};

} // namespace brindlewick
