// The per-colour fast paths of the colour stages against the plane functions
// on varied frames: random colours, screen-like palettes, red- and
// non-red-dominated frames for level 2, frames the cache has seen before.
#include "PixelCompare.h"
#include "lens/ColourStage.h"
#include "platform/CaptureRows.h"
#include "vision/ColourCache.h"
#include "vision/ColourVision.h"

#include <cstring>

using platform::Bitmap24;

namespace {

const ColourStage kHsiStages[] = {ColourStage::SimulateRedGreen, ColourStage::LowLevel,
                                  ColourStage::HighLevel};

// Runs both paths on copies of `source`; both the frame and HsiResultBitmap
// must come out the same.
::testing::AssertionResult StageMatches(ColourStage stage, const Bitmap24& source, int left = 0,
                                        int top = 0) {
    Bitmap24 expected, actual;
    expected.assign(source);
    actual.assign(source);
    int r = 1, g = 2, b = 3;
    ApplyColourStageReference(stage, expected, r, g, b);
    Bitmap24 expectedResult;
    expectedResult.assign(*HsiResultBitmap);
    ApplyColourStage(stage, actual, r, g, b, left, top);
    if (r != 1 || g != 2 || b != 3)
        return ::testing::AssertionFailure() << "the probe values changed";
    ::testing::AssertionResult same = SamePixels(expected, actual);
    if (!same)
        return same;
    same = SamePixels(expectedResult, *HsiResultBitmap);
    if (!same || source.isEmpty())
        return same;
    // The same from a capture still in its words, which the stage converts
    // as it reads them.
    const std::vector<std::uint8_t> words = WordsOf(source);
    Bitmap24 deferred(source.width(), source.height());
    deferred.deferWordRows(words.data(), 4 * static_cast<std::size_t>(source.width()),
                           std::make_shared<std::uint64_t>(0), platform::BgrxRowToBgr);
    ApplyColourStage(stage, deferred, r, g, b, left, top);
    same = SamePixels(expected, deferred);
    if (!same)
        return same << " (from words)";
    return SamePixels(expectedResult, *HsiResultBitmap);
}

// A frame of `reds` pixels out of 100 in red hues, the rest spread over the
// other hues, intensities varied; some black, white and grey pixels too.
Bitmap24 RedShare(int reds, std::uint32_t seed) {
    Bitmap24 b = RandomPicture(97, 61, seed);
    std::mt19937 rng(seed + 1);
    for (int y = 0; y < b.height(); ++y) {
        std::uint8_t* p = b.scanLine(y);
        for (int x = 0; x < b.width(); ++x, p += 3) {
            const int pick = static_cast<int>(rng() % 100);
            const int level = 20 + static_cast<int>(rng() % 220);
            if (pick < reds) { // red, or a red blending into orange or magenta
                p[2] = static_cast<std::uint8_t>(level);
                p[1] = static_cast<std::uint8_t>(rng() % (level / 3 + 1));
                p[0] = static_cast<std::uint8_t>(rng() % (level / 3 + 1));
            } else if (pick == 99) {
                const std::uint8_t v = static_cast<std::uint8_t>(rng() % 3 == 0   ? 255
                                                                 : rng() % 3 == 0 ? 0
                                                                                  : level);
                p[0] = p[1] = p[2] = v;
            }
        }
    }
    return b;
}

class ColourCache : public ::testing::Test {
protected:
    void SetUp() override {
        BuildLensHueCurve();
        ResetColourCaches();
    }
    void TearDown() override { ResetColourCaches(); }
};

} // namespace

TEST_F(ColourCache, RandomFramesMatchThePlaneFunctionsColdAndWarm) {
    for (ColourStage stage : kHsiStages)
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(testing::Message() << "stage " << static_cast<int>(stage) << ", seed " << seed);
            // Every pixel its own colour, then a palette as a screen has one;
            // each twice, the second time entirely from the cache.
            for (int colours : {0, 40}) {
                const Bitmap24 source = RandomPicture(211, 157, seed, colours);
                ASSERT_TRUE(StageMatches(stage, source));
                ASSERT_TRUE(StageMatches(stage, source));
            }
        }
}

TEST_F(ColourCache, HighLevelFollowsEachFramesStatistics) {
    // Reds fewer, tied and more numerous, so that both rescalings are taken
    // and the same colours meet different statistics from frame to frame.
    for (int reds : {5, 30, 50, 70, 95})
        for (std::uint32_t seed = 10; seed < 13; ++seed) {
            SCOPED_TRACE(testing::Message() << reds << "% red, seed " << seed);
            ASSERT_TRUE(StageMatches(ColourStage::HighLevel, RedShare(reds, seed)));
        }
}

