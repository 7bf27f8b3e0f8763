#include "ui/design/DropButton.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/TextElision.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

using Appearance = DropButtonStyle::Appearance;

constexpr qreal kPressedScale = 0.97;
constexpr qreal kDisabledOpacity = 0.45;
constexpr qreal kSymbolScale = 1.15; // a symbol beside text is a little larger than the text
constexpr qreal kSymbolSpacing = 6;

// White washes lighten dark glass; black ones darken light glass.
bool lightWash(Appearance appearance, ColorScheme scheme) {
  switch (appearance) {
  case Appearance::primary: return scheme != ColorScheme::dark;
  case Appearance::reader:
  case Appearance::heroSecondary: return true;
  case Appearance::secondary:
  case Appearance::hero: return false;
  }
  return false;
}

QColor washColor(Appearance appearance, const ControlState& state, ColorScheme scheme) {
  const bool white = lightWash(appearance, scheme);
  const qreal pressed = white ? 0.14 : 0.07;
  const qreal hovered = white ? 0.08 : 0.035;
  const qreal hover = state.enabled ? state.hover : 0;
  const qreal alpha = state.press * pressed + (1 - state.press) * hover * hovered;
  return white ? QColor::fromRgbF(1, 1, 1, float(alpha)) : QColor::fromRgbF(0, 0, 0, float(alpha));
}

void paintLayers(QPainter& painter, const QRectF& capsule, const DropButtonStyle& style,
                 const ControlState& state, const UiTraits& traits,
                 const DropButtonStyle::LabelPainter& label) {
  const QPainterPath shape = DropGlass::capsule(capsule);
  DropGlass::paint(painter, shape,
                   DropGlass::Style{style.tone(), style.tint, traits.scheme, traits.increasedContrast},
                   state.enabled ? state.hover : 0);
  const QColor wash = washColor(style.appearance, state, traits.scheme);
  if (wash.alpha() > 0)
    painter.fillPath(shape, wash);
  const DropButtonStyle::Metrics metrics = style.metrics();
  const qreal padding = std::min(metrics.padding, capsule.width() / 2);
  label(painter, capsule.adjusted(padding, 0, -padding, 0), style.labelColor(traits.scheme),
        style.labelFont(traits.boldText).font());
  if (state.focus > 0) {
    const QColor ring = DropDesign::withOpacity(style.ringColor(traits.scheme), state.focus);
    const qreal centre = DropFocusRing::outset - DropFocusRing::lineWidth / 2;
    DropFocusRing::stroke(painter, DropGlass::capsule(capsule.adjusted(-centre, -centre, centre, centre)),
                          ring);
  }
}

} // namespace

DropButtonStyle::Metrics DropButtonStyle::metrics() const {
  if (compact)
    return Metrics{12, 28, iconOnly ? 6.0 : 14.0, 0, 28};
  return Metrics{13, 40, iconOnly ? 10.0 : 18.0, iconOnly ? 0.0 : 96.0, 40};
}

DropFont DropButtonStyle::labelFont(bool boldText) const {
  const QFont::Weight weight =
      appearance == Appearance::reader && !boldText ? QFont::Medium : QFont::DemiBold;
  return DropFonts::rounded(metrics().fontSize, weight);
}

QColor DropButtonStyle::labelColor(ColorScheme scheme) const {
  switch (appearance) {
  case Appearance::primary: return scheme == ColorScheme::dark ? DropDesign::ink() : DropDesign::paper();
  case Appearance::secondary: return DropDesign::primaryLabel(scheme);
  case Appearance::hero: return DropDesign::ink();
  case Appearance::reader:
  case Appearance::heroSecondary: return DropDesign::paper();
  }
  return {};
}

QColor DropButtonStyle::ringColor(ColorScheme scheme) const {
  if (appearance == Appearance::primary || appearance == Appearance::secondary)
    return DropFocusRing::color(scheme);
  return Qt::white;
}

