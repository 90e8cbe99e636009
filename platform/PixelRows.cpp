#include "platform/PixelRows.h"

#include "platform/CpuFeatures.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

namespace {

void bgrRowToRgb32Plain(const std::uint8_t* in, std::uint32_t* out, int count) {
    for (int i = 0; i < count; ++i, in += 3)
        out[i] = Rgb32Of(in);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("ssse3"))) void bgrRowToRgb32Shuffle(const std::uint8_t* in, std::uint32_t* out,
                                                           int count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    // Each load reads 16 bytes for four pixels' twelve: it stops while the
    // row still holds the four it reads beyond.
    for (; i + 6 <= count; i += 4, in += 12) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque));
    }
    bgrRowToRgb32Plain(in, out + i, count - i);
}

using RowPainter = void (*)(const std::uint8_t*, std::uint32_t*, int);
const RowPainter rowPainter = HasSsse3() ? bgrRowToRgb32Shuffle : bgrRowToRgb32Plain;
#else
constexpr auto rowPainter = bgrRowToRgb32Plain;
#endif

} // namespace

void BgrRowToRgb32(const std::uint8_t* in, std::uint32_t* out, int count) {
    rowPainter(in, out, count);
}

#if defined(__x86_64__) || defined(__i386__)
namespace {

// Eight words in, sixteen out; the rest as below.
__attribute__((target("avx2"))) std::size_t doubleWordsAvx2(const std::uint32_t* in, std::uint32_t* out,
                                                            std::size_t count) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8, out += 16) {
        const __m256i words =
            _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)), opaque);
        const __m256i low = _mm256_unpacklo_epi32(words, words), high = _mm256_unpackhi_epi32(words, words);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), _mm256_permute2x128_si256(low, high, 0x31));
    }
    return i;
}

const bool hasAvx2 = HasAvx2();

} // namespace
#endif

void DoubleWords(const std::uint32_t* in, std::uint32_t* out, std::size_t count) {
    std::size_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (hasAvx2) {
        i = doubleWordsAvx2(in, out, count);
        out += 2 * i;
    }
    // SSE2, which every x86-64 processor has: four words in, eight out.
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= count; i += 4, out += 8) {
        const __m128i words = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi32(words, words));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi32(words, words));
    }
#endif
    for (; i < count; ++i, out += 2)
        out[0] = out[1] = in[i] | 0xFF000000u;
}

} // namespace platform
