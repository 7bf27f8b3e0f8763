#include "desktop/AccessibilitySettings.h"

#include "desktop/BusProperties.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QVariantMap>

#include <cmath>

namespace brindlewick {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInterface = QStringLiteral("org.freedesktop.portal.Settings");

const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kGnomeInterface = QStringLiteral("org.gnome.desktop.interface");
const QString kGnomeAccessibility = QStringLiteral("org.gnome.desktop.a11y.interface");
const QString kKdeGlobals = QStringLiteral("org.kde.kdeglobals.KDE");

QString keyOf(const QString& group, const QString& key) {
  return group + QLatin1Char('\n') + key;
}

// The portal's appearance keys are unsigned enumerations in which 1 means "the reader asks
// for it"; anything else, including a value of another type, is no preference.
bool isPreferenceOn(const QVariant& value) {
  return value.typeId() == QMetaType::UInt && value.toUInt() == 1;
}

bool isBool(const QVariant& value, bool expected) {
  return value.typeId() == QMetaType::Bool && value.toBool() == expected;
}

// KDE turns animations off with a duration factor of 0 (sent as a number or as text).
bool isZeroFactor(const QVariant& value) {
  if (value.typeId() != QMetaType::Double && value.typeId() != QMetaType::QString) {
    return false;
  }
  bool ok = false;
  const double factor =
      value.typeId() == QMetaType::Double ? value.toDouble(&ok) : value.toString().toDouble(&ok);
  return ok && std::isfinite(factor) && factor == 0;
}

enum class SchemePreference { none, dark, light };

SchemePreference portalScheme(const QVariant& value) {
  if (value.typeId() != QMetaType::UInt)
    return SchemePreference::none;
  switch (value.toUInt()) {
  case 1: return SchemePreference::dark;
  case 2: return SchemePreference::light;
  default: return SchemePreference::none;
  }
}

SchemePreference gnomeScheme(const QVariant& value) {
  if (value.typeId() != QMetaType::QString)
    return SchemePreference::none;
  if (value.toString() == QLatin1String("prefer-dark"))
    return SchemePreference::dark;
  if (value.toString() == QLatin1String("prefer-light"))
    return SchemePreference::light;
  return SchemePreference::none;
}

// The platform theme's own palette: dark when its windows are darker than their text.
bool platformPaletteIsDark() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    return false;
  const QPalette palette = QGuiApplication::palette();
  return palette.color(QPalette::Window).lightnessF() < palette.color(QPalette::WindowText).lightnessF();
}

} // namespace

bool AccessibilitySettings::reduceMotion() const {
  return reduceMotion_;
}

bool AccessibilitySettings::increaseContrast() const {
  return increaseContrast_;
}

bool AccessibilitySettings::darkAppearance() const {
  return darkAppearance_;
}

void AccessibilitySettings::setDarkAppearance(bool darkAppearance) {
  if (darkAppearance_ != darkAppearance) {
    darkAppearance_ = darkAppearance;
    Q_EMIT darkAppearanceChanged(darkAppearance);
  }
}

void AccessibilitySettings::setReduceMotion(bool reduceMotion) {
  if (reduceMotion_ != reduceMotion) {
    reduceMotion_ = reduceMotion;
    Q_EMIT reduceMotionChanged(reduceMotion);
  }
}

void AccessibilitySettings::setIncreaseContrast(bool increaseContrast) {
  if (increaseContrast_ != increaseContrast) {
    increaseContrast_ = increaseContrast;
    Q_EMIT increaseContrastChanged(increaseContrast);
  }
}

PortalAccessibilitySettings::PortalAccessibilitySettings(const QDBusConnection& sessionBus,
                                                         int timeoutMilliseconds, QObject* parent)
    : AccessibilitySettings(parent), timeoutMilliseconds_(timeoutMilliseconds) {
  // Until the portal answers (or without one) the platform palette gives the appearance.
  recompute();
  if (QCoreApplication* application = QCoreApplication::instance())
    application->installEventFilter(this);
  listenTo(sessionBus);
}

bool PortalAccessibilitySettings::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance())
    recompute();
  return false;
}

void PortalAccessibilitySettings::listenTo(const QDBusConnection& sessionBus) {
  QDBusConnection bus = sessionBus;
  if (!bus.isConnected()) {
    settled_ = true;
    return;
  }
  // Subscribe before reading, so that a change made while the first answer travels is kept.
  // No sender is named: Qt would otherwise wait on the bus for the portal's owner.
  bus.connect(QString(), kPortalPath, kPortalInterface, QStringLiteral("SettingChanged"), this,
              SLOT(settingChanged(QString, QString, QDBusVariant)));

  QDBusMessage readAll = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPortalInterface,
                                                        QStringLiteral("ReadAll"));
  readAll << QStringList{kAppearance, kGnomeInterface, kGnomeAccessibility, kKdeGlobals};
  callWithoutWaiting(bus, readAll, timeoutMilliseconds_, this, [this](const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == QLatin1String("a{sa{sv}}")) {
      const auto argument = reply.arguments().constFirst().value<QDBusArgument>();
      argument.beginMap();
      while (!argument.atEnd()) {
        QString group;
        QVariantMap entries;
        argument.beginMapEntry();
        argument >> group >> entries;
        argument.endMapEntry();
        for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
          // A change signalled before this answer arrived is newer than the answer.
          if (!values_.contains(keyOf(group, entry.key()))) {
            values_.insert(keyOf(group, entry.key()), entry.value());
          }
        }
      }
      argument.endMap();
      recompute();
    }
    settled_ = true;
    Q_EMIT settled();
  });
}

bool PortalAccessibilitySettings::hasSettled() const {
  return settled_;
}

void PortalAccessibilitySettings::settingChanged(const QString& group, const QString& key,
                                                 const QDBusVariant& value) {
  store(group, key, value.variant());
  recompute();
}

void PortalAccessibilitySettings::store(const QString& group, const QString& key, const QVariant& value) {
  values_.insert(keyOf(group, key), value);
}

void PortalAccessibilitySettings::recompute() {
  const auto value = [this](const QString& group, const QString& key) {
    return values_.value(keyOf(group, key));
  };
  setReduceMotion(isPreferenceOn(value(kAppearance, QStringLiteral("reduced-motion"))) ||
                  isBool(value(kGnomeInterface, QStringLiteral("enable-animations")), false) ||
                  isZeroFactor(value(kKdeGlobals, QStringLiteral("AnimationDurationFactor"))));
  setIncreaseContrast(isPreferenceOn(value(kAppearance, QStringLiteral("contrast"))) ||
                      isBool(value(kGnomeAccessibility, QStringLiteral("high-contrast")), true));
  SchemePreference scheme = portalScheme(value(kAppearance, QStringLiteral("color-scheme")));
  if (scheme == SchemePreference::none)
    scheme = gnomeScheme(value(kGnomeInterface, QStringLiteral("color-scheme")));
  setDarkAppearance(scheme == SchemePreference::none ? platformPaletteIsDark()
                                                     : scheme == SchemePreference::dark);
}

} // namespace brindlewick
