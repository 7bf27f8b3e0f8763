#pragma once

#include "content/ContentContracts.h"
#include "ui/design/UiEnvironment.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRectF>

#include <functional>

class QPainter;

namespace brindlewick {

// The design tokens: a small fixed palette of literal sRGB colours, chosen by the colour
// scheme alone (dark has its own value, everything else takes the light one) and, for the
// drop card, by the drop's category. Nothing comes from the desktop's accent or palette.
// "HSB" colours are HSV (QColor::fromHsvF), not HSL.
namespace DropDesign {

// A colour that depends on what the interface is drawn for, asked when painting.
using ColorFor = std::function<QColor(const UiTraits&)>;

// Red, green and blue all at `level`.
QColor grey(double level, double alpha = 1);
QColor ink();   // grey 0.08: near-black text and fill
QColor paper(); // grey 0.97: near-white text and fill
QColor notch(); // black: the camera housing, the top of the card background
QColor heroGlow();
// The deep-blue backdrop of the onboarding screens, top-left to bottom-right of `rect`.
QLinearGradient heroGradient(const QRectF& rect);

// The accents of the dashboard's metric tiles, in this order.
enum class Highlight { teal, amber, violet };
QColor highlight(Highlight highlight, ColorScheme scheme);

// The fills of a selected and of a hovered row.
QColor selection(ColorScheme scheme);
QColor hover(ColorScheme scheme);

// The bottom colour of the drop card's background: the category's hue, 0.66 of its
// saturation, brightness 0.3.
QColor cardColor(Category category);
// The drop card's background over `rect`: black over the top 12 %, grey 0.07 at 55 %, the
// category's card colour at the bottom.
QLinearGradient panelBackground(Category category, const QRectF& rect);
// The reader window's backdrop: the under-page colour (dark) or grey 0.965 (light) with a
// soft white glow from the top-right corner (radius 720).
void paintWorkspaceBackground(QPainter& painter, const QRectF& rect, ColorScheme scheme);

// Paper in the dark scheme, ink in the light one: the strongest colour on the window.
QColor foreground(ColorScheme scheme);
// `color` with its opacity multiplied by `opacity`.
QColor withOpacity(QColor color, qreal opacity);
// The colour `t` of the way from `from` to `to`, mixed premultiplied: a clear end fades
// without changing hue.
QColor mixed(const QColor& from, const QColor& to, qreal t);

// A rectangle with circular corners of `radius`.
QPainterPath roundedRect(const QRectF& rect, qreal radius);
// A 1-pixel line in `color` just inside the rounded rectangle, its border.
void strokeInnerEdge(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color);

// Our own values for the platform colours the design names.
QColor primaryLabel(ColorScheme scheme);
QColor secondaryLabel(ColorScheme scheme);
QColor tertiaryLabel(ColorScheme scheme);
QColor windowBackground(ColorScheme scheme);
QColor underPageBackground(ColorScheme scheme);
QColor systemRed(ColorScheme scheme);

} // namespace DropDesign

} // namespace brindlewick
