#include "desktop/AccessibilitySettings.h"
#include "desktop/FakeDesktop.h"
#include "desktop/PrivateBus.h"
#include "desktop/ScriptedSettingsPortal.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace brindlewick {
namespace {

constexpr int kWaitMilliseconds = 5000;

const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kGnome = QStringLiteral("org.gnome.desktop.interface");
const QString kColorScheme = QStringLiteral("color-scheme");

// Stands for the platform theme's palette, which the appearance falls back on.
QPalette desktopPalette(bool dark) {
  QPalette palette;
  palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(240, 240, 240));
  palette.setColor(QPalette::WindowText, dark ? QColor(230, 230, 230) : QColor(20, 20, 20));
  return palette;
}

class EnvironmentOnABus : public ::testing::Test {
protected:
  void SetUp() override {
    if (!bus_.isRunning())
      GTEST_SKIP() << "dbus-daemon is not installed; the settings portal cannot be scripted";
    service_ = bus_.connect(QStringLiteral("service"));
    client_ = bus_.connect(QStringLiteral("client"));
    portal_ = std::make_unique<ScriptedSettingsPortal>(service_);
    ASSERT_TRUE(portal_->publish());
  }
  void TearDown() override { QApplication::setPalette(QPalette()); }

  // Settings read from the portal as it stands, once they have settled.
  std::unique_ptr<PortalAccessibilitySettings> settle() {
    auto settings = std::make_unique<PortalAccessibilitySettings>(client_);
    if (!settings->hasSettled()) {
      QSignalSpy settled(settings.get(), &PortalAccessibilitySettings::settled);
      EXPECT_TRUE(settled.wait(kWaitMilliseconds));
    }
    return settings;
  }

  PrivateBus bus_;
  QDBusConnection service_{QString()};
  QDBusConnection client_{QString()};
  std::unique_ptr<ScriptedSettingsPortal> portal_;
};

// The colour-scheme keys of the portal and of GNOME; an invalid value leaves the key out.
QMap<QString, QVariantMap> schemes(const QVariant& portal, const QVariant& gnome) {
  QMap<QString, QVariantMap> values;
  if (portal.isValid())
    values[kAppearance][kColorScheme] = portal;
  if (gnome.isValid())
    values[kGnome][kColorScheme] = gnome;
  return values;
}

TEST_F(EnvironmentOnABus, TakesTheSchemeFromThePortalThenGnomeThenThePalette) {
  const QVariant none;
  const QString dark = QStringLiteral("prefer-dark"), light = QStringLiteral("prefer-light");
  const struct {
    const char* name;
    QMap<QString, QVariantMap> values;
    bool darkPalette;
    ColorScheme expected;
  } cases[] = {
      {"portal prefers dark", schemes(1u, light), false, ColorScheme::dark},
      {"portal prefers light", schemes(2u, dark), true, ColorScheme::light},
      {"no portal preference, GNOME prefers dark", schemes(0u, dark), false, ColorScheme::dark},
      {"GNOME prefers light", schemes(none, light), true, ColorScheme::light},
      {"GNOME default leaves it to the palette", schemes(none, QStringLiteral("default")), true,
       ColorScheme::dark},
      {"a portal value of the wrong type is no preference", schemes(QStringLiteral("1"), none), false,
       ColorScheme::light},
  };
  for (const auto& c : cases) {
    QApplication::setPalette(desktopPalette(c.darkPalette));
    portal_->values = c.values;
    const auto settings = settle();
    UiEnvironment environment;
    environment.follow(settings.get());
    EXPECT_EQ(environment.scheme(), c.expected) << c.name;
  }
}

TEST_F(EnvironmentOnABus, SignalsOncePerChangeAndNeverForARepeat) {
  const auto settings = settle();
  UiEnvironment environment;
  environment.follow(settings.get());
  QSignalSpy changed(&environment, &UiEnvironment::changed);

  ASSERT_TRUE(portal_->sendSettingChanged(kAppearance, kColorScheme, 1u));
  ASSERT_TRUE(changed.wait(kWaitMilliseconds));
  EXPECT_EQ(environment.scheme(), ColorScheme::dark);

  // The same scheme again, then contrast: only the contrast may be signalled.
  ASSERT_TRUE(portal_->sendSettingChanged(kAppearance, kColorScheme, 1u));
  ASSERT_TRUE(portal_->sendSettingChanged(kAppearance, QStringLiteral("contrast"), 1u));
  ASSERT_TRUE(changed.wait(kWaitMilliseconds));
  EXPECT_TRUE(environment.increasedContrast());
  EXPECT_EQ(changed.count(), 2);

  // Without a preference left anywhere, the palette decides, and is followed.
  ASSERT_TRUE(portal_->sendSettingChanged(kAppearance, kColorScheme, 0u));
  ASSERT_TRUE(changed.wait(kWaitMilliseconds));
  EXPECT_EQ(environment.scheme(), ColorScheme::light);
  QApplication::setPalette(desktopPalette(true));
  EXPECT_EQ(environment.scheme(), ColorScheme::dark);
  EXPECT_EQ(changed.count(), 4);
}

