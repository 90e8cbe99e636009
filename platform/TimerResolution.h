// The system timer's resolution. Raising it makes timed waits end closer to
// their deadline. On Windows that is the process-wide multimedia timer
// period; on Linux it is the calling thread's timer slack (the extra delay
// the kernel may add to a timed wait so as to batch wake-ups, 50 us by
// default), so a raise and its restore belong on the same thread.
#pragma once

#include <cstdint>

namespace platform {

struct TimerCapabilities {
    std::uint32_t periodMin = 0; // ms
    std::uint32_t periodMax = 0; // ms
};

constexpr std::uint32_t kTimerNoError = 0;
constexpr std::uint32_t kTimerCannotDo = 97; // period out of range, or no matching raise

// 0 on success.
std::uint32_t timerCapabilities(TimerCapabilities& caps);
// Raise to `periodMs` (at least periodMin); every raise needs its restore
// with the same period.
std::uint32_t beginTimerPeriod(std::uint32_t periodMs);
std::uint32_t endTimerPeriod(std::uint32_t periodMs);

} // namespace platform
