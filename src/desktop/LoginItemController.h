#pragma once

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace brindlewick {

enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// What the controller needs from the desktop's facility for starting programs at login.
// Errors are descriptions for the reader, never exceptions.
class LoginItemService {
public:
  virtual ~LoginItemService() = default;
  virtual LoginItemStatus status() const = 0;
  // Completes at once; an error description on failure.
  virtual std::optional<QString> registerItem() = 0;
  // May complete later; an error description on failure.
  virtual QCoro::Task<std::optional<QString>> unregisterItem() = 0;
};

// Starting at login through the XDG autostart convention: a desktop entry named
// "app.brindlewick.desktop" in the autostart folder of the reader's configuration
// ($XDG_CONFIG_HOME/autostart), pointing at this program. The desktop starts it at login;
// no approval is ever needed.
class XdgAutostartService : public LoginItemService {
public:
  static inline const QString entryName = QStringLiteral("app.brindlewick.desktop");
  static QString defaultAutostartFolder();

  // An empty `executable` stands for this program.
  explicit XdgAutostartService(QString autostartFolder = defaultAutostartFolder(), QString executable = {});

  QString entryPath() const;

  // Enabled only while the entry exists, is neither hidden nor switched off and starts this
  // program; not found when this program's file cannot be located.
  LoginItemStatus status() const override;
  // Writes the entry atomically.
  std::optional<QString> registerItem() override;
  // Removes the entry; an absent entry is no failure.
  QCoro::Task<std::optional<QString>> unregisterItem() override;

  // The text of the entry that starts `program`, and the program an entry's Exec line
  // starts (the desktop entry's quoting and escaping undone). Public for tests.
  static QByteArray entryText(const QString& program);
  static std::optional<QString> programOf(const QByteArray& entry);

private:
  QString resolvedExecutable() const;

  QString m_folder;
  QString m_executable;
};

// Whether Brindlewick starts when the reader logs in, as the settings page shows it: the
// status the desktop reports and a one-line message. Main thread only.
class LoginItemController : public QObject {
  Q_OBJECT

public:
  static inline const QString approvalMessage =
      QStringLiteral("Approve Brindlewick in your desktop's Settings > Autostart.");
  static inline const QString failurePrefix = QStringLiteral("Could not update launch at login: ");

  explicit LoginItemController(QObject* parent = nullptr);
  explicit LoginItemController(std::shared_ptr<LoginItemService> service, QObject* parent = nullptr);

  LoginItemStatus status() const { return m_status; }
  const std::optional<QString>& message() const { return m_message; }

  // Reads the status again.
  void refresh();

  // Registers or unregisters. Never throws: a failure becomes the message, and the status
  // is read again in every case, so both describe the desktop's view once this completes.
  // Overlapping calls are allowed; the last one to finish sets the final state.
  QCoro::Task<void> setEnabled(bool enabled);

Q_SIGNALS:
  void statusChanged();
  void messageChanged();

private:
  void finish(const std::optional<QString>& error);
  void setMessage(const std::optional<QString>& message);

  std::shared_ptr<LoginItemService> m_service;
  LoginItemStatus m_status = LoginItemStatus::notRegistered;
  std::optional<QString> m_message;
};

} // namespace brindlewick
