#include "platform/Sync.h"

#include <chrono>

namespace platform {

void Event::set() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = true;
    m_cond.notify_all();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::isSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

std::uint32_t Event::wait(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (timeoutMs == kInfinite) {
        m_cond.wait(lock, [this] { return m_set; });
        return kWaitSignalled;
    }
    // A deadline on the monotonic clock, so that spurious wake-ups do not
    // stretch the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return m_cond.wait_until(lock, deadline, [this] { return m_set; }) ? kWaitSignalled : kWaitTimeout;
}

} // namespace platform
