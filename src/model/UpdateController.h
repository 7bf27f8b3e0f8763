#pragma once

#include "model/UpdaterBackend.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <memory>

namespace brindlewick {

// The updater as the settings page sees it: one status line and a "Check for updates" action.
// It validates the update keys of the build's configuration before anything starts, so a
// build with a malformed pair gets an explanation instead of a half-configured updater, and
// a configuration error never stops the application. The status line is fixed at
// construction. Main thread only.
class UpdateController : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString message READ message CONSTANT)
  Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
  static inline const QString notConfiguredMessage =
      QStringLiteral("Updates are not configured in this build.");
  static inline const QString enabledMessage =
      QStringLiteral("Updates are enabled for the configured update feed.");
  static inline const QString disabledPrefix = QStringLiteral("Updates are disabled: ");

  // `configuration` is the build's configuration object, of which only the two update keys
  // are read. A valid configuration starts `backend` and keeps it; otherwise the backend is
  // dropped unstarted.
  explicit UpdateController(const QJsonObject& configuration, std::unique_ptr<UpdaterBackend> backend = {},
                            QObject* parent = nullptr);
  ~UpdateController() override;

  const QString& message() const { return m_message; }
  // True only while a started backend could check now.
  bool canCheckForUpdates() const;
  // Asks a started backend for a check; nothing without one.
  void checkForUpdates();
  // The started backend; none when updates do not run.
  UpdaterBackend* backend() const { return m_backend.get(); }

Q_SIGNALS:
  void canCheckForUpdatesChanged();

private:
  std::unique_ptr<UpdaterBackend> m_backend;
  QString m_message = notConfiguredMessage;
};

} // namespace brindlewick
