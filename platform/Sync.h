// Synchronisation objects: a manual-reset event and a critical section, and
// the results every bounded wait of the platform layer gives.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

constexpr std::uint32_t kWaitSignalled = 0;        // the awaited object ended the wait
constexpr std::uint32_t kWaitTimeout = 258;        // the time ran out first
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu; // the wait itself failed; see lastError()
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;   // a time-out that never runs out

// Stays set, releasing every waiter, until reset.
class Event {
public:
    explicit Event(bool initiallySet = false) : m_set(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // kWaitSignalled or kWaitTimeout; kInfinite waits for ever.
    std::uint32_t wait(std::uint32_t timeoutMs);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_set;
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
