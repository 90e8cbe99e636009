// Every 24-bit colour through the HSI planes and back, and through each
// colour stage: results stay bytes of the expected kind, nothing drifts.
#include "lens/ColourStage.h"
#include "vision/ColourVision.h"

#include <gtest/gtest.h>

#include <cstdlib>

using platform::Bitmap24;

namespace {

// 4096 × 4096 pixels, every colour once: red in the high byte.
Bitmap24 everyColour() {
    Bitmap24 b(4096, 4096);
    for (int y = 0; y < 4096; ++y) {
        std::uint8_t* row = b.scanLine(y);
        for (int x = 0; x < 4096; ++x) {
            const int v = y * 4096 + x;
            row[3 * x] = v & 255;
            row[3 * x + 1] = (v >> 8) & 255;
            row[3 * x + 2] = v >> 16;
        }
    }
    return b;
}

} // namespace

TEST(HsiRoundTrip, EveryColourComesBackWithinTwoLowerOneHigher) {
    const Bitmap24 source = everyColour();
    ConvertToHsi(source);
    for (std::size_t k = 0; k < IntensityPlane.size(); ++k) {
        ASSERT_GE(IntensityPlane[k], 0.0f);
        ASSERT_LE(IntensityPlane[k], 255.0f);
        ASSERT_GE(SaturationPlane[k], 0.0f);
        ASSERT_LE(SaturationPlane[k], 255.0f);
        ASSERT_GE(HuePlane[k], 0.0f);
        ASSERT_LE(HuePlane[k], 359.0f);
    }
    ConvertFromHsi(source);
    int low = 0, high = 0;
    for (int y = 0; y < 4096; ++y) {
        const std::uint8_t* in = source.scanLine(y);
        const std::uint8_t* out = HsiResultBitmap->scanLine(y);
        for (int x = 0; x < 3 * 4096; ++x) {
            const int d = out[x] - in[x];
            low = std::min(low, d);
            high = std::max(high, d);
        }
    }
    EXPECT_GE(low, -2);
    EXPECT_LE(high, 1);
}

TEST(HsiRoundTrip, StagesKeepGreysGreyOverEveryColour) {
    // Any grey input stays grey (channels within 1) through each HSI stage.
    for (ColourStage stage : {ColourStage::SimulateRedGreen, ColourStage::LowLevel, ColourStage::HighLevel}) {
        BuildLensHueCurve();
        Bitmap24 b = everyColour();
        int r, g, bl;
        ApplyColourStage(stage, b, r, g, bl);
        ASSERT_EQ(b.width(), 4096);
        for (int v = 1; v < 255; ++v) {
            const int index = v * 65536 + v * 256 + v;
            const std::uint8_t* p = b.scanLine(index / 4096) + 3 * (index % 4096);
            EXPECT_LE(std::abs(p[0] - p[1]), 1) << "grey " << v << " stage " << static_cast<int>(stage);
            EXPECT_LE(std::abs(p[1] - p[2]), 1) << "grey " << v << " stage " << static_cast<int>(stage);
        }
    }
}
