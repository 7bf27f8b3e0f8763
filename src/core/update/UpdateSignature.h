#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <QCoroTask>

#include <memory>

namespace brindlewick {

class DownloadedUpdate;

// Pure Ed25519 (RFC 8032, no pre-hash), as `openssl pkeyutl -sign -rawin` makes it, over the
// whole of an update archive. Safe on any thread.
namespace UpdateSignature {

// False for a key that is not 32 bytes, a signature that is not 64, or a signature that does
// not verify.
bool verify(QByteArrayView publicKey, QByteArrayView signature, QByteArrayView message);

// The same over a file's bytes, as DownloadedUpdate checks them (copied into sealed memory,
// then mapped); false when the file cannot be opened or copied.
bool verifyFile(QByteArrayView publicKey, QByteArrayView signature, const QString& path);

// DownloadedUpdate::hasSignature() on a worker thread, its answer coming back on the main
// thread's event loop.
QCoro::Task<bool> verifyInBackground(QByteArray publicKey, QByteArray signature,
                                     std::shared_ptr<const DownloadedUpdate> update);

} // namespace UpdateSignature

} // namespace brindlewick
