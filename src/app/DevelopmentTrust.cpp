#include "app/DevelopmentTrust.h"

#ifdef BRINDLEWICK_DEVELOPMENT_TRUST
#include "foundation/Json.h"
#include "service/BuildConfiguration.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslCertificateExtension>
#endif

namespace brindlewick {

DevelopmentAuthorityError::DevelopmentAuthorityError(const QString& path, const QString& problem)
    : m_what(QStringLiteral("The development certificate authority %1 cannot be used: %2")
                 .arg(path, problem)
                 .toUtf8()) {}

namespace DevelopmentTrust {

#ifdef BRINDLEWICK_DEVELOPMENT_TRUST

namespace {

// A PEM certificate is a few kilobytes; a larger file is not the authority the build named.
constexpr qint64 maximumFileSize = 65536;

bool isAuthority(const QSslCertificate& certificate) {
  for (const QSslCertificateExtension& extension : certificate.extensions()) {
    if (extension.name() == QLatin1String("basicConstraints"))
      return extension.value().toMap().value(QStringLiteral("ca")).toBool();
  }
  return false;
}

QSslCertificate readAuthority(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw DevelopmentAuthorityError(path, file.errorString());
  const QByteArray bytes = file.read(maximumFileSize + 1);
  if (file.error() != QFileDevice::NoError)
    throw DevelopmentAuthorityError(path, file.errorString());
  if (bytes.size() > maximumFileSize)
    throw DevelopmentAuthorityError(path,
                                    QStringLiteral("the file is larger than %1 bytes").arg(maximumFileSize));
  const QList<QSslCertificate> certificates = QSslCertificate::fromData(bytes, QSsl::Pem);
  if (certificates.size() != 1 || certificates.first().isNull())
    throw DevelopmentAuthorityError(
        path,
        QStringLiteral("the file must hold exactly one PEM certificate, not %1").arg(certificates.size()));
  if (!isAuthority(certificates.first()))
    throw DevelopmentAuthorityError(path, QStringLiteral("the certificate is not a certificate authority"));
  return certificates.first();
}

} // namespace

bool enabled() {
  return true;
}

NativeAPIClient::Options clientOptions(const QJsonObject& configuration) {
  NativeAPIClient::Options options;
  const QString path = configuration.value(configurationKey).toString();
  if (!path.isEmpty())
    options.additionalCaCertificates = {readAuthority(path)};
  return options;
}

std::function<std::unique_ptr<APITransport>(const std::optional<QUrl>&)>
transportFactory(QString configurationFile) {
  return [configurationFile](const std::optional<QUrl>& baseURL) -> std::unique_ptr<APITransport> {
    // The model has read the same file as its build configuration just before.
    QFile file(configurationFile);
    if (!file.open(QIODevice::ReadOnly))
      throw ConfigurationFileError(configurationFile, file.errorString());
    const QJsonObject configuration = Json::parseObject(file.readAll());
    return std::make_unique<NativeAPIClient>(baseURL, clientOptions(configuration));
  };
}

#else

bool enabled() {
  return false;
}

NativeAPIClient::Options clientOptions(const QJsonObject&) {
  return {};
}

std::function<std::unique_ptr<APITransport>(const std::optional<QUrl>&)> transportFactory(QString) {
  return [](const std::optional<QUrl>& baseURL) -> std::unique_ptr<APITransport> {
    return std::make_unique<NativeAPIClient>(baseURL);
  };
}

#endif

} // namespace DevelopmentTrust

} // namespace brindlewick