TEST_F(ColourCache, HighLevelEdgeFramesMatch) {
    Bitmap24 flat(31, 17); // black: nobody takes part
    ASSERT_TRUE(StageMatches(ColourStage::HighLevel, flat));
    // Reds outnumber non-reds whose intensities are all alike.
    Bitmap24 alike = RedShare(100, 3);
    for (int x = 0; x < 10; ++x) {
        std::uint8_t* p = alike.scanLine(5) + 3 * x;
        p[0] = 200, p[1] = 100, p[2] = 50;
    }
    ASSERT_TRUE(StageMatches(ColourStage::HighLevel, alike));
    // Hues on the borders of the red group: 40, 345 and the blends beside them.
    Bitmap24 borders(256, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            std::uint8_t* p = borders.scanLine(y) + 3 * x;
            p[2] = 200;
            p[1] = static_cast<std::uint8_t>(y < 32 ? x * 3 / 4 : 0);
            p[0] = static_cast<std::uint8_t>(y < 32 ? 0 : x * 3 / 4);
        }
    ASSERT_TRUE(StageMatches(ColourStage::HighLevel, borders));
}

TEST_F(ColourCache, AMovingLensOverAChangingScreenMatches) {
    // Nearly every pixel its own colour, the left half 30 % red and the right
    // half 70 %, so that level 2's larger group flips as the lens crosses over.
    Bitmap24 screen = RandomPicture(320, 120, 31);
    const Bitmap24 fewer = RedShare(30, 32), more = RedShare(70, 33);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; ++x)
            std::memcpy(screen.scanLine(y) + 3 * x, (x < 160 ? fewer : more).scanLine(y % 61) + 3 * (x % 97),
                        3);
    // Both groups' darkest and brightest, in every 8th column: any frame's
    // spans are the same, so its statistics differ from another's only where
    // the halves' shares of reds do.
    const std::uint8_t anchors[4][3] = {{0, 0, 33}, {246, 246, 255}, {0, 33, 0}, {246, 255, 246}};
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; x += 8)
            std::memcpy(screen.scanLine(y) + 3 * x, anchors[(y + x / 8) % 4], 3);
    struct Step {
        int left, top;
        bool changeScreen;
        int width = 80; // a narrower lens (another zoom) leaves places of the last frames as they were
    };
    // Small moves each way, a jump to where nothing was seen, a move onto the
    // last frame's edge, back, over changing pixels, across the halves, and a
    // narrower lens back over places last seen under the other half's
    // statistics.
    const Step steps[] = {{10, 10, false},  {12, 11, false},      {9, 13, true},        {200, 40, false},
                          {240, 70, false}, {240, 70, true},      {40, 0, false},       {41, 1, false},
                          {150, 30, true},  {151, 30, false},     {100, 20, false},     {102, 20, false},
                          {130, 20, false}, {131, 21, false},     {165, 20, false},     {166, 20, false},
                          {100, 20, false}, {200, 20, false, 40}, {202, 20, false, 40}, {165, 20, false, 40}};
    for (ColourStage stage : kHsiStages) {
        ResetColourCaches();
        Bitmap24 desktop;
        desktop.assign(screen);
        std::uint32_t seed = 40;
        for (const Step& step : steps) {
            SCOPED_TRACE(testing::Message()
                         << "stage " << static_cast<int>(stage) << " at " << step.left << "," << step.top);
            if (step.changeScreen) { // repaint some pixels, some to black
                std::mt19937 rng(seed++);
                for (int i = 0; i < 2000; ++i) {
                    std::uint8_t* p = desktop.scanLine(static_cast<int>(rng() % 120)) + 3 * (rng() % 320);
                    const std::uint32_t c = i % 3 == 0 ? 0 : rng();
                    p[0] = static_cast<std::uint8_t>(c), p[1] = static_cast<std::uint8_t>(c >> 8),
                    p[2] = static_cast<std::uint8_t>(c >> 16);
                }
            }
            Bitmap24 frame(step.width, 50);
            for (int y = 0; y < 50; ++y)
                std::memcpy(frame.scanLine(y), desktop.scanLine(step.top + y) + 3 * step.left,
                            3 * step.width);
            ASSERT_TRUE(StageMatches(stage, frame, step.left, step.top));
        }
    }
}

TEST_F(ColourCache, EmptyAndOddSizedFramesMatch) {
    for (ColourStage stage : kHsiStages) {
        ASSERT_TRUE(StageMatches(stage, Bitmap24()));
        ASSERT_TRUE(StageMatches(stage, RandomPicture(1, 1, 5)));
        ASSERT_TRUE(StageMatches(stage, RandomPicture(1, 33, 6)));
        ASSERT_TRUE(StageMatches(stage, RandomPicture(35, 1, 7)));
    }
}

