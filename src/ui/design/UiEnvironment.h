#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

class QWidget;

namespace brindlewick {

class AccessibilitySettings;

enum class ColorScheme { light, dark };

// What the interface is drawn for. Every colour, edge and animation reads these and nothing
// else of the desktop.
struct UiTraits {
  ColorScheme scheme = ColorScheme::light;
  bool increasedContrast = false;
  bool reduceMotion = false;
  bool reduceTransparency = false;
  bool boldText = false;

  friend bool operator==(const UiTraits&, const UiTraits&) = default;
};

// Values set here win over the desktop's; an empty one leaves the flag to the desktop.
// Reduce Transparency and Bold Text have no desktop setting on Linux: they are off unless
// set here.
struct UiOverrides {
  std::optional<ColorScheme> scheme = std::nullopt;
  std::optional<bool> increasedContrast = std::nullopt;
  std::optional<bool> reduceMotion = std::nullopt;
  std::optional<bool> reduceTransparency = std::nullopt;
  std::optional<bool> boldText = std::nullopt;
};

// The appearance and accessibility settings the interface follows, live. The application
// makes the process-wide instance follow the desktop once at start (install()), before any
// window exists; components read instance() when they paint and repaint on changed().
// Main thread only.
class UiEnvironment : public QObject {
  Q_OBJECT

public:
  explicit UiEnvironment(QObject* parent = nullptr);
  ~UiEnvironment() override;

  // The one instance the interface reads. Light with every flag off until told otherwise.
  static UiEnvironment& instance();
  // Registers the typefaces, makes the rounded face the application font, keeps the
  // tooltips on our palette and lets instance() follow `desktop`.
  static void install(AccessibilitySettings* desktop);

  // Follows the scheme, contrast and motion that `desktop` reports (held weakly); nullptr
  // follows none.
  void follow(AccessibilitySettings* desktop);
  void setOverrides(const UiOverrides& overrides);
  const UiOverrides& overrides() const { return m_overrides; }

  const UiTraits& traits() const { return m_traits; }
  ColorScheme scheme() const { return m_traits.scheme; }
  bool increasedContrast() const { return m_traits.increasedContrast; }
  bool reduceMotion() const { return m_traits.reduceMotion; }
  bool reduceTransparency() const { return m_traits.reduceTransparency; }
  bool boldText() const { return m_traits.boldText; }

  // The scheme `widget` is drawn in: that of the nearest widget up its parent chain (itself
  // first) whose scheme is forced, else this environment's.
  ColorScheme schemeOf(const QWidget* widget) const;
  // traits() with the scheme `widget` is drawn in.
  UiTraits traitsOf(const QWidget* widget) const;
  // Repaints `widget` and asks its layout again (a bold label is wider) on every change.
  static void repaintOnChange(QWidget* widget);
  // Draws `subtree` in `scheme` whatever the desktop says (the drop's teaser and card are
  // always dark); nullopt lets it follow again. The subtree repaints and its standard
  // widgets take the palette of the new scheme.
  static void forceScheme(QWidget* subtree, std::optional<ColorScheme> scheme);
  static std::optional<ColorScheme> forcedScheme(const QWidget* widget);

Q_SIGNALS:
  // Once for each change of traits(), never for a value set again.
  void changed();

private:
  void recompute();

  QPointer<AccessibilitySettings> m_desktop;
  QMetaObject::Connection m_connections[3];
  UiOverrides m_overrides;
  UiTraits m_traits;
};

} // namespace brindlewick
