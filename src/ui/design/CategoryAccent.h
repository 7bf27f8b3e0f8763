#pragma once

#include "content/ContentContracts.h"
#include "ui/design/UiEnvironment.h"

#include <QColor>

namespace brindlewick {

// The accent of a content topic: its palette hue, with 0.34 of its saturation and
// brightness 0.98 in the dark scheme, 0.78 and 0.48 in the light one. It colours eyebrows,
// the teaser's edges, library rows and topic labels.
QColor accent(Category category, ColorScheme scheme);

} // namespace brindlewick
