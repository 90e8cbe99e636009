#include "lens/SmoothEnlargeFast.h"

#include "platform/PixelRows.h"

#include "lens/SmoothDouble.h"
#include "lens/SmoothEnlarge.h"
#include "platform/RowSplit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

using platform::Bitmap24;

namespace {

constexpr int kScaleBits = 27;
constexpr std::int64_t kOne = std::int64_t(1) << kScaleBits;

// N ≥ kRoundUp[m] (N = the exact sum in units of 2^-54, m = N >> 54) when the
// sum rounds up to m + 1 in single precision: within half an ulp of the
// binade just below m + 1. Ties go to m + 1, whose last significand bit is 0.
struct RoundUpTable {
    std::int64_t at[256];
    RoundUpTable() {
        for (int m = 0; m < 256; ++m) {
            // The binade [2^e, 2^(e+1)) that holds the floats just below m + 1.
            const int e = m == 0 ? -1 : 31 - __builtin_clz(static_cast<unsigned>(m));
            at[m] = (std::int64_t(m + 1) << 54) - (std::int64_t(1) << (e + 30));
        }
    }
};
const RoundUpTable roundUp;

// Of two kept rows, the one asked for, computing it in place of the lower
// row when neither is it (rows are asked for top to bottom).
template <typename T, typename Spread>
const T* keptRow(std::vector<T> (&kept)[2], int (&rowOf)[2], int row, Spread spread) {
    for (int s = 0; s < 2; ++s)
        if (rowOf[s] == row)
            return kept[s].data();
    const int s = rowOf[0] < rowOf[1] ? 0 : 1;
    spread(row, kept[s].data());
    rowOf[s] = row;
    return kept[s].data();
}

// w0·top + w1·bottom, shifted down to bytes. Apart from the loop above so
// the vectoriser sees rows that cannot overlap; a constant shift lets it keep
// 16-bit lanes (the sum never leaves them), eight bytes at a time.
template <int Shift>
void blendRowsBy(const std::uint16_t* __restrict top, const std::uint16_t* __restrict bottom,
                 std::uint16_t w0, std::uint16_t w1, std::uint8_t* __restrict out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(w0 * top[i] + w1 * bottom[i]) >> Shift);
}

void blendRows(const std::uint16_t* top, const std::uint16_t* bottom, std::uint16_t w0, std::uint16_t w1,
               int shift, std::uint8_t* out, std::size_t count) {
    switch (shift) {
    case 0:
        return blendRowsBy<0>(top, bottom, w0, w1, out, count);
    case 2:
        return blendRowsBy<2>(top, bottom, w0, w1, out, count);
    case 4:
        return blendRowsBy<4>(top, bottom, w0, w1, out, count);
    case 6:
        return blendRowsBy<6>(top, bottom, w0, w1, out, count);
    default:
        return blendRowsBy<8>(top, bottom, w0, w1, out, count);
    }
}

// A power-of-two zoom puts column k at source pixel k / Zoom with weight
// k mod Zoom: each source pixel and its right neighbour give Zoom columns,
// a·(Zoom − r) + b·r for r = 0 … Zoom − 1.
template <int Zoom> void spreadByZoom(const std::uint8_t* in, int W, int columns, std::uint16_t* out) {
    int k = 0;
    // Whole groups of Zoom columns with a right neighbour.
    for (int x = 0; x + 1 < W && k + Zoom <= columns; ++x, in += 3) {
        const int a0 = in[0], a1 = in[1], a2 = in[2];
        const int d0 = in[3] - a0, d1 = in[4] - a1, d2 = in[5] - a2;
        for (int r = 0; r < Zoom; ++r, out += 3) {
            out[0] = static_cast<std::uint16_t>(a0 * Zoom + d0 * r);
            out[1] = static_cast<std::uint16_t>(a1 * Zoom + d1 * r);
            out[2] = static_cast<std::uint16_t>(a2 * Zoom + d2 * r);
        }
        k += Zoom;
    }
    // The rest: a cut group, or the last pixel whose neighbour is itself.
    const std::uint8_t* last = in + 3 * (W - 1 - k / Zoom);
    for (; k < columns; in += 3) {
        const std::uint8_t* next = in < last ? in + 3 : in;
        const int a0 = in[0], a1 = in[1], a2 = in[2];
        const int d0 = next[0] - a0, d1 = next[1] - a1, d2 = next[2] - a2;
        const int end = std::min(columns, k + Zoom);
        for (int r = 0; k < end; ++k, ++r, out += 3) {
            out[0] = static_cast<std::uint16_t>(a0 * Zoom + d0 * r);
            out[1] = static_cast<std::uint16_t>(a1 * Zoom + d1 * r);
            out[2] = static_cast<std::uint16_t>(a2 * Zoom + d2 * r);
        }
    }
}

