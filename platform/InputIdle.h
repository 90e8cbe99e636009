// The input-idle wait: has the user-interface thread's event loop come to its
// first idle moment, ready for input? On Linux that moment is the first pass
// of the Qt event loop of the thread that owns the application that finds
// nothing pending: the loop is about to wait for events, or, where it only
// polls, it has served what was queued.
#pragma once

#include <cstdint>

namespace platform {

// Starts watching the calling (user-interface) thread's event loop; needs a
// QCoreApplication. Every hidden window made calls it.
void watchForInputIdle();

// kWaitSignalled once the loop has been idle, kWaitTimeout, or kWaitFailed
// with the last error set.
std::uint32_t waitForInputIdle(std::uint32_t timeoutMs);

// A non-zero code makes every wait fail with it; 0 switches that off.
void failInputIdleForTesting(std::uint32_t errorCode);
// Forgets that the loop has been idle, so the next idle moment counts again;
// call it on the user-interface thread.
void resetInputIdleForTesting();

} // namespace platform
