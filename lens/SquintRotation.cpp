#include "lens/SquintRotation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

SquintValues ComputeSquint(int position, float twoPi, int imageWidth, int imageHeight, int zoomFactor) {
    SquintValues v;
    v.SquintPosition = position;
    v.SquintAngle = static_cast<float>((position - 15) * static_cast<double>(twoPi) * (1.0 / 360.0));
    v.SquintHalfWidth = zoomFactor == 0 ? 0 : imageWidth / (zoomFactor * 2);
    v.SquintHalfHeight = zoomFactor == 0 ? 0 : imageHeight / (zoomFactor * 2);
    const double a = v.SquintAngle;
    const double w = v.SquintHalfWidth;
    const double h = v.SquintHalfHeight;
    v.SquintCentreX = static_cast<float>((w - std::cos(a) * w + std::sin(a) * h) * 0.5);
    v.SquintCentreY = static_cast<float>((h - std::sin(a) * w - std::cos(a) * h) * 0.5);
    return v;
}

void RotateSquint(platform::Bitmap24& bmp, int sourceWidth, int sourceHeight, const std::uint8_t* red,
                  const std::uint8_t* green, const std::uint8_t* blue, float angle, float centreX,
                  float centreY, float& rotatedX, float& rotatedY, int& probeRed, int& probeGreen,
                  int& probeBlue) {
    // The same angle for every pixel: its cosine and sine once per frame.
    const double c = std::cos(static_cast<double>(angle));
    const double s = std::sin(static_cast<double>(angle));
    const int width = std::min(sourceWidth, bmp.width());
    const int height = std::min(sourceHeight, bmp.height());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bmp.scanLine(y);
        const double dy = y - static_cast<double>(centreY);
        for (int x = 0; x < width; ++x) {
            const double dx = x - static_cast<double>(centreX);
            rotatedX = static_cast<float>(c * dx + s * dy);
            rotatedY = static_cast<float>(c * dy - s * dx);
            // The range test comes before truncation: −0.5 is outside.
            std::uint8_t* pixel = row + 3 * x;
            if (rotatedX >= 0.0f && rotatedX < sourceWidth && rotatedY >= 0.0f && rotatedY < sourceHeight) {
                const std::size_t i = static_cast<std::size_t>(static_cast<int>(rotatedY)) * sourceWidth +
                                      static_cast<std::size_t>(static_cast<int>(rotatedX));
                probeRed = red[i];
                probeGreen = green[i];
                probeBlue = blue[i];
                pixel[0] = static_cast<std::uint8_t>(probeBlue);
                pixel[1] = static_cast<std::uint8_t>(probeGreen);
                pixel[2] = static_cast<std::uint8_t>(probeRed);
            } else {
                // Black, written directly: the working values keep the last
                // pixel taken from the planes.
                pixel[0] = pixel[1] = pixel[2] = 0;
            }
        }
    }
}
