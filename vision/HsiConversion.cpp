#include "vision/ColourVision.h"
#include "vision/HsiPixel.h"

#include <algorithm>
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

    for (int y = 0; y < HsiHeight; ++y) {
        const std::uint8_t* row = bitmap.scanLine(y);
        float* intensity = IntensityPlane.data() + static_cast<std::size_t>(y) * HsiWidth;
        float* saturation = SaturationPlane.data() + static_cast<std::size_t>(y) * HsiWidth;
        float* hue = HuePlane.data() + static_cast<std::size_t>(y) * HsiWidth;
        for (int x = 0; x < HsiWidth; ++x)
            HsiOfPixel(row[3 * x], row[3 * x + 1], row[3 * x + 2], intensity[x], saturation[x], hue[x]);
    }
}

void ConvertFromHsi(const platform::Bitmap24& templ) {
    if (HsiResultBitmap == nullptr)
        HsiResultBitmap = new platform::Bitmap24();
    HsiResultBitmap->assign(templ);

    const int width = std::min(HsiWidth, HsiResultBitmap->width());
    const int height = std::min(HsiHeight, HsiResultBitmap->height());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = HsiResultBitmap->scanLine(y);
        const std::size_t base = static_cast<std::size_t>(y) * HsiWidth;
        for (int x = 0; x < width; ++x)
            PixelOfHsi(IntensityPlane[base + x], SaturationPlane[base + x], HuePlane[base + x], row + 3 * x);
    }
}
