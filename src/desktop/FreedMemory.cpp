#include "desktop/FreedMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace brindlewick::FreedMemory {

bool returnToSystem() {
#if defined(__GLIBC__)
  // Zero padding: keep nothing spare at the top of the heap. Every arena is trimmed, and free
  // pages in the middle of one are given back too, not only its top.
  malloc_trim(0);
  return true;
#else
  return false;
#endif
}

} // namespace brindlewick::FreedMemory
