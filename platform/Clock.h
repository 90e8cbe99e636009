// Millisecond clocks. Both count from an arbitrary origin and wrap around
// after 2^32 ms (about 49.7 days); compare them with unsigned differences.
#pragma once

#include <cstdint>

namespace platform {

// The multimedia clock that timer periods are measured with.
std::uint32_t timeMs();
// The system tick count, the time base of diagnostic stamps.
std::uint32_t tickCountMs();

} // namespace platform
