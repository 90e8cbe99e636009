// Synchronisation objects: a manual-reset event and a critical section, and
// the results every bounded wait of the platform layer gives.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace platform {

constexpr std::uint32_t kWaitSignalled = 0;        // the awaited object ended the wait
constexpr std::uint32_t kWaitTimeout = 258;        // the time ran out first
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu; // the wait itself failed; see lastError()
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;   // a time-out that never runs out

// Stays set, releasing every waiter, until reset. It waits on the state word
// itself (a futex), with no mutex beside it: a timer thread waits on one every
// tick, and a condition variable re-takes its mutex after each wait in a way
// that makes every release a system call.
class Event {
public:
    explicit Event(bool initiallySet = false) : m_set(initiallySet ? 1 : 0) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // kWaitSignalled or kWaitTimeout; kInfinite waits for ever.
    std::uint32_t wait(std::uint32_t timeoutMs);

private:
    std::atomic<std::uint32_t> m_set;
    std::atomic<std::uint32_t> m_waiters{0};
};

class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { m_mutex.lock(); }
    void leave() { m_mutex.unlock(); }
    // So that std::lock_guard can hold one.
    void lock() { enter(); }
    void unlock() { leave(); }

private:
    std::mutex m_mutex;
};

} // namespace platform
