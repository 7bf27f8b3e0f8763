#include "app/StartCheckMode.h"

#include "foundation/Json.h"
#include "service/BuildConfiguration.h"
#include "service/UpdateConfiguration.h"
#include "update/StartCheck.h"

#include <QFile>
#include <QTextStream>

namespace brindlewick {

namespace {

// The version the configuration names, read as the real start reads it; throws as it would.
QString loadConfiguration(const QString& configurationFile, const UpdaterTrust& trust) {
  const BuildConfiguration configuration = BuildConfiguration::fromFile(configurationFile);
  // The service client's options, as the model's transport factory reads them.
  QFile file(configurationFile);
  if (!file.open(QIODevice::ReadOnly))
    throw ConfigurationFileError(configurationFile, file.errorString());
  const QJsonObject values = Json::parseObject(file.readAll());
  if (trust)
    trust(values);
  // A start with a malformed updater pair runs on, but could never be updated again: such a
  // program is refused here rather than installed as the last version the reader gets.
  const QJsonObject& update = configuration.updateEntries();
  UpdateConfiguration::load(update.value(UpdateConfiguration::feedKey), update.value(UpdateConfiguration::publicKeyKey));
  return configuration.version();
}

} // namespace

std::optional<QString> StartCheckMode::problem(const QString& configurationFile, const UpdaterTrust& trust) {
  try {
    loadConfiguration(configurationFile, trust);
    return std::nullopt;
  } catch (const std::exception& error) {
    return QString::fromUtf8(error.what());
  }
}

int StartCheckMode::run(const UpdaterTrust& trust) {
  const QString file = BuildConfiguration::defaultFilePath();
  try {
    QTextStream(stdout) << StartCheck::answer(loadConfiguration(file, trust));
    return 0;
  } catch (const std::exception& error) {
    QTextStream(stderr) << "Brindlewick could not start: " << QString::fromUtf8(error.what()) << "\n";
    return 1;
  }
}

} // namespace brindlewick
