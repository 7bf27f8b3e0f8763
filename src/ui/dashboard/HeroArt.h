#pragma once

#include <QRectF>
#include <QString>

class QPainter;

namespace brindlewick {

// The illustration in the hero's bottom-trailing corner: the application's own artwork,
// fitted into its area with its proportions kept, standing on the area's bottom edge against
// its trailing edge, with a soft shadow below it. Without the artwork it draws nothing.
namespace HeroArt {

// The hero's own artwork, or the one `resource` names (DropArtwork).
void paint(QPainter& painter, const QRectF& area, qreal devicePixelRatio);
void paint(QPainter& painter, const QRectF& area, qreal devicePixelRatio, const QString& resource);

} // namespace HeroArt

} // namespace brindlewick
