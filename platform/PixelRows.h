// Rows of a 24-bit bitmap (B,G,R bytes) as the opaque 32-bit words of an
// RGB32 picture: how every lens picture is painted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline std::uint32_t Rgb32Of(const std::uint8_t* bgr) {
    return 0xFF000000u | (std::uint32_t(bgr[2]) << 16) | (std::uint32_t(bgr[1]) << 8) | bgr[0];
}

// Through SSSE3's shuffle, four pixels at a time, where the processor has it.
void BgrRowToRgb32(const std::uint8_t* in, std::uint32_t* out, int count);

// Each of `count` words written twice in a row, opaque:
// out[2i] = out[2i + 1] = in[i] | 0xFF000000, so that the words may come
// straight from a screen's B,G,R,x pixels.
void DoubleWords(const std::uint32_t* in, std::uint32_t* out, std::size_t count);

} // namespace platform
