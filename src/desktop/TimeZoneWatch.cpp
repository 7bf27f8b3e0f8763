#include "desktop/TimeZoneWatch.h"

#include "desktop/BusProperties.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <ctime>

namespace brindlewick {

namespace {

const QString kTimezone = QStringLiteral("Timezone");
// Zone files are a few kilobytes; anything past this is not one and need not be compared.
constexpr qint64 kLongestZoneFile = 1 << 20;

} // namespace

TimeZoneWatch::TimeZoneWatch(const QString& localTimePath, QObject* parent)
    : QObject(parent), m_localTimePath(localTimePath) {
  m_fingerprint = fingerprint();
  m_settle.setSingleShot(true);
  m_settle.setInterval(kSettleMilliseconds);
  connect(&m_settle, &QTimer::timeout, this, &TimeZoneWatch::settle);
  m_folderWatch = new QFileSystemWatcher(this);
  if (m_folderWatch->addPath(QFileInfo(localTimePath).absolutePath())) {
    connect(m_folderWatch, &QFileSystemWatcher::directoryChanged, this, &TimeZoneWatch::gather);
  }
}

void TimeZoneWatch::listenTo(const QDBusConnection& systemBus) {
  if (m_timedated != nullptr || !systemBus.isConnected()) {
    return;
  }
  // timedated starts on demand and exits when idle, so it is never asked anything: reading its
  // properties would start it for nothing. It signals when someone sets the zone through it.
  m_timedated = new BusProperties(systemBus, QStringLiteral("org.freedesktop.timedate1"),
                                  QStringLiteral("/org/freedesktop/timedate1"),
                                  QStringLiteral("org.freedesktop.timedate1"), -1, this);
  const auto announced = [this] {
    m_announced = true;
    gather();
  };
  connect(m_timedated, &BusProperties::changed, this, [announced](const QVariantMap& values) {
    if (values.contains(kTimezone)) {
      announced();
    }
  });
  connect(m_timedated, &BusProperties::invalidated, this, [announced](const QStringList& names) {
    if (names.contains(kTimezone)) {
      announced();
    }
  });
}

bool TimeZoneWatch::listensToTimedated() const {
  return m_timedated != nullptr && m_timedated->isSubscribed();
}

void TimeZoneWatch::gather() {
  // The first report opens the window; later ones join it rather than push it back, so that a
  // folder that keeps changing cannot hold the news back for ever.
  if (!m_settle.isActive()) {
    m_settle.start();
  }
}

void TimeZoneWatch::settle() {
  // The folder holds other files too: only a different link or zone data counts.
  const QByteArray now = fingerprint();
  if (now == m_fingerprint && !m_announced) {
    return;
  }
  m_fingerprint = now;
  m_announced = false;
  ::tzset();
  Q_EMIT changed();
}

QByteArray TimeZoneWatch::fingerprint() const {
  QByteArray print = QFileInfo(m_localTimePath).symLinkTarget().toUtf8();
  print.append('\0');
  QFile zone(m_localTimePath);
  if (zone.open(QIODevice::ReadOnly)) {
    print.append(zone.read(kLongestZoneFile));
  }
  return print;
}

} // namespace brindlewick
