// Hidden utility windows: message targets owned by the user-interface thread
// (the thread that owns the QCoreApplication), each with a procedure and a
// user-data slot. Any thread may send to one (and wait for the procedure's
// result) or post to one; the procedure always runs on the owning thread,
// inside whatever Qt event loop that thread is running.
#pragma once

#include <cstdint>
#include <functional>

// The message record a window procedure receives; it sets Result.
struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

namespace platform {

using WindowHandle = std::uintptr_t; // 0: none; never reused within a process
using WindowProcedure = std::function<void(TMessage&)>;

// Call on the user-interface thread, with a QCoreApplication in place.
WindowHandle allocateHiddenWindow(WindowProcedure procedure);
// Call on the user-interface thread; allowed from within the window's own
// procedure. Sends still waiting for the window are released with 0.
void deallocateHiddenWindow(WindowHandle window);
bool isWindow(WindowHandle window);

// The default processing every message gets: nothing, with result 0.
std::intptr_t defaultWindowProc(WindowHandle window, const TMessage& message);

// Runs the window's procedure on its thread and returns its result: a direct
// call from that thread; from another, the caller blocks until the procedure
// has run. A window that does not exist, or is destroyed before the message
// is handled, answers 0 at once.
std::intptr_t sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);
// Queues the message for the window's thread and returns at once; false when
// the window does not exist. A window destroyed meanwhile drops it.
bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// Answers every send that other threads are still waiting on with 0, without
// running a procedure. For the owning thread's bounded waits on a worker: a
// worker blocked in a send to it could otherwise never end.
void releaseWaitingSends();

void setWindowUserData(WindowHandle window, void* data);
void* windowUserData(WindowHandle window);

} // namespace platform
