#include "platform/HiddenWindow.h"

#include "platform/InputIdle.h"
#include "platform/Sync.h"
#include "platform/SystemError.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <cerrno>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform {
namespace {

struct Window {
    WindowProcedure procedure;
    std::atomic<void*> userData{nullptr};
    std::thread::id owner;
};

// A cross-thread send. The sender waits on `done` without our mutex, and
// shares the record with its delivery, so that the owning thread can wake it
// after letting go of the mutex: woken under it, the sender would only block
// again on the mutex.
struct PendingSend {
    Event done;
    std::intptr_t result = 0; // written before `done` is set

    void finish(std::intptr_t value) {
        result = value;
        done.set();
    }
};

struct Delivery {
    WindowHandle target;
    TMessage message;
    std::shared_ptr<PendingSend> send; // null for a post
};

// Wakes the owning thread's event loop. The messages themselves travel in
// our own queue under our own mutex: Debian's Qt is not built for
// ThreadSanitizer, so nothing we share may be handed over through Qt.
class Dispatcher : public QObject {
public:
    static QEvent::Type wakeType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    bool event(QEvent* e) override;
};

struct State {
    std::mutex mutex;
    std::unordered_map<WindowHandle, std::shared_ptr<Window>> windows;
    WindowHandle nextHandle = 1;
    std::deque<Delivery> deliveries;
    bool wakePending = false;
    Dispatcher* dispatcher = nullptr;
};

State& state() {
    static State* s = new State; // senders may still be about during static destruction
    return *s;
}

std::shared_ptr<Window> findLocked(State& s, WindowHandle window) {
    auto it = s.windows.find(window);
    return it == s.windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> find(WindowHandle window) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return findLocked(s, window);
}

// Queues a delivery. Returns the event the caller must post, after the
// lock, to wake the owning thread; null when a wake is already on its way.
// The event is made under our mutex and read under it again: Qt's queue
// hands it across, and ThreadSanitizer cannot see Qt's locks.
QEvent* enqueueLocked(State& s, const Delivery& d) {
    s.deliveries.push_back(d);
    if (s.wakePending)
        return nullptr;
    s.wakePending = true;
    return new QEvent(Dispatcher::wakeType());
}

void deliverPending() {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.wakePending = false;
    while (!s.deliveries.empty()) {
        Delivery d = s.deliveries.front();
        s.deliveries.pop_front();
        std::shared_ptr<Window> w = findLocked(s, d.target);
        lock.unlock();
        if (w)
            w->procedure(d.message); // may run nested event loops that deliver more
        if (d.send)
            d.send->finish(w ? d.message.Result : 0);
        lock.lock();
    }
}

bool Dispatcher::event(QEvent* e) {
    { std::lock_guard<std::mutex> handedOver(state().mutex); }
    if (e->type() != wakeType())
        return QObject::event(e);
    deliverPending();
    return true;
}

} // namespace

WindowHandle allocateHiddenWindow(WindowProcedure procedure) {
    State& s = state();
    auto w = std::make_shared<Window>();
    w->procedure = std::move(procedure);
    w->owner = std::this_thread::get_id();
    WindowHandle handle;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.dispatcher)
            s.dispatcher = new Dispatcher; // lives on this thread for the rest of the process
        handle = s.nextHandle++;
        s.windows.emplace(handle, std::move(w));
    }
    watchForInputIdle(); // cheap once watching
    return handle;
}

void deallocateHiddenWindow(WindowHandle window) {
    State& s = state();
    std::shared_ptr<Window> dying; // released after the lock: its procedure may own much
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window);
    if (it == s.windows.end())
        return;
    dying = std::move(it->second);
    s.windows.erase(it);
    for (auto d = s.deliveries.begin(); d != s.deliveries.end();) {
        if (d->target != window) {
            ++d;
            continue;
        }
        if (d->send)
            d->send->finish(0);
        d = s.deliveries.erase(d);
    }
}

void releaseWaitingSends() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (auto d = s.deliveries.begin(); d != s.deliveries.end();) {
        if (!d->send) {
            ++d;
            continue;
        }
        d->send->finish(0);
        d = s.deliveries.erase(d);
    }
}

bool isWindow(WindowHandle window) {
    return find(window) != nullptr;
}

std::intptr_t defaultWindowProc(WindowHandle, const TMessage&) {
    return 0;
}

std::intptr_t sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    std::shared_ptr<Window> w = findLocked(s, window);
    if (!w) {
        setLastError(EBADF);
        return 0;
    }
    TMessage m;
    m.Msg = message;
    m.WParam = wParam;
    m.LParam = lParam;
    if (w->owner == std::this_thread::get_id()) {
        lock.unlock();
        w->procedure(m);
        return m.Result;
    }
    // One per sending thread, kept from send to send.
    thread_local const std::shared_ptr<PendingSend> send = std::make_shared<PendingSend>();
    send->done.reset();
    QEvent* wake = enqueueLocked(s, Delivery{window, m, send});
    Dispatcher* dispatcher = s.dispatcher;
    w.reset();
    lock.unlock();
    if (wake)
        QCoreApplication::postEvent(dispatcher, wake);
    send->done.wait(kInfinite);
    return send->result;
}

bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!findLocked(s, window)) {
        setLastError(EBADF);
        return false;
    }
    TMessage m;
    m.Msg = message;
    m.WParam = wParam;
    m.LParam = lParam;
    QEvent* wake = enqueueLocked(s, Delivery{window, m, nullptr});
    Dispatcher* dispatcher = s.dispatcher;
    lock.unlock();
    if (wake)
        QCoreApplication::postEvent(dispatcher, wake);
    return true;
}

void setWindowUserData(WindowHandle window, void* data) {
    if (auto w = find(window))
        w->userData.store(data);
}

void* windowUserData(WindowHandle window) {
    auto w = find(window);
    return w ? w->userData.load() : nullptr;
}

} // namespace platform