TEST_F(ColourCache, ANewHueCurveIsNotAnsweredFromTheOldOne) {
    const Bitmap24 source = RandomPicture(64, 64, 21, 100);
    ASSERT_TRUE(StageMatches(ColourStage::LowLevel, source));
    BuildHueCurve(0, -60, 120, 160, 240, 250, 360, 420);
    ASSERT_TRUE(StageMatches(ColourStage::LowLevel, source));
    BuildLensHueCurve();
    ASSERT_TRUE(StageMatches(ColourStage::LowLevel, source));
}

TEST_F(ColourCache, KeepsWhatItComputedAndForgetsOnReset) {
    const Bitmap24 source = RandomPicture(50, 40, 8, 25);
    int r = 0, g = 0, b = 0;
    Bitmap24 frame;
    frame.assign(source);
    ApplyColourStage(ColourStage::SimulateRedGreen, frame, r, g, b);
    const ColourCacheUsage first = ColourCacheUsageNow();
    EXPECT_GT(first.simulationColours, 0u);
    EXPECT_LE(first.simulationColours, 25u);
    EXPECT_GT(first.residentBytes, 0u);
    frame.assign(source);
    ApplyColourStage(ColourStage::SimulateRedGreen, frame, r, g, b);
    EXPECT_EQ(ColourCacheUsageNow().simulationColours, first.simulationColours);
    ResetColourCaches();
    EXPECT_EQ(ColourCacheUsageNow().simulationColours, 0u);
    EXPECT_EQ(ColourCacheUsageNow().residentBytes, 0u);
}

TEST_F(ColourCache, ARandomWalkOverFewRedsMatches) {
    // Few reds of every intensity, so that the frames' red spans, and with
    // them level 2's change, differ from step to step and from place to
    // place; lenses of several widths leave places under older changes, and
    // repainted pixels change some of what the places hold.
    Bitmap24 desktop = RedShare(2, 50);
    std::mt19937 rng(51);
    for (int step = 0; step < 300; ++step) {
        const int width = step == 0 ? 97 : 16 + static_cast<int>(rng() % 70);
        const int left = static_cast<int>(rng() % (97 - width + 1)), top = static_cast<int>(rng() % 12);
        for (int i = static_cast<int>(rng() % 4); i > 0; --i) {
            std::uint8_t* p = desktop.scanLine(static_cast<int>(rng() % 61)) + 3 * (rng() % 97);
            p[2] = static_cast<std::uint8_t>(rng()), p[1] = static_cast<std::uint8_t>(rng() % 40), p[0] = 0;
        }
        SCOPED_TRACE(testing::Message()
                     << "step " << step << ": " << width << " wide at " << left << "," << top);
        Bitmap24 frame(width, 49);
        for (int y = 0; y < 49; ++y)
            std::memcpy(frame.scanLine(y), desktop.scanLine(top + y) + 3 * left, 3 * width);
        ASSERT_TRUE(StageMatches(ColourStage::HighLevel, frame, left, top));
    }
}

TEST_F(ColourCache, APlaceRepaintedUnderTheLensEdgeCountsAsItIsNow) {
    // Non-reds but for two pairs of reds, a bright and a dark one: both halves
    // of the desktop have the same red span, so moving from one to the other
    // keeps level 2's change while the lens's edge passes over the dark red
    // of the left half, repainted. Back on the left, only the bright red is
    // left and nothing is rescaled.
    Bitmap24 desktop(64, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = desktop.scanLine(y) + 3 * x;
            p[0] = 200, p[1] = static_cast<std::uint8_t>(150 + x % 7), p[2] = 50;
        }
    auto paint = [&desktop](int x, int y, std::uint8_t red) {
        std::uint8_t* p = desktop.scanLine(y) + 3 * x;
        p[0] = 5, p[1] = 5, p[2] = red;
    };
    paint(2, 2, 240), paint(40, 8, 240), paint(20, 5, 60), paint(45, 9, 60);
    const struct { int left, width; } steps[] = {{0, 64}, {0, 32}, {20, 32}, {0, 32}};
    for (const auto& step : steps) {
        if (step.left == 20) // a non-red where the left half's dark red was
            std::memcpy(desktop.scanLine(5) + 3 * 20, desktop.scanLine(5) + 3 * 21, 3);
        SCOPED_TRACE(testing::Message() << step.width << " wide at " << step.left);
        Bitmap24 frame(step.width, 16);
        for (int y = 0; y < 16; ++y)
            std::memcpy(frame.scanLine(y), desktop.scanLine(y) + 3 * step.left, 3 * step.width);
        ASSERT_TRUE(StageMatches(ColourStage::HighLevel, frame, step.left, 0));
    }
}
