#include "lens/PlaneCopy.h"

#include "lens/RowSplit.h"

#include <cstddef>

void CopyToPlanes(const platform::Bitmap24& bmp, int sourceWidth, std::uint8_t* red, std::uint8_t* green,
                  std::uint8_t* blue) {
    const int width = bmp.width();
    const int height = bmp.height();
    auto copyRows = [&](int, int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const std::uint8_t* row = bmp.scanLine(y);
            const std::size_t base = static_cast<std::size_t>(y) * static_cast<std::size_t>(sourceWidth);
            for (int x = 0; x < width; ++x) {
                red[base + x] = row[3 * x + 2];
                green[base + x] = row[3 * x + 1];
                blue[base + x] = row[3 * x];
            }
        }
    };
    // Rows overlap in the planes when the stride is narrower than the
    // bitmap; the later row must win, so such a copy stays in one piece.
    if (sourceWidth < width) {
        copyRows(0, 0, height);
        return;
    }
    SplitRows(height, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), copyRows);
}
