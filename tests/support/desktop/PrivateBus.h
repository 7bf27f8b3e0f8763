#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

namespace brindlewick {

// A D-Bus daemon of the test's own, with no activatable services, so that tests can stand in
// for desktop services (the settings portal, logind) without touching the machine's buses.
class PrivateBus {
public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  // Empty when no daemon could be started (dbus-daemon missing).
  QString address() const { return address_; }
  bool isRunning() const { return !address_.isEmpty(); }
  // Freezes and thaws the daemon, to stand for a bus that has stopped answering.
  void pause();
  void resume();
  // A new named connection to the bus; each name is one client.
  QDBusConnection connect(const QString& name) const;

private:
  QProcess daemon_;
  QString configPath_;
  QString address_;
  mutable QStringList connectionNames_;
};

} // namespace brindlewick
