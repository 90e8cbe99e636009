// Every 24-bit colour through each colour stage run two ways, the plane loops
// and the per-colour caches: one per-pixel definition, two ways of applying
// it (frames, splits, kept colours, level 2's guessed change), in frames of a
// million colours (a sixteenth of the cube each).
#include "PixelCompare.h"
#include "vision/ColourCache.h"
#include "lens/ColourStage.h"
#include "vision/ColourVision.h"
#include "vision/HsiPixel.h"

using platform::Bitmap24;

namespace {

// 4096 × 256 pixels: the colours whose red lies in [16·part, 16·part + 16).
Bitmap24 coloursOfPart(int part) {
    Bitmap24 b(4096, 256);
    for (int y = 0; y < 256; ++y) {
        std::uint8_t* row = b.scanLine(y);
        for (int x = 0; x < 4096; ++x) {
            const int v = (part << 20) | (y << 12) | x;
            row[3 * x] = static_cast<std::uint8_t>(v);
            row[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
        }
    }
    return b;
}

} // namespace

TEST(ColourCacheEveryColour, EachStageMatchesThePlaneFunctions) {
    BuildLensHueCurve();
    for (ColourStage stage : {ColourStage::SimulateRedGreen, ColourStage::LowLevel, ColourStage::HighLevel}) {
        for (int part = 0; part < 16; ++part) {
            SCOPED_TRACE(testing::Message()
                         << "stage " << static_cast<int>(stage) << ", red from " << 16 * part);
            const Bitmap24 source = coloursOfPart(part);
            Bitmap24 expected, actual;
            expected.assign(source);
            actual.assign(source);
            int r = 0, g = 0, b = 0;
            ApplyColourStageReference(stage, expected, r, g, b);
            ApplyColourStage(stage, actual, r, g, b);
            ASSERT_TRUE(SamePixels(expected, actual));
            // The same frame again, now from the kept colours.
            actual.assign(source);
            ApplyColourStage(stage, actual, r, g, b);
            ASSERT_TRUE(SamePixels(expected, actual));
        }
    }
    ResetColourCaches();
}

// Level 2 moves intensities, so the shares of a colour meet intensities
// other than its own: every colour's kept shares, at every intensity a plane
// can hold after rescaling, against ConvertFromHsi.
TEST(ColourCacheEveryColour, HighLevelSharesMatchConvertFromHsiAtOtherIntensities) {
    for (int part = 0; part < 16; ++part) {
        const Bitmap24 source = coloursOfPart(part);
        ConvertToHsi(source);
        BoostSaturation();
        // Each row takes an intensity of its own: whole values and values
        // just off them, which the truncation of the bytes is sensitive to.
        for (int y = 0; y < HsiHeight; ++y)
            for (int x = 0; x < HsiWidth; ++x)
                IntensityPlane[static_cast<std::size_t>(y) * HsiWidth + x] =
                    (y % 2 == 0 ? 1.0f : 0.999999f) * static_cast<float>((y * 7 + x) % 256);
        ConvertFromHsi(source);
        for (int y = 0; y < HsiHeight; ++y) {
            const std::uint8_t* want = HsiResultBitmap->scanLine(y);
            for (int x = 0; x < HsiWidth; ++x) {
                const std::size_t k = static_cast<std::size_t>(y) * HsiWidth + x;
                std::uint8_t got[3];
                BytesOfShares(IntensityPlane[k], HsiSharesOf(HuePlane[k], SaturationPlane[k]), got);
                ASSERT_TRUE(got[0] == want[3 * x] && got[1] == want[3 * x + 1] && got[2] == want[3 * x + 2])
                    << "part " << part << " pixel (" << x << ", " << y << ")";
            }
        }
    }
}
