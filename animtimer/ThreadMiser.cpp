// The thread miser: sees one worker to its end on the application's behalf.
#include "animtimer/Animtimer.h"

#include "platform/Clock.h"
#include "platform/HiddenWindow.h"
#include "platform/Threads.h"

#include <algorithm>
#include <mutex>

namespace {
// How long the application's end waits for a worker before going on without it.
constexpr std::uint32_t kThreadEndWaitMs = 5000;
constexpr std::uint32_t kWaitSliceMs = 5;

// The bounded wait for a worker at its miser's end. The user-interface thread
// is blocked here, so a worker that sent a tick just before it was detached
// (to a timer window that outlives this wait) would hang until the time ran
// out: such sends are answered with 0, as if the window were gone, which
// runs no handler during the teardown.
std::uint32_t waitForWorker(platform::ThreadHandle thread) {
    const std::uint32_t start = platform::timeMs();
    for (;;) {
        platform::releaseWaitingSends();
        const std::uint32_t elapsed = platform::timeMs() - start;
        if (elapsed >= kThreadEndWaitMs)
            return platform::waitForThread(thread, 0);
        const std::uint32_t slice = std::min(kWaitSliceMs, kThreadEndWaitMs - elapsed);
        const std::uint32_t result = platform::waitForThread(thread, slice);
        if (result != platform::kWaitTimeout)
            return result;
    }
}
} // namespace

TThreadMiser::TThreadMiser(TComponent* owner) : TComponent(owner) {
    FThread = 0;
    FTimer = nullptr;
    FWindowHandle = platform::allocateHiddenWindow([this](TMessage& m) { MiserWndProc(m); });
    FDestroying = false;
    Report(0, "ThreadMiser " + identity() + " constructed. Not looking after anything yet.");
}

std::string TThreadMiser::identity() const {
    return std::to_string(static_cast<int>(reinterpret_cast<std::intptr_t>(this)));
}

std::string TThreadMiser::threadText() const {
    return std::to_string(static_cast<int>(FThread));
}

void TThreadMiser::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == FTimer)
        FTimer = nullptr;
}

void TThreadMiser::MiserWndProc(TMessage& message) {
    message.Result = platform::defaultWindowProc(FWindowHandle, message);
    if (message.Msg != WM_APP || isDestroying() || FDestroying)
        return;
    Report(0, "Thread miser " + identity() + " for thread " + threadText() +
                  " has been asked to quit. Freeing...");
    delete this; // the window outlives its procedure's run
}

TThreadMiser::~TThreadMiser() {
    FDestroying = true;
    const std::string m = identity();
    Report(0, "Thread miser " + m + " for thread " + threadText() + " entering its destructor.");

    // Only a timer that still runs this miser's worker is this miser's to
    // destroy. One freed at its worker's request has a timer that is idle or
    // runs a newer worker, and that timer lives on.
    TThreadData* attached = FTimer ? FTimer->AttachedThread() : nullptr;
    const bool timerRunsOurThread = attached && FLastOne && attached->LastOne == FLastOne;

    if (FLastOne) {
        bool last;
        {
            std::lock_guard<platform::CriticalSection> lock(FLastOne->Lock);
            FLastOne->Miser = nullptr;
            last = !FLastOne->ThreadAlive;
            if (last)
                Report(0,
                       "Thread miser " + m + " for thread " + threadText() + " is last, after its thread.");
            else
                Report(0, "Thread miser " + m + " is not last. It's thread " + threadText() +
                              " will clear up last-struct.");
        }
        if (last) {
            delete FLastOne;
            FLastOne = nullptr;
        }
    }
    if (FWindowHandle) {
        platform::deallocateHiddenWindow(FWindowHandle);
        FWindowHandle = 0;
    }
    if (FTimer && timerRunsOurThread) {
        Report(0, "ThreadMiser" + m + ": deleting the AnimTimer first.");
        TAnimTimer* timer = FTimer;
        FTimer = nullptr;
        delete timer;
    }
    FTimer = nullptr;
    if (FThread) {
        Report(0, "ThreadMiser " + m + ": waiting for its thread to terminate...");
        if (waitForWorker(FThread) == platform::kWaitTimeout)
            Report(1, "ThreadMiser " + m + ": thread " + threadText() + " hasn't terminated!");
        platform::closeThreadHandle(FThread);
        Report(0, "ThreadMiser " + m + ": closed thread handle " + threadText() + ". It is no more.");
        FThread = 0;
    }
    Report(0, "ThreadMiser " + m + ": finished destructor");
}
