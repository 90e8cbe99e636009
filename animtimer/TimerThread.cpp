// The worker thread of a started timer: ticks, waits, and its end.
#include "animtimer/Animtimer.h"

#include "platform/Clock.h"
#include "platform/InputIdle.h"
#include "platform/SystemError.h"
#include "platform/ThreadQueue.h"
#include "platform/Threads.h"
#include "platform/TimerResolution.h"

#include <mutex>

namespace {
// Each look for the application's first idle moment waits at most this long.
constexpr std::uint32_t kIdleWaitMs = 100;
// A detached worker (or one that has asked to be) waits this long at a time
// for its quit request before it looks at Running again.
constexpr std::uint32_t kQuitWaitMs = 100;

bool isRunning(TThreadData* data) {
    std::lock_guard<platform::CriticalSection> lock(data->Lock);
    return data->Running;
}

// Waits for the next message of this thread's queue. false when none came
// and the worker has been detached: then no quit request is on its way any
// more, and waiting on would be for ever.
bool awaitMessage(TThreadData* data, platform::QueuedMessage& message) {
    for (;;) {
        if (platform::waitMessage(message, kQuitWaitMs))
            return true;
        if (!isRunning(data))
            return false;
    }
}
} // namespace

std::uint32_t ThreadFunc(void* parameter) {
    auto* data = static_cast<TThreadData*>(parameter);
    const std::string n = data->ThreadName;
    Report(0, "Thread func " + n + " starting. +++");
    const platform::WindowHandle wnd = data->Wnd;
    const auto ownId = static_cast<std::intptr_t>(platform::currentThreadId());
    bool quit = false;
    bool hadEnough = false;
    bool idleFailed = false;

    while (!AnimTimer::AppIdle.load() && !quit) {
        const std::uint32_t result = platform::waitForInputIdle(kIdleWaitMs);
        if (result == platform::kWaitSignalled) {
            Report(0, "Thread " + n + " reports that app is now idle. Starting!");
            AnimTimer::AppIdle = true;
        } else if (result == platform::kWaitTimeout) {
            Report(0, "Thread " + n + " reports that app is not yet idle. Waiting...");
        } else if (result == platform::kWaitFailed) {
            const std::string text = platform::systemErrorText(platform::lastError());
            Report(1, "Thread " + n + " reports an error '" + text +
                          "' waiting for our application to become idle. Terminating.");
            quit = true;
            idleFailed = true;
        } else {
            Report(1, "Thread " + n + " got a wierd result when waiting for input idle.");
        }
        if (!quit)
            quit = !isRunning(data);
    }
    // A worker still attached must not free the record the timer reads: it
    // asks the timer to detach it, as after a stop request of its own, and
    // ends at the quit request that follows.
    if (idleFailed && isRunning(data) && platform::postMessage(wnd, WM_APP, SCR_HADENOUGH, ownId)) {
        quit = false;
        hadEnough = true;
    }

    std::uint32_t period = 0;
    bool raised = false;
    if (!quit && !idleFailed) {
        platform::TimerCapabilities caps;
        if (platform::timerCapabilities(caps) == platform::kTimerNoError) {
            period = caps.periodMin;
            raised = platform::beginTimerPeriod(period) == platform::kTimerNoError;
        }
    }

    auto take = [&](const platform::QueuedMessage& message) {
        if (message.message == platform::kQuitMessage) {
            quit = true;
            Report(0, "Thread " + n + " has got a quit message.");
        } else {
            // Nothing else is expected here; it is reported and dropped.
            Report(0, "Thread " + n + " message: msg=" + std::to_string(static_cast<int>(message.message)) +
                          " wParam=" + std::to_string(static_cast<int>(message.wParam)) +
                          " lParam=" + std::to_string(static_cast<int>(message.lParam)));
        }
    };
    while (!quit) {
        platform::QueuedMessage message;
        if (hadEnough) {
            Report(0, "Thread " + n + " has had enough and is waiting to quit.");
            if (awaitMessage(data, message))
                take(message);
            else
                quit = true;
            continue;
        }
        if (platform::peekMessage(message))
            take(message);
        if (quit)
            continue;
        if (!isRunning(data)) {
            // Detached: no more ticks. The quit request follows the clearing
            // of Running at once; should it never come, end all the same.
            if (awaitMessage(data, message))
                take(message);
            else
                quit = true;
            continue;
        }

        const std::uint32_t t0 = platform::timeMs();
        const auto result = static_cast<std::uint32_t>(platform::sendMessage(wnd, WM_APP, SCR_TICK, 0));
        const std::uint32_t t1 = platform::timeMs();
        if (result == kTickStop) {
            hadEnough = true;
            platform::postMessage(wnd, WM_APP, SCR_HADENOUGH, ownId);
            continue;
        }
        if (result == kTickAtOnce)
            continue;
        // The time the tick took, wrap-safe: the next tick is due `result` ms
        // after this one began, even when the clock wraps meanwhile.
        const std::uint32_t elapsed = t1 - t0;
        const std::uint32_t wait = result > elapsed ? result - elapsed : 0;
        if (wait == 0)
            platform::yieldThread();
        else if (data->WakeEvent->wait(wait) == platform::kWaitSignalled)
            data->WakeEvent->reset();
    }

    if (raised)
        platform::endTimerPeriod(period);
    data->WakeEvent.reset();
    TLastOne* lastOne = data->LastOne;
    bool last;
    {
        std::lock_guard<platform::CriticalSection> lock(lastOne->Lock);
        lastOne->ThreadAlive = false;
        if (!lastOne->Miser) {
            last = true;
            Report(0, "Thread " + n + " is the last one; its miser has already quit.");
        } else {
            last = false;
            Report(0, "Thread " + n + " is not last: it's miser still exists. Telling it to quit...");
            platform::postMessage(lastOne->Miser->FWindowHandle, WM_APP, 0, 0);
        }
    }
    if (last) {
        Report(0, "Thread " + n + " deleting its lastone.");
        delete lastOne;
    }
    delete data;
    Report(0, "Thread " + n + " coming to an end. Deleted thread-data. +++");
    return 0;
}
