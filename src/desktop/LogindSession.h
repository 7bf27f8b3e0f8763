#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace brindlewick {

class BusProperties;

// The reader's login session as logind sees it: whether it is the active session of its seat
// (another user may have switched in) and whether its screen is locked. The session's object
// path is looked up without waiting (the session of this process, else the user's display
// session), and only that object's signals are heard: a match without a path would also hear
// every other user's sessions. Until the path is known, and for good without logind, the
// session counts as active and unlocked and nothing is reported.
class LogindSession final : public QObject {
  Q_OBJECT

public:
  LogindSession(int timeoutMilliseconds, QObject* parent);

  // Looks the session up on `systemBus` and follows it. Only the first connected bus counts.
  void listenTo(const QDBusConnection& systemBus);

  // Reads the active and locked state again. Called after each wake: a signal lost while the
  // computer slept must not leave delivery stopped.
  void reread();

  // Empty until the lookup has found the session.
  QString path() const { return m_path; }

Q_SIGNALS:
  // Each is emitted only when the value differs from the last one reported.
  void activeChanged(bool active);
  void lockedChanged(bool locked);

private Q_SLOTS:
  void lockRequested();
  void unlockRequested();

private:
  void lookUpDisplaySession();
  void follow(const QString& path);
  void apply(const QVariantMap& values);
  void setActive(bool active);
  void setLocked(bool locked);

  int m_timeoutMilliseconds;
  QDBusConnection m_bus{QString()};
  bool m_lookingUp = false;
  QString m_path;
  BusProperties* m_properties = nullptr;
  bool m_active = true;
  bool m_locked = false;
};

} // namespace brindlewick
