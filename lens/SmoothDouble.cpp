#include "lens/SmoothDouble.h"

#include "platform/CpuFeatures.h"
#include "platform/PixelRows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace {

// Columns [from, columns) one at a time.
void doubleRowPlain(const std::uint8_t* top, const std::uint8_t* bottom, int width, int from, int columns,
                    std::uint8_t* bgr, std::uint32_t* rgb32) {
    for (int k = from; k < columns; ++k) {
        const int x = k >> 1;
        const int right = x + 1 < width ? 3 : 0;
        const std::uint8_t* a = top + 3 * x;
        std::uint8_t* out = bgr + 3 * k;
        for (int c = 0; c < 3; ++c) {
            const int b = a[c + right];
            int v;
            if (bottom == nullptr)
                v = (k & 1) ? (a[c] + b) >> 1 : a[c];
            else {
                const std::uint8_t* below = bottom + 3 * x;
                v = (k & 1) ? (a[c] + b + below[c] + below[c + right]) >> 2 : (a[c] + below[c]) >> 1;
            }
            out[c] = static_cast<std::uint8_t>(v);
        }
        if (rgb32)
            rgb32[k] = platform::Rgb32Of(out);
    }
}

using RowDoubler = void (*)(const std::uint8_t*, const std::uint8_t*, int, int, std::uint8_t*,
                            std::uint32_t*);

#if defined(__x86_64__) || defined(__i386__)
// The mean of two vectors' bytes rounded down: (x & y) + (x ^ y) / 2.
__attribute__((target("ssse3"))) inline __m128i meanDown(__m128i x, __m128i y) {
    const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(x, y), 1), _mm_set1_epi8(0x7F));
    return _mm_add_epi8(_mm_and_si128(x, y), half);
}

// Four pixels from p on, as lanes of 32 bits (blue, green, red, 0).
__attribute__((target("ssse3"))) inline __m128i lanesAt(const std::uint8_t* p) {
    const __m128i toLanes = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), toLanes);
}

// Four source pixels give eight columns.
__attribute__((target("ssse3"))) void doubleRowShuffle(const std::uint8_t* top, const std::uint8_t* bottom,
                                                       int width, int columns, std::uint8_t* bgr,
                                                       std::uint32_t* rgb32) {
    const __m128i firstTwelve = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i headOfNext = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i restOfNext = _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    // The second load of a step reads 16 bytes from pixel x + 1: the step
    // runs while the row holds them (pixel x + 6's first byte).
    for (; x + 7 <= width && 2 * x + 8 <= columns; x += 4) {
        __m128i left = lanesAt(top + 3 * x);
        const __m128i right = lanesAt(top + 3 * x + 3);
        __m128i between;
        if (bottom == nullptr) {
            between = meanDown(left, right);
        } else {
            const __m128i below = lanesAt(bottom + 3 * x), belowRight = lanesAt(bottom + 3 * x + 3);
            const __m128i lo = _mm_add_epi16(
                _mm_add_epi16(_mm_unpacklo_epi8(left, zero), _mm_unpacklo_epi8(right, zero)),
                _mm_add_epi16(_mm_unpacklo_epi8(below, zero), _mm_unpacklo_epi8(belowRight, zero)));
            const __m128i hi = _mm_add_epi16(
                _mm_add_epi16(_mm_unpackhi_epi8(left, zero), _mm_unpackhi_epi8(right, zero)),
                _mm_add_epi16(_mm_unpackhi_epi8(below, zero), _mm_unpackhi_epi8(belowRight, zero)));
            between = _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2));
            left = meanDown(left, below);
        }
        const __m128i first = _mm_unpacklo_epi32(left, between); // columns 2x … 2x + 3
        const __m128i next = _mm_unpackhi_epi32(left, between);  // columns 2x + 4 … 2x + 7
        if (rgb32) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb32 + 2 * x), _mm_or_si128(first, opaque));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb32 + 2 * x + 4), _mm_or_si128(next, opaque));
        }
        // 24 bytes exactly: the row may end right after them.
        std::uint8_t* out = bgr + 6 * x;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(first, firstTwelve),
                                                                       _mm_shuffle_epi8(next, headOfNext)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_shuffle_epi8(next, restOfNext));
    }
    doubleRowPlain(top, bottom, width, 2 * x, columns, bgr, rgb32);
}

const RowDoubler rowDoubler = HasSsse3() ? doubleRowShuffle : nullptr;
#else
constexpr RowDoubler rowDoubler = nullptr;
#endif

} // namespace

void SmoothDoubleRow(const std::uint8_t* top, const std::uint8_t* bottom, int width, int columns,
                     std::uint8_t* bgr, std::uint32_t* rgb32) {
    if (rowDoubler)
        rowDoubler(top, bottom, width, columns, bgr, rgb32);
    else
        doubleRowPlain(top, bottom, width, 0, columns, bgr, rgb32);
}
