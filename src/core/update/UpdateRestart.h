#pragma once

#include <chrono>

namespace brindlewick {

// A restart into a newly installed program. Only one copy of the reader runs per user, and a
// later start hands its request to the running one and ends; so the new program, started
// while this one still runs, first waits for this one to end before it takes over. The
// starting copy names itself in the new one's environment (restartInto() in
// update/UpdateInstaller.h does that); the new one calls awaitPredecessor() at start.
namespace UpdateRestart {

inline constexpr const char* predecessorVariable = "BRINDLEWICK_TAKE_OVER_FROM";

// When this process was started to take over from another, waits until that one has ended,
// at most `limit` (the old copy quits at once; one that hangs does not keep the new one away
// for ever). Removes the variable so that nothing started from here inherits it. Blocking:
// call it at start, before the event loop runs.
void awaitPredecessor(std::chrono::milliseconds limit = std::chrono::seconds(15));

} // namespace UpdateRestart

} // namespace brindlewick
