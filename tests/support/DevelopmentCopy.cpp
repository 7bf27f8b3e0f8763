#include "DevelopmentCopy.h"

#include "foundation/Json.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>

namespace brindlewick {

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

QString installDevelopmentCopy(const QString& builtProgram, const QString& folder, const QUrl& base,
                               const QByteArray& authorityPem, const QJsonObject& entries) {
  const QDir directory(folder);
  const QString program = directory.filePath(QStringLiteral("brindlewick"));
  const QString authority = directory.filePath(QStringLiteral("ca.pem"));
  QJsonObject configuration{{QStringLiteral("BrindlewickAPIBaseURL"), base.toString()},
                            {QStringLiteral("BrindlewickDevelopmentCA"), authority},
                            {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("0.1.0")}};
  for (auto entry = entries.begin(); entry != entries.end(); ++entry)
    configuration.insert(entry.key(), entry.value());
  const bool ready = QFile::copy(builtProgram, program) && writeFile(authority, authorityPem) &&
                     writeFile(directory.filePath(QStringLiteral("brindlewick-configuration.json")),
                               Json::serialize(configuration));
  return ready ? program : QString();
}

} // namespace brindlewick