TEST(UiEnvironment, WithoutABusThePaletteDecidesAtOnce) {
  QApplication::setPalette(desktopPalette(true));
  const QDBusConnection noBus = QDBusConnection::connectToBus(
      QStringLiteral("unix:path=/nonexistent/session_bus"), QStringLiteral("no-bus"));
  {
    PortalAccessibilitySettings settings(noBus);
    UiEnvironment environment;
    environment.follow(&settings);
    EXPECT_TRUE(settings.hasSettled());
    EXPECT_EQ(environment.scheme(), ColorScheme::dark);
    EXPECT_FALSE(environment.increasedContrast() || environment.reduceMotion());
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
  QApplication::setPalette(QPalette());
}

TEST(UiEnvironment, OverridesWinAndTheFlagsWithoutADesktopSettingStayOff) {
  FakeAccessibilitySettings desktop;
  desktop.setDarkAppearance(true);
  desktop.setReduceMotion(true);
  UiEnvironment environment;
  environment.follow(&desktop);
  QSignalSpy changed(&environment, &UiEnvironment::changed);
  EXPECT_EQ(environment.traits(), (UiTraits{ColorScheme::dark, false, true, false, false}));

  environment.setOverrides({ColorScheme::light, true, false, true, true});
  EXPECT_EQ(environment.traits(), (UiTraits{ColorScheme::light, true, false, true, true}));
  desktop.setDarkAppearance(false);
  desktop.setDarkAppearance(true);
  environment.setOverrides(environment.overrides());
  EXPECT_EQ(changed.count(), 1);

  environment.setOverrides({});
  EXPECT_EQ(environment.traits(), (UiTraits{ColorScheme::dark, false, true, false, false}));
  environment.follow(nullptr);
  EXPECT_EQ(environment.traits(), UiTraits{});
  EXPECT_EQ(changed.count(), 3);
}

TEST(UiEnvironment, AForcedSchemeHoldsForItsSubtreeAndItsStandardWidgets) {
  UiEnvironment& environment = UiEnvironment::instance();
  environment.setOverrides({.scheme = ColorScheme::light});
  const QColor applicationWindow = QApplication::palette().color(QPalette::Window);
  QWidget window;
  auto* card = new QWidget(&window);
  auto* field = new QLineEdit(card);
  auto* outsideField = new QLineEdit(&window);
  auto* caption = new QWidget(card);
  DropStandardWidgets::adopt(field);
  DropStandardWidgets::adopt(outsideField);
  DropStandardWidgets::keepForeground(
      caption, [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  const auto baseOf = [](const QWidget* widget) { return widget->palette().color(QPalette::Base); };
  const QColor lightBase = DropStandardWidgets::palette(ColorScheme::light, false).color(QPalette::Base);
  const QColor darkBase = DropStandardWidgets::palette(ColorScheme::dark, false).color(QPalette::Base);

  UiEnvironment::forceScheme(card, ColorScheme::dark);
  EXPECT_EQ(environment.schemeOf(field), ColorScheme::dark);
  EXPECT_EQ(environment.schemeOf(&window), ColorScheme::light);
  EXPECT_EQ(baseOf(field), darkBase);
  EXPECT_EQ(baseOf(outsideField), lightBase);
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), DropDesign::primaryLabel(ColorScheme::dark));

  // The desktop turns dark and light again: the card stays dark throughout.
  environment.setOverrides({.scheme = ColorScheme::dark});
  EXPECT_EQ(baseOf(outsideField), darkBase);
  environment.setOverrides({.scheme = ColorScheme::light});
  EXPECT_EQ(baseOf(field), darkBase);

  // A field moved into the card takes its scheme; a card let go follows the desktop.
  outsideField->setParent(card);
  EXPECT_EQ(baseOf(outsideField), darkBase);
  UiEnvironment::forceScheme(card, std::nullopt);
  EXPECT_EQ(baseOf(field), lightBase);
  EXPECT_EQ(field->style(), DropStandardWidgets::style());
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), applicationWindow);
  environment.setOverrides({});
}

} // namespace
} // namespace brindlewick
