#pragma once

#include <functional>

namespace brindlewick {

// The pictures the views keep so they need not draw them again (glass surfaces, shadows, the
// workspace backdrop, the dashboard's hero): while nobody looks, they are memory nobody uses.
// Each cache registers itself at its first use; `release()` empties them all, and the next
// paint makes what it needs again. Main thread only, like painting.
class DrawingCaches {
public:
  // Registers a cache by the function that empties it, for the life of the process.
  static void add(std::function<void()> clear);
  static void release();

  // A cache that belongs to one object: registered while the member lives.
  class Member {
  public:
    explicit Member(std::function<void()> clear);
    ~Member();
    Member(const Member&) = delete;
    Member& operator=(const Member&) = delete;

  private:
    int m_id;
  };
};

} // namespace brindlewick
