#pragma once

#include "service/APITransport.h"
#include "service/NativeAPIClient.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace brindlewick {

// The certificate authority a development configuration names cannot be used: its file is
// missing or unreadable, or does not hold exactly one CA certificate. Start-up stops with this
// text, which names the file.
class DevelopmentAuthorityError : public std::exception {
public:
  DevelopmentAuthorityError(const QString& path, const QString& problem);

  QString description() const { return QString::fromUtf8(m_what); }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QByteArray m_what;
};

// A development build (configured with BRINDLEWICK_DEVELOPMENT_CA) lets the service client
// trust one certificate authority besides the system's: the local stand-in's, whose file the
// build configuration names. Only DevelopmentTrust.cpp reads that entry, and a build without
// the option compiles it to "no authority", so the entry planted in an ordinary build's
// configuration is ignored. Profile photos never get this trust: they use their own client.
namespace DevelopmentTrust {

// The configuration entry that names the authority's PEM file.
inline const QString configurationKey = QStringLiteral("BrindlewickDevelopmentCA");

// Whether this copy of the unit reads the entry.
bool enabled();

// The service client's options for a configuration's values: the named authority as the one
// additional certificate when enabled and named; none otherwise. Throws
// DevelopmentAuthorityError for a named file that cannot serve.
NativeAPIClient::Options clientOptions(const QJsonObject& configuration);

// The reader model's transport factory: the service client with clientOptions() of the
// configuration file at `configurationFile` (read only when enabled, when the model asks).
std::function<std::unique_ptr<APITransport>(const std::optional<QUrl>&)>
transportFactory(QString configurationFile);

} // namespace DevelopmentTrust

} // namespace brindlewick
