#include "lens/SmoothEnlarge.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

int BilinearSample(const std::int32_t* samples, int width, int height, float x, float y) {
    const int ix = static_cast<int>(std::floor(x));
    const int iy = static_cast<int>(std::floor(y));
    const int ix1 = std::min(ix + 1, width - 1);
    const int iy1 = std::min(iy + 1, height - 1);

    const long double left = static_cast<long double>(ix + 1) - x; // 1 − fx
    const long double up = static_cast<long double>(iy + 1) - y;   // 1 − fy
    const long double fx = x - static_cast<long double>(ix);
    const long double fy = y - static_cast<long double>(iy);

    const std::int32_t* top = samples + static_cast<std::size_t>(iy) * width;
    const std::int32_t* bottom = samples + static_cast<std::size_t>(iy1) * width;
    const float value = static_cast<float>(up * left * top[ix] + up * fx * top[ix1] + fy * left * bottom[ix] +
                                           fy * fx * bottom[ix1]);
    return static_cast<int>(value);
}

void SmoothEnlargeInto(const platform::Bitmap24& capture, int zoomFactor, int displayWidth, int displayHeight,
                       platform::Bitmap24& smooth) {
    const int W = capture.width();
    const int H = capture.height();
    if (W <= 0 || H <= 0 || zoomFactor < 1)
        return;

    const std::size_t count = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    std::vector<std::int32_t> redSamples(count), greenSamples(count), blueSamples(count);
    for (int y = 0; y < H; ++y) {
        const std::uint8_t* row = capture.scanLine(y);
        const std::size_t base = static_cast<std::size_t>(y) * W;
        for (int x = 0; x < W; ++x) {
            blueSamples[base + x] = row[3 * x];
            greenSamples[base + x] = row[3 * x + 1];
            redSamples[base + x] = row[3 * x + 2];
        }
    }

    const int outWidth = std::min(displayWidth, smooth.width());
    const int outHeight = std::min(displayHeight, smooth.height());
    const float lastX = static_cast<float>(W - 1);
    const float lastY = static_cast<float>(H - 1);
    for (int j = 0; j < outHeight; ++j) {
        const float Y = static_cast<float>(static_cast<double>(j) / zoomFactor);
        if (!(Y >= 0.0f && Y <= lastY))
            continue;
        std::uint8_t* row = smooth.scanLine(j);
        for (int k = 0; k < outWidth; ++k) {
            const float X = static_cast<float>(static_cast<double>(k) / zoomFactor);
            if (!(X >= 0.0f && X <= lastX))
                continue;
            std::uint8_t* pixel = row + 3 * k;
            pixel[0] = static_cast<std::uint8_t>(BilinearSample(blueSamples.data(), W, H, X, Y));
            pixel[1] = static_cast<std::uint8_t>(BilinearSample(greenSamples.data(), W, H, X, Y));
            pixel[2] = static_cast<std::uint8_t>(BilinearSample(redSamples.data(), W, H, X, Y));
        }
    }
}
