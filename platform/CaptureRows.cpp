#include "platform/CaptureRows.h"

#include "platform/CpuFeatures.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

namespace platform {

bool ClipCapture(const TRect& source, int screenW, int screenH, const Bitmap24& dst, int dstX, int dstY,
                 CaptureClip& clip) {
    const std::int64_t sx = source.Left, sy = source.Top;
    const std::int64_t i0 = std::max<std::int64_t>({0, -sx, -static_cast<std::int64_t>(dstX)});
    const std::int64_t i1 =
        std::min<std::int64_t>({source.width(), screenW - sx, static_cast<std::int64_t>(dst.width()) - dstX});
    const std::int64_t j0 = std::max<std::int64_t>({0, -sy, -static_cast<std::int64_t>(dstY)});
    const std::int64_t j1 = std::min<std::int64_t>(
        {source.height(), screenH - sy, static_cast<std::int64_t>(dst.height()) - dstY});
    if (i0 >= i1 || j0 >= j1)
        return false;
    clip.srcX = static_cast<int>(sx + i0);
    clip.srcY = static_cast<int>(sy + j0);
    clip.dstX = static_cast<int>(dstX + i0);
    clip.dstY = static_cast<int>(dstY + j0);
    clip.width = static_cast<int>(i1 - i0);
    clip.height = static_cast<int>(j1 - j0);
    return true;
}

namespace {

// Every frame converts its whole capture (a still lens compares it with the
// last one), so the SSSE3 shuffle is worth its dispatch: four times fewer
// instructions than the byte loop.
template <int Blue, int Red> void rowToBgrPlain(const std::uint8_t* in, std::uint8_t* out, int count) {
    for (int x = 0; x < count; ++x, in += 4, out += 3) {
        out[0] = in[Blue];
        out[1] = in[1];
        out[2] = in[Red];
    }
}

#if defined(__x86_64__) || defined(__i386__)
template <int Blue, int Red>
__attribute__((target("ssse3"))) void rowToBgrShuffle(const std::uint8_t* in, std::uint8_t* out, int count) {
    // Of each 16-byte group of four pixels, the twelve colour bytes first.
    const __m128i pick = _mm_setr_epi8(Blue, 1, Red, 4 + Blue, 5, 4 + Red, 8 + Blue, 9, 8 + Red, 12 + Blue,
                                       13, 12 + Red, -1, -1, -1, -1);
    int x = 0;
    // Each store writes 16 bytes of which the last 4 are overwritten by the
    // next; the loop stops while 4 spare bytes remain in the row.
    for (; x + 6 <= count; x += 4, in += 16, out += 12) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pixels, pick));
    }
    rowToBgrPlain<Blue, Red>(in, out, count - x);
}
#endif

using RowConverter = void (*)(const std::uint8_t*, std::uint8_t*, int);

#if defined(__x86_64__) || defined(__i386__)
const RowConverter bgrxRowToBgr = HasSsse3() ? rowToBgrShuffle<0, 2> : rowToBgrPlain<0, 2>;
const RowConverter rgbxRowToBgr = HasSsse3() ? rowToBgrShuffle<2, 0> : rowToBgrPlain<2, 0>;
#else
constexpr RowConverter bgrxRowToBgr = rowToBgrPlain<0, 2>;
constexpr RowConverter rgbxRowToBgr = rowToBgrPlain<2, 0>;
#endif

} // namespace

void BgrxRowToBgr(const std::uint8_t* in, std::uint8_t* out, int count) {
    bgrxRowToBgr(in, out, count);
}

void BgrxToBitmap(const std::uint8_t* src, std::size_t srcStride, const CaptureClip& clip, Bitmap24& dst,
                  PixelOrder order) {
    const RowConverter convert = order == PixelOrder::Rgbx ? rgbxRowToBgr : bgrxRowToBgr;
    for (int row = 0; row < clip.height; ++row)
        convert(src + static_cast<std::size_t>(row) * srcStride,
                dst.scanLine(clip.dstY + row) + 3 * static_cast<std::size_t>(clip.dstX), clip.width);
}

} // namespace platform
