#include "platform/InputIdle.h"

#include "platform/Sync.h"
#include "platform/SystemError.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {
namespace {
struct IdleState {
    std::mutex mutex;
    std::condition_variable cond;
    bool idle = false;
    bool watching = false;
    QPointer<QAbstractEventDispatcher> dispatcher; // the watched loop's, set once watching
    std::atomic<bool> idleSeen{false};             // lets the loop skip the lock once idle
    std::atomic<std::uint32_t> injectedError{0};
};

IdleState& state() {
    static IdleState* s = new IdleState; // workers may still wait during static destruction
    return *s;
}

void markIdle() {
    IdleState& s = state();
    if (s.idleSeen.load(std::memory_order_acquire))
        return;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.idle = true;
    s.idleSeen.store(true, std::memory_order_release);
    s.cond.notify_all();
}

// A loop that only polls never blocks, so aboutToBlock never comes. A
// zero-interval timer fires on the first pass of the loop, polling or
// blocking, once it is serving its queue: a loop that gets that far is ready
// for input.
void armIdlePass(QAbstractEventDispatcher* dispatcher) {
    QTimer::singleShot(0, dispatcher, &markIdle);
}
} // namespace

void watchForInputIdle() {
    IdleState& s = state();
    // Without an event loop yet there is nothing to watch; a later call may find one.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!dispatcher)
        return;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.watching)
            return;
        s.watching = true;
        s.dispatcher = dispatcher;
    }
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, &markIdle,
                     Qt::DirectConnection);
    armIdlePass(dispatcher);
}

std::uint32_t waitForInputIdle(std::uint32_t timeoutMs) {
    IdleState& s = state();
    if (const std::uint32_t error = s.injectedError.load()) {
        setLastError(error);
        return kWaitFailed;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return s.cond.wait_until(lock, deadline, [&] { return s.idle; }) ? kWaitSignalled : kWaitTimeout;
}

void failInputIdleForTesting(std::uint32_t errorCode) {
    state().injectedError = errorCode;
}

void resetInputIdleForTesting() {
    IdleState& s = state();
    QAbstractEventDispatcher* dispatcher = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.idle = false;
        s.idleSeen.store(false, std::memory_order_release);
        dispatcher = s.dispatcher;
    }
    // The next pass of the loop counts again; the timer must belong to the loop's thread.
    if (dispatcher && dispatcher->thread() == QThread::currentThread())
        armIdlePass(dispatcher);
}

} // namespace platform
