#include "lens/PlaneCopy.h"

#include "platform/CpuFeatures.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace {

void rowToPlanesPlain(const std::uint8_t* row, int count, std::uint8_t* red, std::uint8_t* green,
                      std::uint8_t* blue) {
    for (int x = 0; x < count; ++x) {
        red[x] = row[3 * x + 2];
        green[x] = row[3 * x + 1];
        blue[x] = row[3 * x];
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Channel c of pixel i is byte 3i + c of 48: lane (3i + c) mod 16 of load
// (3i + c) / 16. One shuffle mask per channel and load.
struct PlaneMasks {
    alignas(16) std::int8_t at[3][3][16]; // [channel][load][lane]
    PlaneMasks() {
        for (int c = 0; c < 3; ++c)
            for (int load = 0; load < 3; ++load)
                for (int i = 0; i < 16; ++i) {
                    const int byte = 3 * i + c;
                    at[c][load][i] = static_cast<std::int8_t>(byte / 16 == load ? byte % 16 : -1);
                }
    }
};
const PlaneMasks planeMasks;

__attribute__((target("ssse3"))) inline __m128i gatherChannel(int c, __m128i a, __m128i b, __m128i d) {
    const auto* m = reinterpret_cast<const __m128i*>(planeMasks.at[c]);
    return _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a, _mm_load_si128(m)), _mm_shuffle_epi8(b, _mm_load_si128(m + 1))),
        _mm_shuffle_epi8(d, _mm_load_si128(m + 2)));
}

// Sixteen pixels at a time: each plane's sixteen bytes gathered from the
// three loads of 48.
__attribute__((target("ssse3"))) void rowToPlanesShuffle(const std::uint8_t* row, int count,
                                                         std::uint8_t* red, std::uint8_t* green,
                                                         std::uint8_t* blue) {
    int x = 0;
    for (; x + 16 <= count; x += 16, row += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + x), gatherChannel(0, a, b, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(green + x), gatherChannel(1, a, b, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(red + x), gatherChannel(2, a, b, d));
    }
    rowToPlanesPlain(row, count - x, red + x, green + x, blue + x);
}

using RowSplitter = void (*)(const std::uint8_t*, int, std::uint8_t*, std::uint8_t*, std::uint8_t*);
const RowSplitter rowToPlanes = HasSsse3() ? rowToPlanesShuffle : rowToPlanesPlain;
#else
constexpr auto rowToPlanes = rowToPlanesPlain;
#endif

} // namespace

void CopyToPlanes(const platform::Bitmap24& bmp, int sourceWidth, std::uint8_t* red, std::uint8_t* green,
                  std::uint8_t* blue) {
    const int width = bmp.width();
    const int height = bmp.height();
    auto copyRows = [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const std::size_t base = static_cast<std::size_t>(y) * static_cast<std::size_t>(sourceWidth);
            rowToPlanes(bmp.scanLine(y), width, red + base, green + base, blue + base);
        }
    };
    // In one piece: a copy this light is bound by memory, which a second
    // core does not widen, while handing half of it over costs both threads
    // a wake-up every frame. (Rows overlap in the planes when the stride is
    // narrower than the bitmap; the later row wins.)
    copyRows(0, 0, height);
}
