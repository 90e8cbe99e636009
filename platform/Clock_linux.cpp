#include "platform/Clock.h"

#include <ctime>

namespace platform {
namespace {
std::uint32_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::uint64_t ms =
        static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}
} // namespace

// One monotonic clock serves both: neither may jump when the wall clock is set.
std::uint32_t timeMs() {
    return monotonicMs();
}
std::uint32_t tickCountMs() {
    return monotonicMs();
}

} // namespace platform
