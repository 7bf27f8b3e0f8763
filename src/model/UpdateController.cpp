#include "model/UpdateController.h"

#include "service/BuildConfiguration.h"

namespace brindlewick {

UpdateController::UpdateController(const QJsonObject& configuration, std::unique_ptr<UpdaterBackend> backend,
                                   QObject* parent)
    : QObject(parent) {
  std::optional<UpdateConfiguration> update;
  try {
    update = UpdateConfiguration::load(configuration.value(UpdateConfiguration::feedKey),
                                       configuration.value(UpdateConfiguration::publicKeyKey));
  } catch (const UpdateConfigurationError& error) {
    m_message = disabledPrefix + error.description();
    return;
  } catch (const ConfigurationError& error) {
    m_message = disabledPrefix + error.description();
    return;
  }
  // A valid feed alone updates nothing: without a backend the line claims no updater.
  if (!update || !backend)
    return;
  m_backend = std::move(backend);
  connect(m_backend.get(), &UpdaterBackend::canCheckForUpdatesChanged, this,
          &UpdateController::canCheckForUpdatesChanged);
  m_backend->start(*update);
  m_message = enabledMessage;
}

UpdateController::~UpdateController() = default;

bool UpdateController::canCheckForUpdates() const {
  return m_backend && m_backend->canCheckForUpdates();
}

void UpdateController::checkForUpdates() {
  if (m_backend)
    m_backend->checkForUpdates();
}

} // namespace brindlewick
