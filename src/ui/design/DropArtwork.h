#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>

namespace brindlewick {

// The application's own illustrations (resources/images, drawn as SVG for the project). Each
// is read at most once per process; one that is missing stays missing and is not looked up
// again, and draws nothing.
namespace DropArtwork {

inline const QString heroArt = QStringLiteral("hero-art");
inline const QString onboardingSky = QStringLiteral("onboarding-sky");

bool exists(const QString& name);
// The illustration's own proportions (empty when missing).
QSizeF naturalSize(const QString& name);
// The illustration rendered at `size` device-independent pixels and `devicePixelRatio`; a
// null image when missing or empty.
QImage render(const QString& name, QSizeF size, qreal devicePixelRatio);

} // namespace DropArtwork

} // namespace brindlewick
