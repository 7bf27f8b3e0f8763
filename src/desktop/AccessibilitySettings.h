#pragma once

#include <QDBusConnection>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariant>

namespace brindlewick {

// The reader's appearance, motion and contrast preferences. All are off (a light
// appearance) until the desktop says otherwise; each property notifies only when its value
// changes.
class AccessibilitySettings : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)
  Q_PROPERTY(bool increaseContrast READ increaseContrast NOTIFY increaseContrastChanged)
  Q_PROPERTY(bool darkAppearance READ darkAppearance NOTIFY darkAppearanceChanged)

public:
  using QObject::QObject;

  bool reduceMotion() const;
  bool increaseContrast() const;
  bool darkAppearance() const;

Q_SIGNALS:
  void reduceMotionChanged(bool reduceMotion);
  void increaseContrastChanged(bool increaseContrast);
  void darkAppearanceChanged(bool darkAppearance);

protected:
  void setReduceMotion(bool reduceMotion);
  void setIncreaseContrast(bool increaseContrast);
  void setDarkAppearance(bool darkAppearance);

private:
  bool reduceMotion_ = false;
  bool increaseContrast_ = false;
  bool darkAppearance_ = false;
};

// Reads the settings from the desktop's settings portal (org.freedesktop.portal.Settings) on
// the session bus, once at start with a bounded asynchronous call and then from its
// SettingChanged signal. It understands the portal's own appearance keys and the GNOME and
// KDE keys the portal passes through. Without a session bus or a portal, motion and contrast
// stay off.
//
// The appearance is dark when the portal's "color-scheme" prefers dark (1) and light when it
// prefers light (2); without a preference GNOME's "color-scheme" decides ("prefer-dark" or
// "prefer-light"); without either, the application palette that the platform theme gives
// (a window colour darker than its text means dark), followed when it changes. That palette
// must stay the platform's: our own colours go on our widgets, never on the application.
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
  bool eventFilter(QObject* watched, QEvent* event) override;
  void store(const QString& group, const QString& key, const QVariant& value);
  void recompute();

  int timeoutMilliseconds_;
  QHash<QString, QVariant> values_;
  bool settled_ = false;
};

} // namespace brindlewick
