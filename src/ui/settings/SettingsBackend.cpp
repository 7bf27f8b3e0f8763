#include "ui/settings/SettingsBackend.h"

#include "model/ReaderModel.h"

namespace brindlewick {

ModelSettingsBackend::ModelSettingsBackend(ReaderModel& model, QObject* parent)
    : SettingsBackend(parent), m_model(model) {
  connect(&model.preferences(), &PreferencesStore::valueChanged, this,
          &SettingsBackend::storedPreferencesChanged);
  connect(&model.account(), &AccountController::isSignedInChanged, this, &SettingsBackend::signedInChanged);
}

const ReaderPreferences& ModelSettingsBackend::storedPreferences() const {
  return m_model.preferences().value();
}

qint64 ModelSettingsBackend::preferenceVersion() const {
  return m_model.account().preferenceVersion();
}

bool ModelSettingsBackend::isSignedIn() const {
  return m_model.account().isSignedIn();
}

// Each operation hands back the model's own task, so nothing here outlives the call.
QCoro::Task<> ModelSettingsBackend::save(ReaderPreferences preferences,
                                         std::optional<qint64> expectedVersion) {
  return m_model.saveSettings(std::move(preferences), expectedVersion);
}

QCoro::Task<> ModelSettingsBackend::refresh() {
  return m_model.account().refresh();
}

QCoro::Task<> ModelSettingsBackend::apply() {
  return m_model.applyAccountPreferences();
}

} // namespace brindlewick