DropGlass::Tone DropButtonStyle::tone() const {
  switch (appearance) {
  case Appearance::primary: return DropGlass::Tone::ink;
  case Appearance::secondary: return DropGlass::Tone::clear;
  case Appearance::hero: return DropGlass::Tone::paper;
  case Appearance::reader:
  case Appearance::heroSecondary: return DropGlass::Tone::onDark;
  }
  return DropGlass::Tone::clear;
}

bool DropButtonStyle::fillsWidth() const {
  return appearance == Appearance::reader && !iconOnly;
}

qreal DropButtonStyle::shapeWidth(qreal labelWidth) const {
  const Metrics size = metrics();
  if (iconOnly)
    return size.iconWidth;
  return std::max(size.minimumWidth, std::ceil(labelWidth) + 2 * size.padding);
}

void DropButtonStyle::paint(QPainter& painter, const QRectF& capsule, const DropButtonStyle& style,
                            const ControlState& state, const UiTraits& traits, const LabelPainter& label) {
  const qreal scale = traits.reduceMotion ? 1 : 1 - (1 - kPressedScale) * state.press;
  const qreal opacity = state.enabled ? 1 : kDisabledOpacity;
  if (scale == 1 && opacity == 1) {
    paintLayers(painter, capsule, style, state, traits, label);
    return;
  }
  // Shrinking and fading act on the finished button, as one picture.
  const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatio() : 1;
  const QRectF area = capsule.marginsAdded(DropGlass::shadowMargins());
  QImage layer(QSize(int(std::ceil(area.width() * ratio)), int(std::ceil(area.height() * ratio))),
               QImage::Format_ARGB32_Premultiplied);
  layer.setDevicePixelRatio(ratio);
  layer.fill(Qt::transparent);
  {
    QPainter layerPainter(&layer);
    layerPainter.setRenderHint(QPainter::Antialiasing);
    layerPainter.translate(-area.topLeft());
    paintLayers(layerPainter, capsule, style, state, traits, label);
  }
  painter.save();
  painter.setOpacity(painter.opacity() * opacity);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.translate(capsule.center());
  painter.scale(scale, scale);
  painter.translate(-capsule.center());
  painter.drawImage(area.topLeft(), layer);
  painter.restore();
}

qreal DropButtonStyle::symbolSize(const QFont& font) {
  return font.pixelSize() * kSymbolScale;
}

qreal DropButtonStyle::labelWidth(const QString& text, const QString& symbol, const QFont& font) {
  qreal width = text.isEmpty() ? 0 : QFontMetricsF(font).horizontalAdvance(text);
  if (!symbol.isEmpty())
    width += symbolSize(font) + (text.isEmpty() ? 0 : kSymbolSpacing);
  return width;
}

void DropButtonStyle::paintLabel(QPainter& painter, const QRectF& content, const QString& text,
                                 const QString& symbol, const QColor& color, const QFont& font,
                                 const std::optional<QColor>& symbolColor) {
  const qreal symbolSide = symbol.isEmpty() ? 0 : symbolSize(font);
  const qreal symbolRoom = symbol.isEmpty() ? 0 : symbolSide + (text.isEmpty() ? 0 : kSymbolSpacing);
  const QFontMetricsF metrics(font);
  const QString shown = TextElision::elide(text, font, std::max<qreal>(0, content.width() - symbolRoom));
  const qreal width = symbolRoom + (shown.isEmpty() ? 0 : metrics.horizontalAdvance(shown));
  qreal x = content.center().x() - width / 2;
  if (!symbol.isEmpty()) {
    const QFont::Weight weight = QFont::Weight(font.weight());
    DropSymbols::paint(painter, symbol, QRectF(x, content.top(), symbolSide, content.height()), symbolSide,
                       weight, symbolColor.value_or(color));
    x += symbolRoom;
  }
  if (shown.isEmpty())
    return;
  painter.setFont(font);
  painter.setPen(color);
  // Centred on the cap height rather than the line box, as the eye reads a label.
  const qreal baseline = content.center().y() + metrics.capHeight() / 2;
  painter.drawText(QPointF(x, baseline), shown);
}