void spreadPowerOfTwo(int zoom, const std::uint8_t* in, int W, int columns, std::uint16_t* out) {
    switch (zoom) {
    case 1:
        return spreadByZoom<1>(in, W, columns, out);
    case 2:
        return spreadByZoom<2>(in, W, columns, out);
    case 4:
        return spreadByZoom<4>(in, W, columns, out);
    case 8:
        return spreadByZoom<8>(in, W, columns, out);
    default:
        return spreadByZoom<16>(in, W, columns, out);
    }
}

int trailingZeros(std::int64_t v) {
    return v == 0 ? 64 : __builtin_ctzll(static_cast<unsigned long long>(v));
}

} // namespace

// The positions k / zoom inside 0..sourceCount − 1 along one axis: their two
// neighbours and the weight of the second, as the reference forms them.
bool SmoothEnlarger::buildAxis(Axis& axis, int outCount, int sourceCount, int zoomFactor, int stride) {
    // Frames of one lens ask for the same axes.
    const std::array<int, 4> of{outCount, sourceCount, zoomFactor, stride};
    if (axis.builtFor == of)
        return axis.exact;
    axis.builtFor = of;
    axis.exact = buildPositions(axis, outCount, sourceCount, zoomFactor, stride);
    return axis.exact;
}

bool SmoothEnlarger::buildPositions(Axis& axis, int outCount, int sourceCount, int zoomFactor, int stride) {
    axis.first.resize(static_cast<std::size_t>(std::max(outCount, 0)));
    axis.second.resize(axis.first.size());
    axis.weight.resize(axis.first.size());
    axis.count = 0;
    const float last = static_cast<float>(sourceCount - 1);
    for (int k = 0; k < outCount; ++k) {
        const float X = static_cast<float>(static_cast<double>(k) / zoomFactor);
        if (!(X >= 0.0f && X <= last))
            break; // X grows with k: no later position is inside either
        const int ix = static_cast<int>(std::floor(X));
        const double scaled = (static_cast<double>(X) - ix) * static_cast<double>(kOne);
        if (scaled != std::floor(scaled))
            return false;
        axis.first[k] = ix * stride;
        axis.second[k] = std::min(ix + 1, sourceCount - 1) * stride;
        axis.weight[k] = static_cast<std::int64_t>(scaled);
        axis.count = k + 1;
    }
    return true;
}

