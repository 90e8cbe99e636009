#include "vision/ColourVision.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

int HsiWidth = 0;
int HsiHeight = 0;
std::vector<float> IntensityPlane;
std::vector<float> SaturationPlane;
std::vector<float> HuePlane;
platform::Bitmap24* HsiResultBitmap = nullptr;

void FreeHsiResultBitmap() {
    delete HsiResultBitmap;
    HsiResultBitmap = nullptr;
}

void ConvertToHsi(const platform::Bitmap24& bitmap) {
    HsiWidth = bitmap.width();
    HsiHeight = bitmap.height();
    const std::size_t count = static_cast<std::size_t>(HsiWidth) * static_cast<std::size_t>(HsiHeight);
    // Resizing keeps the capacity: a frame of the same size allocates nothing.
    IntensityPlane.resize(count);
    SaturationPlane.resize(count);
    HuePlane.resize(count);
    if (count == 0)
        return;

    const double pi = HsiPi;
    const double twoPi = HsiTwoPi;
    for (int y = 0; y < HsiHeight; ++y) {
        const std::uint8_t* row = bitmap.scanLine(y);
        float* intensity = IntensityPlane.data() + static_cast<std::size_t>(y) * HsiWidth;
        float* saturation = SaturationPlane.data() + static_cast<std::size_t>(y) * HsiWidth;
        float* hue = HuePlane.data() + static_cast<std::size_t>(y) * HsiWidth;
        for (int x = 0; x < HsiWidth; ++x) {
            const double b = row[3 * x] / 255.0;
            const double g = row[3 * x + 1] / 255.0;
            const double r = row[3 * x + 2] / 255.0;
            const float I = static_cast<float>((r + g + b) * 255.0 / 3.0);
            if (I == 255.0f) {
                intensity[x] = 255.0f;
                saturation[x] = 255.0f;
                hue[x] = 359.0f;
                continue;
            }
            intensity[x] = I;
            if (I == 0.0f) {
                saturation[x] = 0.0f;
                hue[x] = 0.0f;
                continue;
            }
            const double smallest = std::min(r, std::min(g, b));
            saturation[x] = static_cast<float>((1.0 - 3.0 * smallest / (r + g + b)) * 255.0);

            const double num = ((r - g) + (r - b)) * 0.5;
            const double q = (r - g) * (r - g) + (r - b) * (g - b);
            double u = q > 0.0 ? num / std::sqrt(q) : 0.0;
            if (u > 1.0)
                u = 1.0;
            else if (u < -1.0)
                u = -1.0;
            const double theta = std::acos(u);
            if (g >= b)
                hue[x] = static_cast<float>(theta * 180.0 / pi);
            else
                hue[x] = static_cast<float>((twoPi - theta) * 359.0 / twoPi);
        }
    }
}

namespace {

// (1 + s·cos h / cos(π/3 − h)) / 3, the share of the sector's leading channel.
float leadingShare(float s, float h, float piThird) {
    return static_cast<float>(
        (1.0 + s * std::cos(static_cast<double>(h)) / std::cos(static_cast<double>(piThird) - h)) / 3.0);
}

std::uint8_t shareToByte(float share, float i) {
    float scaled = static_cast<float>(3.0 * i * share);
    if (scaled > 1.0f)
        scaled = 1.0f;
    // Truncation toward zero; the byte keeps the low 8 bits of the integer.
    return static_cast<std::uint8_t>(static_cast<int>(scaled * 255.0));
}

} // namespace

void ConvertFromHsi(const platform::Bitmap24& templ) {
    if (HsiResultBitmap == nullptr)
        HsiResultBitmap = new platform::Bitmap24();
    HsiResultBitmap->assign(templ);

    const float twoPi = HsiTwoPi;
    const float piThird = static_cast<float>(static_cast<double>(HsiPi) * (1.0 / 3.0));
    const float twoPiThird = static_cast<float>(static_cast<double>(twoPi) * (1.0 / 3.0));
    const float fourPiThird = static_cast<float>(static_cast<double>(twoPi) * 2.0 * (1.0 / 3.0));

    const int width = std::min(HsiWidth, HsiResultBitmap->width());
    const int height = std::min(HsiHeight, HsiResultBitmap->height());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = HsiResultBitmap->scanLine(y);
        const std::size_t base = static_cast<std::size_t>(y) * HsiWidth;
        for (int x = 0; x < width; ++x) {
            const float I = IntensityPlane[base + x];
            std::uint8_t* pixel = row + 3 * x;
            if (I == 255.0f) {
                pixel[0] = pixel[1] = pixel[2] = 255;
                continue;
            }
            float h = static_cast<float>(HuePlane[base + x] * (1.0 / 359.0) * twoPi);
            const float s = static_cast<float>(SaturationPlane[base + x] / 255.0);
            const float i = static_cast<float>(I / 255.0);
            if (i == 0.0f) {
                pixel[0] = pixel[1] = pixel[2] = 0;
                continue;
            }
            const float minorShare = static_cast<float>((1.0 - s) / 3.0);
            float red, green, blue;
            if (h >= 0.0f && h < twoPiThird) {
                blue = minorShare < 0.0f ? 0.0f : minorShare;
                if (std::fabs(static_cast<double>(h) - piThird) < 0.00001)
                    h = piThird;
                red = leadingShare(s, h, piThird);
                if (red > 1.0f)
                    red = 1.0f;
                green = static_cast<float>(1.0 - (static_cast<double>(red) + blue));
                if (green < 0.0f)
                    green = 0.0f;
            } else if (h >= twoPiThird && h < fourPiThird) {
                const float hp = static_cast<float>(static_cast<double>(h) - twoPiThird);
                red = minorShare;
                green = leadingShare(s, hp, piThird);
                blue = static_cast<float>(1.0 - (static_cast<double>(red) + green));
            } else {
                const float hp = static_cast<float>(static_cast<double>(h) - fourPiThird);
                green = minorShare;
                blue = leadingShare(s, hp, piThird);
                red = static_cast<float>(1.0 - (static_cast<double>(green) + blue));
            }
            pixel[0] = shareToByte(blue, i);
            pixel[1] = shareToByte(green, i);
            pixel[2] = shareToByte(red, i);
        }
    }
}
