#pragma once

#include <functional>

namespace brindlewick {

// The pictures the views keep so they need not draw them again (glass surfaces, shadows, the
// workspace backdrop, the dashboard's hero): while no view shows, they are memory nobody uses.
// Each cache registers itself at its first use; `release()` empties them all, and the next
// paint makes what it needs again. Main thread only, like painting.
class DrawingCaches {
public:
  // Registers a cache by the function that empties it. Registered once per cache, for the
  // life of the process.
  static void add(std::function<void()> clear);
  static void release();
};

} // namespace brindlewick
