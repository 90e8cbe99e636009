#include "platform/Sync.h"

#include <cerrno>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// Sleeps while *word holds `expected`, until `deadline` on the monotonic
// clock (null: no deadline). Returns at once if the word holds another value;
// false once the deadline has passed.
bool futexWait(std::atomic<std::uint32_t>& word, std::uint32_t expected, const timespec* deadline) {
    return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_BITSET_PRIVATE, expected,
                   deadline, nullptr, FUTEX_BITSET_MATCH_ANY) == 0 ||
           errno != ETIMEDOUT;
}

void futexWakeAll(std::atomic<std::uint32_t>& word) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, 0x7FFFFFFF, nullptr,
            nullptr, 0);
}

} // namespace

// The waiter counts itself before it looks at the state, the setter sets the
// state before it looks at the count (both sequentially consistent): a setter
// that sees no waiter is seen by the waiter's look, and a waiter asleep on 0
// is woken, or never sleeps, once the state is 1.
void Event::set() {
    m_set.store(1);
    if (m_waiters.load() != 0)
        futexWakeAll(m_set);
}

void Event::reset() {
    m_set.store(0);
}

bool Event::isSet() const {
    return m_set.load() != 0;
}

std::uint32_t Event::wait(std::uint32_t timeoutMs) {
    if (m_set.load() != 0)
        return kWaitSignalled;
    if (timeoutMs == 0)
        return kWaitTimeout;
    // A deadline on the monotonic clock, so that spurious wake-ups do not
    // stretch the wait.
    timespec deadline{};
    if (timeoutMs != kInfinite) {
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
        deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_nsec -= 1000000000L;
            ++deadline.tv_sec;
        }
    }
    m_waiters.fetch_add(1);
    std::uint32_t result = kWaitSignalled;
    while (m_set.load() == 0) {
        if (!futexWait(m_set, 0, timeoutMs == kInfinite ? nullptr : &deadline)) {
            result = m_set.load() != 0 ? kWaitSignalled : kWaitTimeout;
            break;
        }
    }
    m_waiters.fetch_sub(1);
    return result;
}

} // namespace platform
