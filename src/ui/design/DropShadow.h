#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

namespace brindlewick {

// Soft shadows without a graphics effect: the alpha of a picture, blurred, moved and
// coloured. A shadow radius is read as two standard deviations of the Gaussian (a radius
// of 4 blurs with σ = 2), and the blur reaches three deviations out, so a picture needs a
// transparent margin of 1.5 × radius plus the offset on each side. The caller caches the
// result; nothing here is fast enough to run on every frame.
namespace DropShadow {

// The shadow `source` casts (ARGB32 premultiplied, any device pixel ratio): its alpha
// blurred by `radius`, moved by `offset` (both in device-independent pixels) and painted in
// `color`, whose alpha scales the source's. Same size and pixel ratio as `source`.
QImage cast(const QImage& source, qreal radius, QPointF offset, const QColor& color);

} // namespace DropShadow

} // namespace brindlewick
