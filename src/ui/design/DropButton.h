#pragma once

#include "ui/design/DropFonts.h"
#include "ui/design/DropGlass.h"
#include "ui/design/DropPaintedButton.h"
#include "ui/design/UiEnvironment.h"

#include <QColor>
#include <QPointer>

#include <functional>
#include <optional>

class QMenu;
class QPainter;

namespace brindlewick {

// The look of nearly every push button: a capsule of painted glass with a rounded label, a
// lift on hover, a wash and a slight shrink while pressed, a focus ring just outside the
// capsule, and the whole at 45 % opacity when disabled. Five appearances suit the surfaces
// a button sits on: the window (primary, secondary), the dark reading card (reader) and
// the deep-blue hero backdrop (hero, heroSecondary).
struct DropButtonStyle {
  enum class Appearance { primary, secondary, reader, hero, heroSecondary };

  Appearance appearance = Appearance::secondary;
  bool iconOnly = false; // a single symbol in a fixed circle
  bool compact = false;
  std::optional<QColor> tint = std::nullopt; // handed to the glass

  friend bool operator==(const DropButtonStyle&, const DropButtonStyle&) = default;

  struct Metrics {
    qreal fontSize;
    qreal height;
    qreal padding;      // each side of the label
    qreal minimumWidth; // 0: none
    qreal iconWidth;    // the circle of an icon-only button
  };
  Metrics metrics() const;
  DropFont labelFont(bool boldText) const;
  QColor labelColor(ColorScheme scheme) const;
  QColor ringColor(ColorScheme scheme) const;
  DropGlass::Tone tone() const;
  // A reader text button fills the width it is given; others keep their natural width.
  bool fillsWidth() const;
  // The capsule's width around a label `labelWidth` wide.
  qreal shapeWidth(qreal labelWidth) const;

  // Paints the label in `content` (the capsule less its padding) in the colour and font given.
  using LabelPainter = std::function<void(QPainter&, const QRectF& content, const QColor&, const QFont&)>;
  // The whole button for a capsule with bounds `capsule`; everything it draws lies within
  // DropGlass::shadowMargins() of it.
  static void paint(QPainter& painter, const QRectF& capsule, const DropButtonStyle& style,
                    const ControlState& state, const UiTraits& traits, const LabelPainter& label);
  // The usual label, centred: a symbol, then the title, elided at the end when short of room.
  // The symbol takes `symbolColor` when given (a state's tint), else `color` as the title.
  static void paintLabel(QPainter& painter, const QRectF& content, const QString& text, const QString& symbol,
                         const QColor& color, const QFont& font,
                         const std::optional<QColor>& symbolColor = std::nullopt);
  static qreal labelWidth(const QString& text, const QString& symbol, const QFont& font);
  // The side of a symbol set in a label's font.
  static qreal symbolSize(const QFont& font);
};

// What a screen knows about a button: whether it is the prominent one, whether it sits on
// the reading card or on the hero backdrop, and its size and tint.
struct DropControlFlags {
  bool prominent = false;
  bool reader = false;
  bool onHero = false;
  bool iconOnly = false;
  bool compact = false;
  std::optional<QColor> tint = std::nullopt;
};

// The appearance, in this order: on the hero, hero or heroSecondary by prominence; else on the
// card, reader; else primary or secondary by prominence.
DropButtonStyle dropControl(const DropControlFlags& flags);

// A push button with the look above. Its capsule is centred in the widget's shape rect and
// is where it takes the pointer; an icon-only button shows symbol() alone (name it with
// DropAccessibility::describe()).
class DropButton : public DropPaintedButton {
  Q_OBJECT

public:
  explicit DropButton(const DropButtonStyle& style, QWidget* parent = nullptr);
  DropButton(const QString& text, const DropButtonStyle& style, QWidget* parent = nullptr);

  const DropButtonStyle& buttonStyle() const { return m_style; }
  void setButtonStyle(const DropButtonStyle& style);
  const QString& symbol() const { return m_symbol; }
  void setSymbol(const QString& name);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  QPainterPath hitShape() const override;
  // A label of its own: its natural width in `font`, and its painting.
  virtual qreal naturalLabelWidth(const QFont& font) const;
  virtual void paintLabel(QPainter& painter, const QRectF& content, const QColor& color, const QFont& font);
  QFont labelFont() const;
  // The capsule: the shape rect at the style's height (and width, for a circle), centred.
  QRectF capsuleRect() const;
  // Pops `menu` up below the capsule and returns at once (the menu runs in the application's
  // event loop). While it is open, a press on this button only closes it.
  void popUpBelow(QMenu* menu);
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void applySizePolicy();

  DropButtonStyle m_style;
  QString m_symbol;
  QPointer<QMenu> m_popUp;
};

} // namespace brindlewick
