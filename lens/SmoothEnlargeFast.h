// The smoothed enlargement in integer arithmetic, with the bytes of
// SmoothEnlargeInto to the bit.
//
// Why integers are exact here: a column's position X = k / zoom, rounded to
// single precision, is a dyadic rational, and for X ≥ 1/16 (every zoom up to
// 16) its fraction is a whole multiple of 2^-27. So are the weights (ix+1−X)
// and (X−ix); each product of two weights and a byte is a whole multiple of
// 2^-54 below 2^62, and the four-term sum of the reference, in 64-bit
// extended precision, is exact: N·2^-54 for an integer N. Rounding that to
// single precision and truncating gives m = N >> 54, plus one exactly when N
// lies within half a float ulp below m + 1: a threshold per m, in a table.
// When every weight is a multiple of 2^-F for a small F (zoom 2, 4, 8) the sum
// fits 16 bits, never reaches such a threshold, and is a shift.
//
// Positions that are not such multiples (zooms above 16) are handed to the
// reference as a whole.
#pragma once

#include "platform/Bitmap24.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

class RowsToWrite;

class SmoothEnlarger {
public:
    // Same contract as SmoothEnlargeInto. Keeps its buffers from call to
    // call, so frames of one size allocate nothing. Large pictures are
    // worked on two cores (platform/RowSplit.h).
    void enlarge(const platform::Bitmap24& capture, int zoomFactor, int displayWidth, int displayHeight,
                 platform::Bitmap24& smooth);

    // The same, and `lens` painted from `smooth` in the same pass, as a
    // one-to-one StretchDraw of `smooth` over the whole of `lens` would paint
    // it: each row is converted while it is still in the cache. Only when
    // `lens` is a 32-bit picture and it, `smooth` and the display have one
    // size; otherwise `lens` is left alone and the result is false.
    bool enlargeAndPaint(const platform::Bitmap24& capture, int zoomFactor, int displayWidth,
                         int displayHeight, platform::Bitmap24& smooth, QImage& lens);

    // Which way the last call went; for tests and benchmarks.
    enum class Path { None, Shift, Wide, Reference };
    Path lastPath() const { return m_path; }

private:
    struct Axis {
        std::vector<std::int32_t> first, second; // byte offset of the two neighbours (columns) or row index
        std::vector<std::int64_t> weight;        // of the second neighbour, in units of 2^-27
        int count = 0;                           // positions inside the source
        std::array<int, 4> builtFor{-1, -1, -1, -1}; // what they were built for
        bool exact = false;                          // whether the integers hold them
    };
    // The source rows spread to output columns, two kept per part of a split.
    struct Part {
        std::vector<std::uint16_t> narrow[2];
        std::vector<std::int64_t> wide[2];
        int rowOf[2] = {-1, -1};
    };
    bool buildPositions(Axis& axis, int outCount, int sourceCount, int zoomFactor, int stride);
    bool buildAxis(Axis& axis, int outCount, int sourceCount, int zoomFactor, int stride);
    bool doubleRows(const platform::Bitmap24& capture, int columns, int rows, int paintedRows,
                    std::size_t work, platform::Bitmap24& smooth, const RowsToWrite* lensRows);
    bool run(const platform::Bitmap24& capture, int zoomFactor, int displayWidth, int displayHeight,
             platform::Bitmap24& smooth, QImage* lens);

    Axis m_columns, m_rows;
    Part m_parts[2];
    Path m_path = Path::None;
};
