// What every screen capture shares: clipping a source rectangle to the
// screen and to the destination bitmap, and turning 32-bit screen rows into
// the bitmap's B,G,R bytes.
#pragma once

#include "platform/Bitmap24.h"
#include "platform/Geometry.h"

#include <cstddef>
#include <cstdint>

namespace platform {

// The part of a source that lies on the screen, and the matching destination
// offset, further clipped to the bitmap.
struct CaptureClip {
    int srcX = 0, srcY = 0, dstX = 0, dstY = 0, width = 0, height = 0;
};

// False when nothing of `source` lies both on a screen of the given size and,
// placed at (dstX, dstY), on `dst`.
bool ClipCapture(const TRect& source, int screenW, int screenH, const Bitmap24& dst, int dstX, int dstY,
                 CaptureClip& clip);

// The byte order of a 32-bit screen pixel in memory; the fourth byte is
// padding or alpha and is dropped.
enum class PixelOrder { Bgrx, Rgbx };

// One row of `count` B,G,R,x pixels to B,G,R bytes.
void BgrxRowToBgr(const std::uint8_t* in, std::uint8_t* out, int count);

// `src` holds the clip's source rows (the first at src, each srcStride bytes
// long, starting at the clip's first column); they land on `dst` at the
// clip's destination.
void BgrxToBitmap(const std::uint8_t* src, std::size_t srcStride, const CaptureClip& clip, Bitmap24& dst,
                  PixelOrder order = PixelOrder::Bgrx);

} // namespace platform
