#pragma once

#include "ui/design/UiEnvironment.h"

#include <QPixmap>
#include <QSize>

namespace brindlewick {

// The reader window's backdrop as a picture of the whole window, made once per size, scheme
// and pixel ratio. The window paints it behind everything, and the workspace paints the
// same pixels over the corners of its rounded page card, so both must take it from here.
namespace WorkspaceBackdrop {

// The picture for a window of `size`; the last one made is kept.
QPixmap picture(QSize size, ColorScheme scheme, qreal ratio);
// How many pictures have been made so far (the cache's misses).
int madeCount();

} // namespace WorkspaceBackdrop

} // namespace brindlewick
