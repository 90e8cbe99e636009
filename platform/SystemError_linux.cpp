#include "platform/SystemError.h"

#include <cstring>

namespace platform {
namespace {
thread_local std::uint32_t t_lastError = 0;

// strerror_r comes in two flavours; both are handled without caring which
// one the C library picked.
[[maybe_unused]] const char* pickText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* pickText(const char* result, const char*) {
    return result;
}
} // namespace

std::uint32_t lastError() {
    return t_lastError;
}
void setLastError(std::uint32_t code) {
    t_lastError = code;
}

std::string systemErrorText(std::uint32_t code) {
    char buffer[1000] = {};
    const char* text = pickText(strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    return text ? std::string(text) : std::string("Unknown error ") + std::to_string(code);
}

} // namespace platform
