#include "lens/PlaneCopy.h"

#include <cstddef>

void CopyToPlanes(const platform::Bitmap24& bmp, int sourceWidth, std::uint8_t* red, std::uint8_t* green,
                  std::uint8_t* blue) {
    const int width = bmp.width();
    const int height = bmp.height();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bmp.scanLine(y);
        const std::size_t base = static_cast<std::size_t>(y) * static_cast<std::size_t>(sourceWidth);
        for (int x = 0; x < width; ++x) {
            red[base + x] = row[3 * x + 2];
            green[base + x] = row[3 * x + 1];
            blue[base + x] = row[3 * x];
        }
    }
}
