#include "ui/design/DropDesign.h"

#include <QPainter>
#include <QRadialGradient>

namespace brindlewick {

namespace {

QColor rgb(double red, double green, double blue, double alpha = 1) {
  return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

bool isDark(ColorScheme scheme) {
  return scheme == ColorScheme::dark;
}

} // namespace

QColor DropDesign::grey(double level, double alpha) {
  return rgb(level, level, level, alpha);
}

QColor DropDesign::ink() {
  return grey(0.08);
}

QColor DropDesign::paper() {
  return grey(0.97);
}

QColor DropDesign::notch() {
  return Qt::black;
}

QColor DropDesign::heroGlow() {
  return rgb(0.16, 0.42, 0.85);
}

QLinearGradient DropDesign::heroGradient(const QRectF& rect) {
  QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
  gradient.setColorAt(0, rgb(0.08, 0.22, 0.52));
  gradient.setColorAt(0.5, rgb(0.04, 0.12, 0.34));
  gradient.setColorAt(1, rgb(0.02, 0.05, 0.17));
  return gradient;
}

QColor DropDesign::highlight(Highlight highlight, ColorScheme scheme) {
  const bool dark = isDark(scheme);
  switch (highlight) {
  case Highlight::teal: return dark ? rgb(0.51, 0.81, 0.72) : rgb(0.16, 0.44, 0.37);
  case Highlight::amber: return dark ? rgb(0.96, 0.73, 0.44) : rgb(0.64, 0.35, 0.12);
  case Highlight::violet: return dark ? rgb(0.76, 0.70, 0.98) : rgb(0.43, 0.34, 0.68);
  }
  return {};
}

QColor DropDesign::selection(ColorScheme scheme) {
  return isDark(scheme) ? grey(0.97, 0.14) : grey(0.08, 0.08);
}

QColor DropDesign::hover(ColorScheme scheme) {
  return isDark(scheme) ? grey(0.97, 0.07) : grey(0.08, 0.04);
}

QColor DropDesign::cardColor(Category category) {
  const CategoryPalette colors = palette(category);
  return QColor::fromHsvF(float(colors.hue), float(colors.saturation * 0.66), 0.3f);
}

QLinearGradient DropDesign::panelBackground(Category category, const QRectF& rect) {
  QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
  gradient.setColorAt(0, notch());
  gradient.setColorAt(0.12, notch());
  gradient.setColorAt(0.55, grey(0.07));
  gradient.setColorAt(1, cardColor(category));
  return gradient;
}

void DropDesign::paintWorkspaceBackground(QPainter& painter, const QRectF& rect, ColorScheme scheme) {
  const bool dark = isDark(scheme);
  painter.fillRect(rect, dark ? underPageBackground(scheme) : grey(0.965));
  QRadialGradient glow(rect.topRight(), 720);
  glow.setColorAt(0, grey(1, dark ? 0.06 : 0.7));
  glow.setColorAt(1, grey(1, 0));
  painter.fillRect(rect, glow);
}

QColor DropDesign::foreground(ColorScheme scheme) {
  return isDark(scheme) ? paper() : ink();
}

QColor DropDesign::withOpacity(QColor color, qreal opacity) {
  color.setAlphaF(float(color.alphaF() * opacity));
  return color;
}

QColor DropDesign::mixed(const QColor& from, const QColor& to, qreal t) {
  const auto mix = [t](float a, float b) { return float(a + (b - a) * t); };
  const float alpha = mix(from.alphaF(), to.alphaF());
  if (alpha <= 0)
    return Qt::transparent;
  return QColor::fromRgbF(mix(from.redF() * from.alphaF(), to.redF() * to.alphaF()) / alpha,
                          mix(from.greenF() * from.alphaF(), to.greenF() * to.alphaF()) / alpha,
                          mix(from.blueF() * from.alphaF(), to.blueF() * to.alphaF()) / alpha, alpha);
}

QPainterPath DropDesign::roundedRect(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

void DropDesign::strokeInnerEdge(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color) {
  painter.strokePath(roundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5), QPen(color, 1));
}

QColor DropDesign::primaryLabel(ColorScheme scheme) {
  return isDark(scheme) ? grey(1, 0.85) : grey(0, 0.85);
}

QColor DropDesign::secondaryLabel(ColorScheme scheme) {
  return isDark(scheme) ? grey(1, 0.55) : grey(0, 0.5);
}

QColor DropDesign::tertiaryLabel(ColorScheme scheme) {
  return isDark(scheme) ? grey(1, 0.25) : grey(0, 0.26);
}

QColor DropDesign::windowBackground(ColorScheme scheme) {
  return isDark(scheme) ? grey(0.196) : grey(0.925);
}

QColor DropDesign::underPageBackground(ColorScheme scheme) {
  return isDark(scheme) ? grey(0.157) : grey(0.59);
}

QColor DropDesign::systemRed(ColorScheme scheme) {
  return isDark(scheme) ? rgb(1.0, 0.27, 0.23) : rgb(1.0, 0.23, 0.19);
}

} // namespace brindlewick
