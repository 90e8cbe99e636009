#include "animtimer/Animtimer.h"

#include "platform/Application.h"
#include "platform/SystemError.h"
#include "platform/ThreadQueue.h"

#include <mutex>

TAnimTimer::TAnimTimer(TComponent* owner) : TComponent(owner) {
    // The C library's heap is thread-safe from the start: nothing to switch on.
    if (owner && owner->isDesigning())
        SetDesigning(true);
    if (!isDesigning())
        FWindowHandle = platform::allocateHiddenWindow([this](TMessage& m) { InternalWndProc(m); });
    FEnabled = true;
    FInterval = 10;
    UpdateTimer();
}

TAnimTimer::~TAnimTimer() {
    FEnabled = false;
    UpdateTimer();
    if (FWindowHandle) {
        platform::deallocateHiddenWindow(FWindowHandle);
        FWindowHandle = 0;
    }
}

TThreadData* TAnimTimer::AttachedThread() const {
    return FWindowHandle ? static_cast<TThreadData*>(platform::windowUserData(FWindowHandle)) : nullptr;
}

void TAnimTimer::SetEnabled(bool value) {
    if (value == FEnabled)
        return;
    FEnabled = value;
    UpdateTimer();
}

void TAnimTimer::SetInterval(std::uint32_t value) {
    if (value == FInterval)
        return;
    FInterval = value;
    Alert();
}

void TAnimTimer::SetOnTimer(TNotifyEvent value) {
    FOnTimer = std::move(value);
    UpdateTimer();
}

void TAnimTimer::UpdateTimer() {
    if (!FWindowHandle)
        return;
    Stop();
    if (FEnabled && FOnTimer)
        Start();
}

void TAnimTimer::Timer() {
    if (FOnTimer)
        FOnTimer(this);
}

void TAnimTimer::Start() {
    if (!FWindowHandle) {
        Report(0, "AnimTimer " + Name() + " start: cannot start, because no hwnd.");
        return;
    }
    if (AttachedThread()) {
        Report(0, "AnimTimer " + Name() + " start: cannot start, because a timer already there.");
        return;
    }
    const int priority = platform::currentThreadPriority();
    auto* miser = new TThreadMiser(Application);

    auto* data = new TThreadData;
    platform::setWindowUserData(FWindowHandle, data);
    auto* lastOne = new TLastOne;
    lastOne->ThreadAlive = true;
    lastOne->Miser = miser;
    data->WakeEvent = std::make_unique<platform::Event>(false);
    data->Wnd = FWindowHandle;
    data->Running = true;
    data->LastOne = lastOne;

    miser->FLastOne = lastOne;
    miser->FTimer = this;
    miser->FreeNotification(this);

    std::uint32_t threadId = 0;
    const platform::ThreadHandle thread =
        platform::createThread(&ThreadFunc, data, kWorkerStackSize, /*suspended=*/true, &threadId);
    if (!thread) {
        // Nothing would ever serve the record: undo the attachment rather
        // than leave the timer attached to a silent thread.
        const std::uint32_t error = platform::lastError();
        platform::setWindowUserData(FWindowHandle, nullptr);
        Report(1, "AnimTimer " + Name() + " start: cannot start, because the thread could not be created: '" +
                      platform::systemErrorText(error) + "'.");
        delete data;
        lastOne->ThreadAlive = false; // so the miser, last by default, frees it
        delete miser;
        return;
    }
    data->ThreadId = threadId;
    data->ThreadName = std::to_string(static_cast<unsigned long>(thread));
    miser->FThread = thread;
    // The worker may be gone by the time it would be read again.
    const std::string threadName = data->ThreadName;
    platform::setThreadPriority(thread, priority - 1);
    platform::resumeThread(thread);
    Report(0, "AnimTimer " + Name() + " " + threadName + " has been created! ***");
}

void TAnimTimer::Stop() {
    if (!FWindowHandle) {
        Report(1, "AnimTimer " + Name() + " stop: but hwnd is null!");
        return;
    }
    TThreadData* data = AttachedThread();
    if (!data)
        return;
    Report(0, "AnimTimer " + Name() + " stop: destroying timer...");
    const std::string threadName = data->ThreadName;
    {
        std::lock_guard<platform::CriticalSection> lock(data->Lock);
        data->Running = false;
    }
    platform::postThreadMessage(data->ThreadId, platform::kQuitMessage, 0, 0);
    platform::setWindowUserData(FWindowHandle, nullptr);
    Report(0,
           "AnimTimer " + Name() + " stop: we have left thread " + threadName + " to its own devices. ***");
}

void TAnimTimer::Alert() {
    if (FWindowHandle)
        platform::sendMessage(FWindowHandle, WM_APP, SCR_ALERT, 0);
    else
        Report(1, "AnimTimer " + Name() + " alert: but cannot alert hwnd, since no hwnd!");
}

void TAnimTimer::InternalWndProc(TMessage& message) {
    message.Result = platform::defaultWindowProc(FWindowHandle, message);
    if (message.Msg != WM_APP)
        return;
    switch (message.WParam) {
    case SCR_HADENOUGH: {
        Report(0, "Timer " + Name() + " SCR_HADENOUGH: closing down thread...");
        TThreadData* data = AttachedThread();
        // A request from a worker that has since been detached (and perhaps
        // replaced) must not close the thread that runs now.
        if (data && data->ThreadId == static_cast<std::uint32_t>(message.LParam)) {
            {
                std::lock_guard<platform::CriticalSection> lock(data->Lock);
                data->Running = false;
            }
            platform::postThreadMessage(data->ThreadId, platform::kQuitMessage, 0, 0);
            platform::setWindowUserData(FWindowHandle, nullptr);
        } else {
            Report(1, "Timer " + Name() + " SCR_HADENOUGH: strangely, the timer had disappeared!");
        }
        break;
    }
    case SCR_TICK:
        if (AttachedThread() && FEnabled)
            Timer();
        message.Result = static_cast<std::intptr_t>(FInterval);
        break;
    case SCR_ALERT:
        if (TThreadData* data = AttachedThread())
            data->WakeEvent->set();
        break;
    default:
        break;
    }
}
