// Zoom 2's smoothing, one lens row at a time straight from its source rows.
//
// At zoom 2 every weight is 0 or 1/2, so the integer path's sums reduce to
// averages rounded down: with a the source pixel under column k / 2, b its
// right neighbour (itself at the last column) and c, d the two below them, an
// even row shows a then (a + b) >> 1, an odd row (a + c) >> 1 then
// (a + b + c + d) >> 2, channel by channel. One pass writes the smooth
// bitmap's row and the lens's, without the spread rows in between.
#pragma once

#include <cstdint>

// `columns` pixels of one output row from source row `top` of `width`
// pixels, and `bottom` below it for an odd row (null for an even one), to
// `bgr` and to `rgb32` as opaque 32-bit pixels, each unless null.
// columns ≤ 2·width.
void SmoothDoubleRow(const std::uint8_t* top, const std::uint8_t* bottom, int width, int columns,
                     std::uint8_t* bgr, std::uint32_t* rgb32);
