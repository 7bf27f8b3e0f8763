#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

#include <array>

namespace brindlewick {

// The application's icon: the mark in paper on the hero's blue, in a rounded square
// (resources/icons, an SVG compiled into the program). The same picture is the windows' icon,
// and the icon theme's files that the install puts beside the desktop entry are rendered from
// it when the program is built.
namespace ApplicationIcon {

// The name in the icon theme, the desktop entry's id: what its Icon= key names.
inline const QString themeName = QStringLiteral("app.brindlewick");
// The square sizes, in pixels, rendered for the icon theme and the windows.
inline constexpr std::array<int, 8> sizes = {16, 22, 24, 32, 48, 64, 128, 256};

// The SVG's own text, as installed under the theme's scalable folder.
QByteArray svg();
// The icon rendered into a square of `side` pixels; a null image when `side` is not positive.
QImage render(int side);
// Every size of `sizes`. Needs the GUI application, like any pixmap.
QIcon icon();

} // namespace ApplicationIcon

} // namespace brindlewick
