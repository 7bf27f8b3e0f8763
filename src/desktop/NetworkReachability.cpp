#include "desktop/NetworkReachability.h"

#include "desktop/DesktopLog.h"

#include <QNetworkInformation>

namespace brindlewick {

NetworkReachability::NetworkReachability(BackendLoader loader, QObject* parent)
    : QObject(parent), m_loader(std::move(loader)) {
  if (!m_loader) {
    m_loader = [](const QString& name) { return QNetworkInformation::loadBackendByName(name); };
  }
}

void NetworkReachability::load(bool systemBusConnected) {
  if (m_loaded) {
    return;
  }
  m_loaded = true;
  QStringList candidates;
  if (systemBusConnected) {
    candidates << QStringLiteral("networkmanager");
  }
  candidates << QStringLiteral("glib");
  for (const QString& name : std::as_const(candidates)) {
    if (m_loader(name)) {
      m_backend = name;
      break;
    }
  }
  QNetworkInformation* information = QNetworkInformation::instance();
  if (m_backend.isEmpty() || information == nullptr) {
    qCInfo(lcDesktop) << "no network information backend: a returning network goes unnoticed";
    return;
  }
  // Which backend answered matters only to someone chasing a missed reconnect.
  qCDebug(lcDesktop) << "network information from" << m_backend;
  connect(information, &QNetworkInformation::reachabilityChanged, this,
          [this](QNetworkInformation::Reachability reachability) {
            if (reachability == QNetworkInformation::Reachability::Online) {
              Q_EMIT becameOnline();
            }
          });
}

} // namespace brindlewick