DropButtonStyle dropControl(const DropControlFlags& flags) {
  Appearance appearance = flags.prominent ? Appearance::primary : Appearance::secondary;
  if (flags.onHero)
    appearance = flags.prominent ? Appearance::hero : Appearance::heroSecondary;
  else if (flags.reader)
    appearance = Appearance::reader;
  return DropButtonStyle{appearance, flags.iconOnly, flags.compact, flags.tint};
}

DropButton::DropButton(const DropButtonStyle& style, QWidget* parent)
    : DropButton(QString(), style, parent) {}

DropButton::DropButton(const QString& text, const DropButtonStyle& style, QWidget* parent)
    : DropPaintedButton(parent), m_style(style) {
  setText(text);
  setShapeMargins(glassShadowRoom());
  applySizePolicy();
}

void DropButton::setButtonStyle(const DropButtonStyle& style) {
  if (style == m_style)
    return;
  m_style = style;
  applySizePolicy();
  updateGeometry();
  update();
}

void DropButton::setSymbol(const QString& name) {
  if (name == m_symbol)
    return;
  m_symbol = name;
  updateGeometry();
  update();
}

void DropButton::applySizePolicy() {
  if (m_style.iconOnly)
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  else
    setSizePolicy(m_style.fillsWidth() ? QSizePolicy::Expanding : QSizePolicy::Maximum, QSizePolicy::Fixed);
}

QFont DropButton::labelFont() const {
  return m_style.labelFont(UiEnvironment::instance().boldText()).font();
}

QSize DropButton::sizeHint() const {
  return sizeAroundShape(
      QSizeF(m_style.shapeWidth(naturalLabelWidth(labelFont())), m_style.metrics().height));
}

QSize DropButton::minimumSizeHint() const {
  const DropButtonStyle::Metrics metrics = m_style.metrics();
  if (m_style.iconOnly)
    return sizeHint();
  // Room for the padding and an ellipsis at least.
  const qreal least = QFontMetricsF(labelFont()).horizontalAdvance(QStringLiteral("…")) + 2 * metrics.padding;
  return sizeAroundShape(QSizeF(std::max(metrics.minimumWidth, std::ceil(least)), metrics.height));
}

qreal DropButton::naturalLabelWidth(const QFont& font) const {
  return DropButtonStyle::labelWidth(m_style.iconOnly ? QString() : text(), m_symbol, font);
}

void DropButton::paintLabel(QPainter& painter, const QRectF& content, const QColor& color,
                            const QFont& font) {
  DropButtonStyle::paintLabel(painter, content, m_style.iconOnly ? QString() : text(), m_symbol, color, font);
}

QPainterPath DropButton::hitShape() const {
  return DropGlass::capsule(capsuleRect());
}

QRectF DropButton::capsuleRect() const {
  const DropButtonStyle::Metrics metrics = m_style.metrics();
  const QRectF shape = shapeRect();
  const qreal width = m_style.iconOnly ? std::min(shape.width(), metrics.iconWidth) : shape.width();
  const qreal height = std::min(shape.height(), metrics.height);
  return QRectF(shape.center().x() - width / 2, shape.center().y() - height / 2, width, height);
}

void DropButton::popUpBelow(QMenu* menu) {
  if (m_popUp != menu) {
    if (m_popUp)
      m_popUp->removeEventFilter(this);
    m_popUp = menu;
    menu->installEventFilter(this);
  }
  const QRect capsule = capsuleRect().toAlignedRect();
  menu->popup(mapToGlobal(QPoint(capsule.left(), capsule.bottom() + 4)));
}

bool DropButton::eventFilter(QObject* watched, QEvent* event) {
  // Without this the press that closes the menu would reach the button again and open it anew.
  if (watched == m_popUp && event->type() == QEvent::MouseButtonPress &&
      hitButton(mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition()).toPoint()))
    m_popUp->setAttribute(Qt::WA_NoMouseReplay);
  return DropPaintedButton::eventFilter(watched, event);
}

void DropButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  DropButtonStyle::paint(painter, capsuleRect(), m_style, controlState(),
                         UiEnvironment::instance().traitsOf(this),
                         [this](QPainter& labelPainter, const QRectF& content, const QColor& color,
                                const QFont& font) { paintLabel(labelPainter, content, color, font); });
}

} // namespace brindlewick
