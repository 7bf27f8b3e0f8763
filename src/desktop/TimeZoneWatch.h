#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>

class QFileSystemWatcher;

namespace brindlewick {

class BusProperties;

// Tells when the system time zone changes. Two sources: timedated's Timezone property on the
// system bus, and the folder that holds the localtime link (the link is replaced, never edited,
// so a watch on the link itself would end with the first change). timedated rewrites the link
// and then signals, and replacing a link touches the folder more than once, so reports that
// arrive together are gathered for a moment and told once, after the C library has re-read the
// zone (tzset), so that local times computed in the handlers already use the new zone.
class TimeZoneWatch final : public QObject {
  Q_OBJECT

public:
  static constexpr int kSettleMilliseconds = 250;

  TimeZoneWatch(const QString& localTimePath, QObject* parent);

  // Subscribes to timedated on `systemBus` (once; a bus that is not connected is skipped).
  void listenTo(const QDBusConnection& systemBus);

  bool listensToTimedated() const;

Q_SIGNALS:
  void changed();

private:
  void gather();
  void settle();
  QByteArray fingerprint() const;

  QString m_localTimePath;
  QFileSystemWatcher* m_folderWatch = nullptr;
  BusProperties* m_timedated = nullptr;
  QTimer m_settle;
  QByteArray m_fingerprint;
  bool m_announced = false;
};

} // namespace brindlewick
