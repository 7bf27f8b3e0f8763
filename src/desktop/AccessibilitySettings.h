#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariant>

namespace brindlewick {

// The reader's motion and contrast preferences. Both are off until the desktop says
// otherwise; each property notifies only when its value changes.
class AccessibilitySettings : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
  Q_PROPERTY(bool increaseContrast READ increaseContrast NOTIFY increaseContrastChanged)

public:
  using QObject::QObject;

  bool reduceMotion() const;
  bool increaseContrast() const;

Q_SIGNALS:
  void reduceMotionChanged(bool reduceMotion);
  void increaseContrastChanged(bool increaseContrast);

protected:
  void setReduceMotion(bool reduceMotion);
  void setIncreaseContrast(bool increaseContrast);

private:
  bool reduceMotion_ = false;
  bool increaseContrast_ = false;
};

// Reads the settings from the desktop's settings portal (org.freedesktop.portal.Settings) on
// the session bus, once at start with a bounded asynchronous call and then from its
// SettingChanged signal. It understands the portal's own appearance keys and the GNOME and
// KDE keys the portal passes through. Without a session bus or a portal, both stay off.
class PortalAccessibilitySettings final : public AccessibilitySettings {
  Q_OBJECT

public:
  static constexpr int kDefaultTimeoutMilliseconds = 3000;

  explicit PortalAccessibilitySettings(const QDBusConnection& sessionBus,
                                       int timeoutMilliseconds = kDefaultTimeoutMilliseconds,
                                       QObject* parent = nullptr);

  // Subscribes to the portal on `sessionBus` and reads it once more (the constructor does
  // this for its bus; a bus opened later is handed in here). A bus that is not connected
  // leaves both settings as they are.
  void listenTo(const QDBusConnection& sessionBus);

  // Whether the first reading has ended, with an answer or without one.
  bool hasSettled() const;

Q_SIGNALS:
  void settled();

private Q_SLOTS:
  void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
  void store(const QString& group, const QString& key, const QVariant& value);
  void recompute();

  int timeoutMilliseconds_;
  QHash<QString, QVariant> values_;
  bool settled_ = false;
};

} // namespace brindlewick
