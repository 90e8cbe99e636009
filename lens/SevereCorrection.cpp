#include "lens/SevereCorrection.h"

#include <algorithm>
#include <cstdint>

void SevereCorrect(platform::Bitmap24& bmp, int width, int height, int& probeRed, int& probeGreen,
                   int& probeBlue) {
    width = std::min(width, bmp.width());
    height = std::min(height, bmp.height());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bmp.scanLine(y);
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = row + 3 * x;
            int r = pixel[2];
            int g = pixel[1];
            int b = pixel[0];
            if (b < r && b < g) {
                if (r > g + 10) {
                    r = static_cast<int>(r + (255 - r) * 0.8);
                    g = static_cast<int>(g * 0.2);
                } else {
                    g = static_cast<int>(g + (255 - g) * 0.8);
                    r = static_cast<int>(r * 0.2);
                }
                b = 255 - b;
            }
            pixel[0] = static_cast<std::uint8_t>(b);
            pixel[1] = static_cast<std::uint8_t>(g);
            pixel[2] = static_cast<std::uint8_t>(r);
            probeRed = r;
            probeGreen = g;
            probeBlue = b;
        }
    }
}
