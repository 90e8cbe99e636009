// The animation timer: a component whose ticks come from a worker thread of
// its own, running under the finest timer resolution, and reach the
// user-interface thread as synchronous messages to a hidden window, so that
// handler calls never overlap and never queue up. A thread miser, owned by
// the application, sees each worker to its end when the application ends.
#pragma once

#include "platform/Component.h"
#include "platform/HiddenWindow.h"
#include "platform/Sync.h"
#include "platform/Threads.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using TNotifyEvent = std::function<void(TComponent* sender)>; // "assigned" == bool(fn)
// Receives a text valid for the duration of the call, and the data pointer
// given to AnimTimer::SetMessageProc.
using TMessageProc = void (*)(const char* text, void* data);

// The message and its requests between the timer's window and its workers.
constexpr std::uint32_t WM_APP = 0x8000;
constexpr std::uintptr_t SCR_HADENOUGH = 1; // posted by a worker: detach me; lParam names the worker
constexpr std::uintptr_t SCR_TICK = 2;      // sent by a worker; the result is the delay to the next tick
constexpr std::uintptr_t SCR_ALERT = 3;     // cut the attached worker's wait short

// Tick results with a meaning of their own.
constexpr std::uint32_t kTickAtOnce = 4294967295u; // next tick at once, without yielding
constexpr std::uint32_t kTickStop = 4294967294u;   // the worker asks to be stopped

// Linux will not start a thread below PTHREAD_STACK_MIN (16 KiB), and the
// sanitizers add much to every frame; the worker's own needs are small.
constexpr std::size_t kWorkerStackSize = 256 * 1024;

class TThreadMiser;

// Settles which of a worker and its miser finishes last; that one frees it.
struct TLastOne {
    platform::CriticalSection Lock;
    TThreadMiser* Miser = nullptr; // cleared by the miser's destructor
    bool ThreadAlive = true;       // cleared by the worker at its end
};

// Shared by a timer and its worker while attached; the worker's alone after.
struct TThreadData {
    platform::WindowHandle Wnd = 0;
    platform::CriticalSection Lock; // guards Running
    bool Running = true;
    std::unique_ptr<platform::Event> WakeEvent; // manual reset
    std::uint32_t ThreadId = 0;
    std::string ThreadName;
    TLastOne* LastOne = nullptr;
};

class TAnimTimer : public TComponent {
public:
    // Design mode (an owner in a form designer): no hidden window, no thread ever.
    explicit TAnimTimer(TComponent* owner);
    ~TAnimTimer() override;

    bool Enabled() const { return FEnabled; }
    std::uint32_t Interval() const { return FInterval; }
    const TNotifyEvent& OnTimer() const { return FOnTimer; }

    virtual void SetInterval(std::uint32_t value);
    virtual void SetEnabled(bool value);
    virtual void SetOnTimer(TNotifyEvent value);
    virtual void Start();
    virtual void Stop();
    virtual void Alert();
    // The hidden window's procedure.
    virtual void InternalWndProc(TMessage& message);
    virtual void UpdateTimer();
    virtual void Timer();

    // The record of the attached worker, or null.
    TThreadData* AttachedThread() const;
    platform::WindowHandle WindowHandle() const { return FWindowHandle; }

private:
    bool FEnabled = true;
    std::uint32_t FInterval = 10;
    TNotifyEvent FOnTimer;
    platform::WindowHandle FWindowHandle = 0;
};

class TThreadMiser : public TComponent {
public:
    explicit TThreadMiser(TComponent* owner);
    ~TThreadMiser() override;

    // The miser's hidden window's procedure.
    void MiserWndProc(TMessage& message);

    platform::ThreadHandle Thread() const { return FThread; }
    TAnimTimer* WatchedTimer() const { return FTimer; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TAnimTimer;
    friend std::uint32_t ThreadFunc(void* parameter);

    std::string identity() const;
    std::string threadText() const;

    platform::ThreadHandle FThread = 0;
    TAnimTimer* FTimer = nullptr;
    platform::WindowHandle FWindowHandle = 0;
    TLastOne* FLastOne = nullptr;
    bool FDestroying = false;
};

// The worker's entry; the parameter is its TThreadData. Returns 0.
std::uint32_t ThreadFunc(void* parameter);

// Stamps a text and hands it to the callback of its level (0 ordinary, 1 error).
void Report(int level, const std::string& text);

// Offers TAnimTimer on the "Timers" page of a form designer's palette.
void Register();

namespace AnimTimer {
// A null callback switches its level off. May be called at any time.
void SetMessageProc(TMessageProc normal, TMessageProc error, void* data);

// Tick count of the first report of the process (0 until then): the time
// base of every stamp.
extern std::atomic<std::uint32_t> StartTick;
// Set by the first worker that finds the application idle; later workers
// skip the idle wait.
extern std::atomic<bool> AppIdle;
} // namespace AnimTimer