namespace {

bool isOpaque32(const QImage& image) {
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

// Rows [begin, end) of the lens painted from the same rows of the smooth
// bitmap, `width` pixels each.
void paintRows(const RowsToWrite& smooth, const RowsToWrite& lens, int width, int begin, int end) {
    for (int j = begin; j < end; ++j)
        platform::BgrRowToRgb32(smooth[j], reinterpret_cast<std::uint32_t*>(lens[j]), width);
}

} // namespace

void SmoothEnlarger::enlarge(const Bitmap24& capture, int zoomFactor, int displayWidth, int displayHeight,
                             Bitmap24& smooth) {
    run(capture, zoomFactor, displayWidth, displayHeight, smooth, nullptr);
}

bool SmoothEnlarger::enlargeAndPaint(const Bitmap24& capture, int zoomFactor, int displayWidth,
                                     int displayHeight, Bitmap24& smooth, QImage& lens) {
    const bool paint = displayWidth > 0 && displayHeight > 0 && smooth.width() == displayWidth &&
                       smooth.height() == displayHeight && lens.width() == displayWidth &&
                       lens.height() == displayHeight && isOpaque32(lens);
    run(capture, zoomFactor, displayWidth, displayHeight, smooth, paint ? &lens : nullptr);
    return paint;
}

bool SmoothEnlarger::run(const Bitmap24& capture, int zoomFactor, int displayWidth, int displayHeight,
                         Bitmap24& smooth, QImage* lens) {
    const int W = capture.width();
    const int H = capture.height();
    m_path = Path::None;
    // Taking smooth's rows to write works out what it still has pending:
    // only the paths that write them take them.
    const RowsToWrite lensRows = lens ? RowsToWrite(*lens) : RowsToWrite(smooth);
    const int paintWidth = smooth.width();
    // With nothing to smooth, the lens still shows what `smooth` holds.
    auto paintAll = [&] {
        const RowsToWrite smoothRows(smooth);
        if (lens)
            SplitRows(
                smooth.height(), static_cast<std::size_t>(smooth.width()) * smooth.height(),
                [&](int, int begin, int end) { paintRows(smoothRows, lensRows, paintWidth, begin, end); });
        return true;
    };
    if (W <= 0 || H <= 0 || zoomFactor < 1)
        return paintAll();
    const int outWidth = std::min(displayWidth, smooth.width());
    const int outHeight = std::min(displayHeight, smooth.height());
    if (!buildAxis(m_columns, outWidth, W, zoomFactor, 3) ||
        !buildAxis(m_rows, outHeight, H, zoomFactor, 1)) {
        m_path = Path::Reference;
        capture.settle();
        SmoothEnlargeInto(capture, zoomFactor, displayWidth, displayHeight, smooth);
        return paintAll();
    }
    const int columns = m_columns.count;
    const int rows = m_rows.count;
    if (columns == 0 || rows == 0)
        return paintAll();

    // The coarsest grid all weights lie on: 2^-fine.
    int zeros = kScaleBits;
    for (int k = 0; k < columns; ++k)
        zeros = std::min(zeros, trailingZeros(m_columns.weight[k]));
    for (int j = 0; j < rows; ++j)
        zeros = std::min(zeros, trailingZeros(m_rows.weight[j]));
    const int fine = kScaleBits - zeros;
    const std::size_t bytes = 3 * static_cast<std::size_t>(columns);
    // Up to 2^-4 the sum stays below 2^16 (255·2^8) and its float rounding
    // never reaches the next integer (half an ulp is at most 2^-17).
    const bool narrow = fine <= 4;
    m_path = narrow ? Path::Shift : Path::Wide;
    for (Part& part : m_parts) {
        part.rowOf[0] = part.rowOf[1] = -1;
        for (int s = 0; s < 2; ++s) {
            if (narrow)
                part.narrow[s].resize(bytes);
            else
                part.wide[s].resize(bytes);
        }
    }
    // Output rows past the source (rows .. outHeight) keep their content but
    // are painted all the same; the lens has no rows beyond outHeight.
    const int paintedRows = lens ? outHeight : rows;
    const std::size_t work = static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(paintedRows);

    if (narrow) {
        const int shift = zeros;
        const std::uint16_t one = static_cast<std::uint16_t>(1 << fine);
        const bool powerOfTwo = zoomFactor == (1 << fine);
        // The lens's usual zoom, in one pass a row. Four of its lens pixels
        // cost about what one pixel of the other stages does: the split
        // weighs them so.
        if (zoomFactor == 2)
            return doubleRows(capture, columns, rows, paintedRows, work / 4, smooth,
                              lens ? &lensRows : nullptr);
        capture.settle(); // before the parts read it, not by the first while the other waits
        const RowsToWrite smoothRows(smooth);
        auto spread = [&](int sourceRow, std::uint16_t* out) {
            const std::uint8_t* in = capture.scanLine(sourceRow);
            if (powerOfTwo) {
                spreadPowerOfTwo(zoomFactor, in, W, columns, out);
                return;
            }
            const std::int32_t* first = m_columns.first.data();
            const std::int32_t* second = m_columns.second.data();
            const std::int64_t* weight = m_columns.weight.data();
            for (int k = 0; k < columns; ++k, out += 3) {
                const std::uint16_t w1 = static_cast<std::uint16_t>(weight[k] >> shift);
                const std::uint16_t w0 = static_cast<std::uint16_t>(one - w1);
                const std::uint8_t* a = in + first[k];
                const std::uint8_t* b = in + second[k];
                out[0] = static_cast<std::uint16_t>(w0 * a[0] + w1 * b[0]);
                out[1] = static_cast<std::uint16_t>(w0 * a[1] + w1 * b[1]);
                out[2] = static_cast<std::uint16_t>(w0 * a[2] + w1 * b[2]);
            }
        };
        SplitRows(paintedRows, work, [&](int p, int begin, int end) {
            Part& part = m_parts[p];
            for (int j = begin; j < end; ++j) {
                if (j < rows) {
                    const std::uint16_t w1 = static_cast<std::uint16_t>(m_rows.weight[j] >> shift);
                    const std::uint16_t w0 = static_cast<std::uint16_t>(one - w1);
                    const std::uint16_t* t = keptRow(part.narrow, part.rowOf, m_rows.first[j], spread);
                    const std::uint16_t* b = keptRow(part.narrow, part.rowOf, m_rows.second[j], spread);
                    blendRows(t, b, w0, w1, 2 * fine, smoothRows[j], bytes);
                }
                if (lens)
                    paintRows(smoothRows, lensRows, paintWidth, j, j + 1);
            }
        });
        return lens != nullptr;
    }

    capture.settle();
    const RowsToWrite smoothRows(smooth);
    auto spread = [&](int sourceRow, std::int64_t* out) {
        const std::uint8_t* in = capture.scanLine(sourceRow);
        const std::int32_t* first = m_columns.first.data();
        const std::int32_t* second = m_columns.second.data();
        const std::int64_t* weight = m_columns.weight.data();
        for (int k = 0; k < columns; ++k, out += 3) {
            const std::int64_t w1 = weight[k];
            const std::int64_t w0 = kOne - w1;
            const std::uint8_t* a = in + first[k];
            const std::uint8_t* b = in + second[k];
            out[0] = w0 * a[0] + w1 * b[0];
            out[1] = w0 * a[1] + w1 * b[1];
            out[2] = w0 * a[2] + w1 * b[2];
        }
    };
    SplitRows(paintedRows, work, [&](int p, int begin, int end) {
        Part& part = m_parts[p];
        for (int j = begin; j < end; ++j) {
            if (j < rows) {
                const std::int64_t w1 = m_rows.weight[j];
                const std::int64_t* t = keptRow(part.wide, part.rowOf, m_rows.first[j], spread);
                const std::int64_t* b = keptRow(part.wide, part.rowOf, m_rows.second[j], spread);
                std::uint8_t* out = smoothRows[j];
                for (std::size_t i = 0; i < bytes; ++i) {
                    // w0·t + w1·b with w0 = 1 − w1: one product fewer.
                    const std::int64_t n = t[i] * kOne + w1 * (b[i] - t[i]);
                    const std::int64_t m = n >> 54;
                    out[i] = static_cast<std::uint8_t>(m + (n >= roundUp.at[m]));
                }
            }
            if (lens)
                paintRows(smoothRows, lensRows, paintWidth, j, j + 1);
        }
    });
    return lens != nullptr;
}

// Zoom 2: picture row j from source row j / 2 and, for odd j, the one below.
template <typename RowAt>
void doubleRowAt(const RowAt& rowAt, int j, int width, int columns, std::uint8_t* bgr, std::uint32_t* rgb32) {
    SmoothDoubleRow(rowAt(j >> 1), (j & 1) ? rowAt((j >> 1) + 1) : nullptr, width, columns, bgr, rgb32);
}

bool SmoothEnlarger::doubleRows(const Bitmap24& capture, int columns, int rows, int paintedRows,
                                std::size_t work, Bitmap24& smooth, const RowsToWrite* lensRows) {
    const int W = capture.width();
    const int paintWidth = smooth.width();
    if (!lensRows) {
        capture.settle();
        const RowsToWrite smoothRows(smooth);
        auto captureRow = [&capture](int y) { return capture.scanLine(y); };
        SplitRows(rows, work, [&](int, int begin, int end) {
            for (int j = begin; j < end; ++j)
                doubleRowAt(captureRow, j, W, columns, smoothRows[j], nullptr);
        });
        return false;
    }
    // The lens shows the smoothing; smooth's own bytes are worked out only
    // when something reads them, from the source as it stands now. The lens
    // is painted from the same copy: a capture still in its words converts
    // them into it, and nothing else.
    const QImage source = capture.snapshot();
    auto sourceRow = [&source](int y) { return source.constScanLine(y); };
    smooth.deferRows(columns, rows, [source, W, columns, rows](std::uint8_t* first, std::size_t line) {
        for (int j = 0; j < rows; ++j)
            doubleRowAt([&source](int y) { return source.constScanLine(y); }, j, W, columns,
                        first + static_cast<std::size_t>(j) * line, nullptr);
    });
    // The rows and the column past the source show what smooth holds there.
    SplitRows(paintedRows, work, [&](int, int begin, int end) {
        for (int j = begin; j < end; ++j) {
            auto* lensRow = reinterpret_cast<std::uint32_t*>((*lensRows)[j]);
            if (j >= rows) {
                platform::BgrRowToRgb32(smooth.scanLineBesidePending(j), lensRow, paintWidth);
                continue;
            }
            doubleRowAt(sourceRow, j, W, columns, nullptr, lensRow);
            // A column or so: not worth a call a row.
            const std::uint8_t* beside = smooth.scanLineBesidePending(j);
            for (int k = columns; k < paintWidth; ++k)
                lensRow[k] = platform::Rgb32Of(beside + 3 * k);
        }
    });
    return true;
}
