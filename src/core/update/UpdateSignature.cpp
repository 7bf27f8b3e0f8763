#include "update/UpdateSignature.h"

#include "foundation/WorkerThread.h"
#include "update/DownloadedUpdate.h"
#include "update/TarGzReader.h"

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
  try {
    return DownloadedUpdate::open(path)->hasSignature(publicKey, signature);
  } catch (const ArchiveError&) {
    return false;
  }
}

QCoro::Task<bool> UpdateSignature::verifyInBackground(QByteArray publicKey, QByteArray signature,
                                                      std::shared_ptr<const DownloadedUpdate> update) {
  Completion<bool> verdict = onWorkerThread<bool>(
      [publicKey, signature, update] { return update->hasSignature(publicKey, signature); });
  co_return co_await verdict;
}

} // namespace brindlewick
