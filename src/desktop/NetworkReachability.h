#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace brindlewick {

// Tells when the network comes back, through Qt's network information: its NetworkManager
// backend where NetworkManager can be on the system bus, else its GLib backend (GIO's network
// monitor), else nothing at all. Qt reports changes only, so a network that is already up when
// the backend loads is not announced.
class NetworkReachability final : public QObject {
  Q_OBJECT

public:
  // Loads the Qt backend of that name; true when it loaded.
  using BackendLoader = std::function<bool(const QString& name)>;

  // Qt's own loader by default.
  explicit NetworkReachability(BackendLoader loader = {}, QObject* parent = nullptr);

  // Picks and loads a backend the first time; later calls do nothing. Loading may ask the
  // system bus, so it waits until the bus has been opened in the background, and NetworkManager
  // is tried only when that bus is there.
  void load(bool systemBusConnected);

  // The backend in use; empty when none could be loaded.
  QString backend() const { return m_backend; }

Q_SIGNALS:
  void becameOnline();

private:
  BackendLoader m_loader;
  bool m_loaded = false;
  QString m_backend;
};

} // namespace brindlewick
