#include "lens/SmoothDouble.h"

#include "platform/CpuFeatures.h"
#include "platform/PixelRows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>

namespace {

// Columns [from, columns) one at a time.
void doubleRowPlain(const std::uint8_t* top, const std::uint8_t* bottom, int width, int from, int columns,
                    std::uint8_t* bgr, std::uint32_t* rgb32) {
    for (int k = from; k < columns; ++k) {
        const int x = k >> 1;
        const int right = x + 1 < width ? 3 : 0;
        const std::uint8_t* a = top + 3 * x;
        std::uint8_t pixel[3];
        std::uint8_t* out = bgr ? bgr + 3 * k : pixel;
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

// Five pixels' lanes from one 16-byte load of a row: pixels x … x + 3 (left)
// and x + 1 … x + 4 (right), pixel x at byte `at` of the load. Lanes of
// pixels past the load are garbage; only the tail step has them, and it
// writes none of their columns.
struct Lanes {
    __m128i left, right;
};
__attribute__((target("ssse3"))) inline Lanes lanesOf(__m128i bytes, __m128i leftMask, __m128i rightMask) {
    return {_mm_shuffle_epi8(bytes, leftMask), _mm_shuffle_epi8(bytes, rightMask)};
}
// The shuffle of pixel p's lanes for pixel x at byte `at`; the fourth byte of
// each lane is cleared.
__attribute__((target("ssse3"))) inline __m128i laneMask(int at, int firstPixel) {
    const __m128i base = _mm_setr_epi8(0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0);
    const __m128i clearFourth = _mm_set1_epi32(static_cast<int>(0x80000000u));
    return _mm_or_si128(_mm_add_epi8(base, _mm_set1_epi8(static_cast<char>(at + 3 * firstPixel))),
                        clearFourth);
}

__attribute__((target("ssse3"))) inline __m128i load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Eight columns from the lanes of source pixels x … x + 4 (x's even columns
// and the columns between them): `first` holds columns 2x … 2x + 3, `next`
// the four after, as lanes.
__attribute__((target("ssse3"))) inline void eightColumns(Lanes top, const Lanes* bottom, __m128i& first,
                                                          __m128i& next) {
    __m128i left = top.left, between;
    if (bottom == nullptr) {
        between = meanDown(left, top.right);
    } else {
        const __m128i zero = _mm_setzero_si128();
        auto sum = [&](auto unpack) {
            return _mm_add_epi16(_mm_add_epi16(unpack(left, zero), unpack(top.right, zero)),
                                 _mm_add_epi16(unpack(bottom->left, zero), unpack(bottom->right, zero)));
        };
        const __m128i lo = sum([](__m128i v, __m128i z) { return _mm_unpacklo_epi8(v, z); });
        const __m128i hi = sum([](__m128i v, __m128i z) { return _mm_unpackhi_epi8(v, z); });
        between = _mm_packus_epi16(_mm_srli_epi16(lo, 2), _mm_srli_epi16(hi, 2));
        left = meanDown(left, bottom->left);
    }
    first = _mm_unpacklo_epi32(left, between);
    next = _mm_unpackhi_epi32(left, between);
}

// Four source pixels give eight columns, from one load of each row.
__attribute__((target("ssse3"))) void doubleRowShuffle(const std::uint8_t* top, const std::uint8_t* bottom,
                                                       int width, int columns, std::uint8_t* bgr,
                                                       std::uint32_t* rgb32) {
    if (width < 6) // shorter than one load
        return doubleRowPlain(top, bottom, width, 0, columns, bgr, rgb32);
    const __m128i firstTwelve = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i headOfNext = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i restOfNext = _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i leftMask = laneMask(0, 0), rightMask = laneMask(0, 1);
    int x = 0;
    // A step loads 16 bytes from pixel x: the row must hold pixel x + 5's
    // first byte.
    for (; x + 6 <= width && 2 * x + 8 <= columns; x += 4) {
        const Lanes t = lanesOf(load16(top + 3 * x), leftMask, rightMask);
        Lanes b;
        if (bottom)
            b = lanesOf(load16(bottom + 3 * x), leftMask, rightMask);
        __m128i first, next;
        eightColumns(t, bottom ? &b : nullptr, first, next);
        if (rgb32) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb32 + 2 * x), _mm_or_si128(first, opaque));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb32 + 2 * x + 4), _mm_or_si128(next, opaque));
        }
        if (bgr) { // 24 bytes exactly: the row may end right after them
            std::uint8_t* out = bgr + 6 * x;
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out),
                _mm_or_si128(_mm_shuffle_epi8(first, firstTwelve), _mm_shuffle_epi8(next, headOfNext)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_shuffle_epi8(next, restOfNext));
        }
    }
    const int wanted = columns - 2 * x;
    if (wanted <= 0)
        return;
    // The last columns (at most nine) from the last 16 bytes of the rows, or
    // from pixel x where the rows go on: one more step, of which only the
    // wanted columns are written; a ninth is the last pixel's own.
    const int from = std::min(3 * x, 3 * width - 16);
    const int at = 3 * x - from;
    const __m128i tailLeft = laneMask(at, 0), tailRight = laneMask(at, 1);
    const Lanes t = lanesOf(load16(top + from), tailLeft, tailRight);
    Lanes b;
    if (bottom)
        b = lanesOf(load16(bottom + from), tailLeft, tailRight);
    __m128i first, next;
    eightColumns(t, bottom ? &b : nullptr, first, next);
    alignas(16) std::uint32_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), first);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 4), next);
    const int n = std::min(wanted, 8);
    for (int i = 0; i < n; ++i) {
        if (bgr) {
            std::uint8_t* out = bgr + 3 * (2 * x + i);
            out[0] = static_cast<std::uint8_t>(lanes[i]);
            out[1] = static_cast<std::uint8_t>(lanes[i] >> 8);
            out[2] = static_cast<std::uint8_t>(lanes[i] >> 16);
        }
        if (rgb32)
            rgb32[2 * x + i] = lanes[i] | 0xFF000000u;
    }
    doubleRowPlain(top, bottom, width, 2 * x + n, columns, bgr, rgb32);
}

