#include "ui/design/UiEnvironment.h"

#include "desktop/AccessibilitySettings.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardWidgets.h"

#include <QApplication>
#include <QWidget>

namespace brindlewick {

namespace {

// Set on the root of a subtree whose scheme is forced; holds the ColorScheme as an int.
constexpr char kForcedSchemeProperty[] = "brindlewick.forcedScheme";

} // namespace

UiEnvironment::UiEnvironment(QObject* parent) : QObject(parent) {}

UiEnvironment::~UiEnvironment() = default;

UiEnvironment& UiEnvironment::instance() {
  static UiEnvironment environment;
  return environment;
}

void UiEnvironment::install(AccessibilitySettings* desktop) {
  DropFonts::registerFonts();
  QApplication::setFont(DropFonts::rounded(DropFonts::bodySize, QFont::Normal).font());
  UiEnvironment& environment = instance();
  environment.follow(desktop);
  DropStandardWidgets::followEnvironment(environment);
}

void UiEnvironment::follow(AccessibilitySettings* desktop) {
  for (QMetaObject::Connection& connection : m_connections)
    disconnect(connection);
  m_desktop = desktop;
  if (desktop != nullptr) {
    m_connections[0] =
        connect(desktop, &AccessibilitySettings::darkAppearanceChanged, this, &UiEnvironment::recompute);
    m_connections[1] =
        connect(desktop, &AccessibilitySettings::increaseContrastChanged, this, &UiEnvironment::recompute);
    m_connections[2] =
        connect(desktop, &AccessibilitySettings::reduceMotionChanged, this, &UiEnvironment::recompute);
  }
  recompute();
}

void UiEnvironment::setOverrides(const UiOverrides& overrides) {
  m_overrides = overrides;
  recompute();
}

void UiEnvironment::recompute() {
  const AccessibilitySettings* desktop = m_desktop.data();
  UiTraits traits;
  traits.scheme = m_overrides.scheme.value_or(
      desktop != nullptr && desktop->darkAppearance() ? ColorScheme::dark : ColorScheme::light);
  traits.increasedContrast =
      m_overrides.increasedContrast.value_or(desktop != nullptr && desktop->increaseContrast());
  traits.reduceMotion = m_overrides.reduceMotion.value_or(desktop != nullptr && desktop->reduceMotion());
  traits.reduceTransparency = m_overrides.reduceTransparency.value_or(false);
  traits.boldText = m_overrides.boldText.value_or(false);
  if (traits == m_traits)
    return;
  m_traits = traits;
  Q_EMIT changed();
}

ColorScheme UiEnvironment::schemeOf(const QWidget* widget) const {
  for (const QWidget* current = widget; current != nullptr; current = current->parentWidget()) {
    if (const std::optional<ColorScheme> forced = forcedScheme(current))
      return *forced;
  }
  return m_traits.scheme;
}

UiTraits UiEnvironment::traitsOf(const QWidget* widget) const {
  UiTraits traits = m_traits;
  traits.scheme = schemeOf(widget);
  return traits;
}

void UiEnvironment::repaintOnChange(QWidget* widget) {
  connect(&instance(), &UiEnvironment::changed, widget, [widget] {
    widget->updateGeometry();
    widget->update();
  });
}

std::optional<ColorScheme> UiEnvironment::forcedScheme(const QWidget* widget) {
  const QVariant value = widget->property(kForcedSchemeProperty);
  if (!value.isValid())
    return std::nullopt;
  return static_cast<ColorScheme>(value.toInt());
}

void UiEnvironment::forceScheme(QWidget* subtree, std::optional<ColorScheme> scheme) {
  if (forcedScheme(subtree) == scheme)
    return;
  subtree->setProperty(kForcedSchemeProperty, scheme ? QVariant(static_cast<int>(*scheme)) : QVariant());
  DropStandardWidgets::refresh(subtree);
  subtree->update();
  for (QWidget* child : subtree->findChildren<QWidget*>())
    child->update();
}

} // namespace brindlewick
