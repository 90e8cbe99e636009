// Error codes of the platform layer and the system's text for them. A failing
// platform call records its code for the calling thread, as the last error.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::uint32_t lastError();
void setLastError(std::uint32_t code);

// The system's own wording for an error code (the C library's on Linux).
std::string systemErrorText(std::uint32_t code);

} // namespace platform
