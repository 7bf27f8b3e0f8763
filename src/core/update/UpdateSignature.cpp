#include "update/UpdateSignature.h"

#include "foundation/Completion.h"

#include <QCoreApplication>
#include <QFile>
#include <QThreadPool>

#include <openssl/evp.h>

#include <memory>

namespace brindlewick {

namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

bool UpdateSignature::verify(QByteArrayView publicKey, QByteArrayView signature, QByteArrayView message) {
  if (publicKey.size() != 32 || signature.size() != 64)
    return false;
  const std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.data()), 32));
  const std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
  if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
    return false;
  // Ed25519 signs the message in one piece: there is no streaming form of it.
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                          size_t(signature.size()), reinterpret_cast<const unsigned char*>(message.data()),
                          size_t(message.size())) == 1;
}

bool UpdateSignature::verifyFile(QByteArrayView publicKey, QByteArrayView signature, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  const qint64 size = file.size();
  if (size == 0)
    return verify(publicKey, signature, QByteArrayView());
  const uchar* bytes = file.map(0, size);
  if (!bytes)
    return false;
  const bool valid = verify(publicKey, signature, QByteArrayView(bytes, size));
  file.unmap(const_cast<uchar*>(bytes));
  return valid;
}

QCoro::Task<bool> UpdateSignature::verifyFileInBackground(QByteArray publicKey, QByteArray signature,
                                                          QString path) {
  Completion<bool> verdict;
  QThreadPool::globalInstance()->start([verdict, publicKey, signature, path] {
    const bool valid = verifyFile(publicKey, signature, path);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [verdict, valid]() mutable { verdict.resolve(valid); },
        Qt::QueuedConnection);
  });
  co_return co_await verdict;
}

} // namespace brindlewick
