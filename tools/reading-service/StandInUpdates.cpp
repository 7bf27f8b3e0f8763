#include "StandInUpdates.h"

#include "ReadingService.h"
#include "UpdateArchive.h"
#include "foundation/Json.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QVersionNumber>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <stdexcept>

namespace brindlewick {

using namespace Qt::StringLiterals;

struct StandInUpdates::Key {
  EVP_PKEY* pkey = nullptr;
  ~Key() { EVP_PKEY_free(pkey); }
};

namespace {

EVP_PKEY* freshSigningKey() {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
  EVP_PKEY* key = nullptr;
  const bool made = context && EVP_PKEY_keygen_init(context) == 1 && EVP_PKEY_keygen(context, &key) == 1;
  EVP_PKEY_CTX_free(context);
  if (!made)
    throw std::runtime_error("cannot make an Ed25519 key");
  return key;
}

} // namespace

QString StandInUpdates::nextVersion() {
  const QVersionNumber build = QVersionNumber::fromString(QStringLiteral(BRINDLEWICK_PROJECT_VERSION));
  return u"%1.%2.0"_s.arg(build.majorVersion()).arg(build.minorVersion() + 1);
}

StandInUpdates::StandInUpdates() : m_key(std::make_unique<Key>()) {
  m_key->pkey = freshSigningKey();
  // The sample's program is a script, so the offer says so rather than promise a new version
  // of anything: whoever installs it where the program can replace itself learns what follows.
  m_notes = u"The stand-in reading service's sample update, for trying the updater. It is not a working "
            u"Brindlewick: its program is a small script that prints its version and ends.\n"
            u"Where this copy replaces itself (an install of your own), installing it puts that script "
            u"in place of the program; \"Restart now\" starts it, it does not come up, and Brindlewick puts "
            u"the real program back and says so. Should that not happen, install the real program again "
            u"with cmake --install build-run --prefix <the same folder>."_s;
  setVersion(nextVersion());
}

StandInUpdates::~StandInUpdates() = default;

void StandInUpdates::setSigningKey(const QByteArray& pem) {
  BIO* bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
  EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
  BIO_free(bio);
  if (!key || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
    EVP_PKEY_free(key);
    throw std::runtime_error("the update signing key is not an Ed25519 private key in PEM");
  }
  EVP_PKEY_free(m_key->pkey);
  m_key->pkey = key;
}

QString StandInUpdates::publicKey() const {
  QByteArray raw(32, '\0');
  size_t length = size_t(raw.size());
  EVP_PKEY_get_raw_public_key(m_key->pkey, reinterpret_cast<unsigned char*>(raw.data()), &length);
  return QString::fromLatin1(raw.toBase64());
}

void StandInUpdates::setVersion(QString version) {
  m_version = std::move(version);
  m_archive = sampleUpdateArchive(m_version);
}

QString StandInUpdates::archiveName() const {
  return u"brindlewick-%1-Linux.tar.gz"_s.arg(m_version);
}

QByteArray StandInUpdates::signature(const QByteArray& bytes) const {
  QByteArray signature(64, '\0');
  size_t length = size_t(signature.size());
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  const bool signed_ =
      context && EVP_DigestSignInit(context, nullptr, nullptr, nullptr, m_key->pkey) == 1 &&
      EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                     reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size())) == 1;
  EVP_MD_CTX_free(context);
  if (!signed_)
    throw std::runtime_error("cannot sign the update archive");
  return signature;
}

QByteArray StandInUpdates::feed(const QString& variant, const QUrl& base) const {
  if (variant == "feed-malformed"_L1)
    return R"({"release": []})";
  QUrl url = base;
  url.setPath(u"/updates/"_s + archiveName());
  qint64 length = m_archive.size();
  QByteArray signed_ = m_archive;
  if (variant == "feed-bad-signature"_L1)
    signed_.append('!');
  else if (variant == "feed-wrong-length"_L1)
    length += 1;
  else if (variant == "feed-short-length"_L1)
    length -= 1;
  const QJsonObject release{
      {u"version"_s, m_version}, {u"url"_s, url.toString()},
      {u"length"_s, length},     {u"signature"_s, QString::fromLatin1(signature(signed_).toBase64())},
      {u"notes"_s, m_notes},     {u"minimumVersion"_s, QJsonValue::Null}};
  return Json::serialize(QJsonObject{{u"releases"_s, QJsonArray{release}}});
}

void StandInUpdates::install(ReadingService& service) {
  service.serve("GET", u"/updates/{id}"_s, [this, &service](const LoggedRequest& request) {
    const QString name = request.lastSegment();
    static const QStringList feeds{u"feed"_s, u"feed-bad-signature"_s, u"feed-wrong-length"_s,
                                   u"feed-short-length"_s, u"feed-malformed"_s};
    if (name.endsWith(".json"_L1) && feeds.contains(name.chopped(5)))
      return StandInReply::json(200, feed(name.chopped(5), service.baseURL()));
    if (name == archiveName()) {
      StandInReply reply{200, {}, m_archive, "application/gzip"};
      return reply;
    }
    return StandInReply::error(404, "not_found"_L1);
  });
}

} // namespace brindlewick
