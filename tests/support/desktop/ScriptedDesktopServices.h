#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>
#include <QVariantMap>

namespace brindlewick {

// Stands in, on a connection to a PrivateBus, for the desktop services the system events follow:
// logind (the manager, the user and two sessions) answers and signals; timedated, the screen
// savers and AT-SPI only signal.
class ScriptedDesktopServices final : public QDBusVirtualObject {
public:
  // The session GetSessionByPID names, and the one on the user's display.
  static const QString kProcessSession;
  static const QString kDisplaySession;

  explicit ScriptedDesktopServices(const QDBusConnection& connection);
  ~ScriptedDesktopServices() override;

  // What logind answers.
  bool sessionForProcess = true; // else GetSessionByPID fails and only the display session is found
  QVariantMap session{{QStringLiteral("Active"), true}, {QStringLiteral("LockedHint"), false}};

  void prepareForSleep(bool sleeping);
  // Sets a property of our session; with `announce` false without its signal, as if it were lost.
  void setSession(const char* property, bool value, bool announce = true);
  // logind's Lock or Unlock request to a session (ours by default).
  void requestLock(bool lock, const QString& session = kProcessSession);
  void setScreenSaverActive(bool active, bool gnome = false);
  void setScreenReader(bool running);
  void propertiesChanged(const QString& path, const QString& interface, const QVariantMap& changed);

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
  void sendSignal(const QString& path, const QString& interface, const QString& name,
                  const QVariantList& arguments);

  QDBusConnection m_connection;
};

} // namespace brindlewick
