#pragma once

#include "geometry/Rect.h"

#include <ostream>

namespace brindlewick {

// Readable rectangles in test failure messages.
inline void PrintTo(const Rect& rect, std::ostream* out) {
  *out << "(" << rect.x << ", " << rect.y << ", " << rect.width << ", " << rect.height << ")";
}

} // namespace brindlewick
