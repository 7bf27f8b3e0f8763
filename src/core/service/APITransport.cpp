#include "service/APITransport.h"

namespace brindlewick {

APITransport::~APITransport() = default;

QCoro::Task<APIResponse> APITransport::send(QString path, QString method, std::optional<QByteArray> body,
                                            std::optional<QString> token, qint64 limit,
                                            std::optional<QString> etag, CancellationToken cancellation) {
  Q_UNUSED(etag);
  cancellation.throwIfCancelled();
  co_return co_await send(std::move(path), std::move(method), std::move(body), std::move(token), limit,
                          std::move(cancellation));
}

} // namespace brindlewick