// Sixteen columns a step: the steps above, two at a time in the halves of
// 256-bit vectors (pixels x … x + 4 in the low half, x + 4 … x + 8 in the
// high one); the tail is the SSSE3 variant's.
__attribute__((target("avx2"))) inline __m256i load2x16(const std::uint8_t* p) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(load16(p)), load16(p + 12), 1);
}

__attribute__((target("avx2"))) inline __m256i meanDown256(__m256i x, __m256i y) {
    const __m256i half =
        _mm256_and_si256(_mm256_srli_epi16(_mm256_xor_si256(x, y), 1), _mm256_set1_epi8(0x7F));
    return _mm256_add_epi8(_mm256_and_si256(x, y), half);
}

__attribute__((target("avx2"))) void doubleRowAvx2(const std::uint8_t* top, const std::uint8_t* bottom,
                                                   int width, int columns, std::uint8_t* bgr,
                                                   std::uint32_t* rgb32) {
    const __m256i leftMask = _mm256_broadcastsi128_si256(laneMask(0, 0));
    const __m256i rightMask = _mm256_broadcastsi128_si256(laneMask(0, 1));
    const __m256i firstTwelve =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
    const __m256i headOfNext = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4));
    const __m256i restOfNext = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    // The high half's load reads 16 bytes from pixel x + 4: up to pixel
    // x + 9's first byte.
    for (; x + 10 <= width && 2 * x + 16 <= columns; x += 8) {
        const __m256i t = load2x16(top + 3 * x);
        __m256i left = _mm256_shuffle_epi8(t, leftMask);
        const __m256i right = _mm256_shuffle_epi8(t, rightMask);
        __m256i between;
        if (bottom == nullptr) {
            between = meanDown256(left, right);
        } else {
            const __m256i b = load2x16(bottom + 3 * x);
            const __m256i below = _mm256_shuffle_epi8(b, leftMask),
                          belowRight = _mm256_shuffle_epi8(b, rightMask);
            const __m256i lo = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero)),
                _mm256_add_epi16(_mm256_unpacklo_epi8(below, zero), _mm256_unpacklo_epi8(belowRight, zero)));
            const __m256i hi = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero)),
                _mm256_add_epi16(_mm256_unpackhi_epi8(below, zero), _mm256_unpackhi_epi8(belowRight, zero)));
            between = _mm256_packus_epi16(_mm256_srli_epi16(lo, 2), _mm256_srli_epi16(hi, 2));
            left = meanDown256(left, below);
        }
        // Per half: columns 2x … 2x + 3 (first) and 2x + 4 … 2x + 7 (next);
        // the high half eight columns on.
        const __m256i first = _mm256_unpacklo_epi32(left, between);
        const __m256i next = _mm256_unpackhi_epi32(left, between);
        if (rgb32) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb32 + 2 * x),
                                _mm256_or_si256(_mm256_permute2x128_si256(first, next, 0x20), opaque));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(rgb32 + 2 * x + 8),
                                _mm256_or_si256(_mm256_permute2x128_si256(first, next, 0x31), opaque));
        }
        if (bgr) { // 48 bytes exactly: the row may end right after them
            const __m256i head = _mm256_or_si256(_mm256_shuffle_epi8(first, firstTwelve),
                                                 _mm256_shuffle_epi8(next, headOfNext));
            const __m256i rest = _mm256_shuffle_epi8(next, restOfNext);
            std::uint8_t* out = bgr + 6 * x;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(head));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_castsi256_si128(rest));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), _mm256_extracti128_si256(head, 1));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 40), _mm256_extracti128_si256(rest, 1));
        }
    }
    doubleRowShuffle(top + 3 * x, bottom ? bottom + 3 * x : nullptr, width - x, columns - 2 * x,
                     bgr ? bgr + 6 * x : nullptr, rgb32 ? rgb32 + 2 * x : nullptr);
}

const RowDoubler rowDoubler = HasAvx2() ? doubleRowAvx2 : HasSsse3() ? doubleRowShuffle : nullptr;
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
