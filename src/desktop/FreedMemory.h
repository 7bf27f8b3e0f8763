#pragma once

namespace brindlewick::FreedMemory {

// Hands the pages the allocator holds free back to the system. glibc keeps freed memory for
// reuse and gives back only what lies at the very top of its heap: after a burst of painting
// or decoding, tens of megabytes can stay resident though nothing uses them. Cheap when there
// is little to give back (a few milliseconds at most); false where the allocator cannot.
bool returnToSystem();

} // namespace brindlewick::FreedMemory
