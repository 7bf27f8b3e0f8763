#pragma once

#include "delivery/Preferences.h"

#include <QObject>

#include <QCoroTask>

#include <optional>

namespace brindlewick {

class ReaderModel;

// What the settings page needs of the application: the stored preferences of this computer,
// the account's preferences version and sign-in state, and the three operations of saving and
// reloading. Main thread only.
//
// The tasks returned must not refer to the backend once started: the page may be gone (and the
// backend with it) before they finish.
class SettingsBackend : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

  virtual const ReaderPreferences& storedPreferences() const = 0;
  virtual qint64 preferenceVersion() const = 0;
  virtual bool isSignedIn() const = 0;

  // Stores `preferences` to the account, then on this computer; throws what saving throws.
  virtual QCoro::Task<> save(ReaderPreferences preferences, std::optional<qint64> expectedVersion) = 0;
  // Fetches the account again (profile, items, preferences and their version).
  virtual QCoro::Task<> refresh() = 0;
  // Copies the account's preferences onto this computer.
  virtual QCoro::Task<> apply() = 0;

Q_SIGNALS:
  void storedPreferencesChanged();
  void signedInChanged();
};

// The backend of the running application: the model's preferences store and account.
class ModelSettingsBackend final : public SettingsBackend {
  Q_OBJECT

public:
  explicit ModelSettingsBackend(ReaderModel& model, QObject* parent = nullptr);

  const ReaderPreferences& storedPreferences() const override;
  qint64 preferenceVersion() const override;
  bool isSignedIn() const override;
  QCoro::Task<> save(ReaderPreferences preferences, std::optional<qint64> expectedVersion) override;
  QCoro::Task<> refresh() override;
  QCoro::Task<> apply() override;

private:
  ReaderModel& m_model;
};

} // namespace brindlewick
