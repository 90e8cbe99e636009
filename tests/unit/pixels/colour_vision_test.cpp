#include "lens/ColourStage.h"
#include "vision/ColourVision.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

using platform::Bitmap24;

namespace {

using Rgb = std::array<int, 3>;

Bitmap24 onePixel(Rgb c) {
    Bitmap24 b(1, 1);
    std::uint8_t* p = b.scanLine(0);
    p[0] = static_cast<std::uint8_t>(c[2]);
    p[1] = static_cast<std::uint8_t>(c[1]);
    p[2] = static_cast<std::uint8_t>(c[0]);
    return b;
}

Rgb pixelOf(const Bitmap24& b, int x = 0, int y = 0) {
    const std::uint8_t* p = b.scanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

Rgb throughStage(ColourStage stage, Rgb c) {
    BuildLensHueCurve();
    Bitmap24 b = onePixel(c);
    int r = 0, g = 0, bl = 0;
    ApplyColourStage(stage, b, r, g, bl);
    return pixelOf(b);
}

// Planes set directly, one row of pixels given as (I, S, H).
void setPlanes(const std::vector<std::array<float, 3>>& pixels) {
    HsiWidth = static_cast<int>(pixels.size());
    HsiHeight = 1;
    IntensityPlane.clear();
    SaturationPlane.clear();
    HuePlane.clear();
    for (const auto& p : pixels) {
        IntensityPlane.push_back(p[0]);
        SaturationPlane.push_back(p[1]);
        HuePlane.push_back(p[2]);
    }
}

} // namespace

TEST(ConvertToHsi, ReferenceColours) {
    const struct {
        Rgb rgb;
        float I, S, H;
    } table[] = {
        {{255, 0, 0}, 85, 255, 0},     {{0, 255, 0}, 85, 255, 120},   {{0, 0, 255}, 85, 255, 239.33f},
        {{255, 255, 0}, 170, 255, 60}, {{128, 128, 128}, 128, 0, 90}, {{255, 255, 255}, 255, 255, 359},
        {{0, 0, 0}, 0, 0, 0},
    };
    for (const auto& row : table) {
        ConvertToHsi(onePixel(row.rgb));
        ASSERT_EQ(HsiWidth, 1);
        ASSERT_EQ(HsiHeight, 1);
        EXPECT_FLOAT_EQ(IntensityPlane[0], row.I) << row.rgb[0] << "," << row.rgb[1] << "," << row.rgb[2];
        EXPECT_FLOAT_EQ(SaturationPlane[0], row.S) << row.rgb[0] << "," << row.rgb[1] << "," << row.rgb[2];
        EXPECT_NEAR(HuePlane[0], row.H, 0.005) << row.rgb[0] << "," << row.rgb[1] << "," << row.rgb[2];
    }
}

TEST(ConvertToHsi, HueScaleSplitsAtGreenEqualsBlue) {
    // Green ≥ blue: 0..180 by 180/π; blue > green: (2π − θ)·359/2π, so a hue
    // just past cyan starts at 179.5, not 180.
    ConvertToHsi(onePixel({0, 255, 255}));
    EXPECT_NEAR(HuePlane[0], 180.0, 1e-4);
    ConvertToHsi(onePixel({0, 254, 255}));
    EXPECT_GT(HuePlane[0], 179.5f);
    EXPECT_LT(HuePlane[0], 180.0f);
}

TEST(ConvertToHsi, PlanesAreRowMajor) {
    Bitmap24 b(3, 2);
    b.scanLine(1)[3 * 2 + 1] = 255; // green at (2, 1)
    ConvertToHsi(b);
    EXPECT_EQ(HsiWidth, 3);
    EXPECT_EQ(HsiHeight, 2);
    ASSERT_EQ(IntensityPlane.size(), 6u);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(IntensityPlane[k], k == 5 ? 85.0f : 0.0f) << k;
}

TEST(ConvertFromHsi, ReferenceRoundTrips) {
    const struct {
        Rgb in, out;
    } table[] = {
        {{255, 0, 0}, {254, 0, 0}},         {{0, 0, 0}, {0, 0, 0}},     {{255, 255, 255}, {255, 255, 255}},
        {{0, 255, 0}, {0, 253, 1}},         {{0, 0, 255}, {0, 0, 254}}, {{255, 255, 0}, {254, 255, 0}},
        {{128, 128, 128}, {128, 127, 128}},
    };
    for (const auto& row : table) {
        Bitmap24 b = onePixel(row.in);
        ConvertToHsi(b);
        ConvertFromHsi(b);
        ASSERT_NE(HsiResultBitmap, nullptr);
        EXPECT_EQ(pixelOf(*HsiResultBitmap), row.out) << row.in[0] << "," << row.in[1] << "," << row.in[2];
    }
}

TEST(ConvertFromHsi, ResultTakesTheTemplateAndWritesOnlyTheSharedArea) {
    Bitmap24 frame(2, 1);
    frame.scanLine(0)[2] = 255;
    ConvertToHsi(frame);
    Bitmap24 larger(3, 2);
    larger.scanLine(1)[0] = 77;
    ConvertFromHsi(larger);
    EXPECT_EQ(HsiResultBitmap->width(), 3);
    EXPECT_EQ(HsiResultBitmap->height(), 2);
    EXPECT_EQ(pixelOf(*HsiResultBitmap, 0, 0), (Rgb{254, 0, 0}));
    EXPECT_EQ(HsiResultBitmap->scanLine(1)[0], 77);
    FreeHsiResultBitmap();
    EXPECT_EQ(HsiResultBitmap, nullptr);
}

TEST(ColourStages, ReferenceColours) {
    const struct {
        ColourStage stage;
        Rgb in, out;
    } table[] = {
        {ColourStage::LowLevel, {255, 0, 0}, {67, 0, 187}},
        {ColourStage::LowLevel, {0, 255, 0}, {0, 188, 66}},
        {ColourStage::LowLevel, {255, 255, 0}, {254, 255, 0}},
        {ColourStage::SimulateRedGreen, {255, 0, 0}, {125, 99, 30}},
        {ColourStage::SimulateRedGreen, {0, 255, 0}, {145, 107, 1}},
        {ColourStage::Severe, {200, 100, 50}, {244, 20, 205}},
        {ColourStage::Severe, {110, 100, 50}, {22, 224, 205}},
        {ColourStage::Severe, {120, 110, 110}, {120, 110, 110}},
    };
    for (const auto& row : table)
        EXPECT_EQ(throughStage(row.stage, row.in), row.out) << static_cast<int>(row.stage);
}

TEST(ColourStages, WhiteBlackAndGreyKeepTheirLook) {
    for (ColourStage stage : {ColourStage::SimulateRedGreen, ColourStage::LowLevel, ColourStage::HighLevel,
                              ColourStage::Severe}) {
        EXPECT_EQ(throughStage(stage, {255, 255, 255}), (Rgb{255, 255, 255}));
        EXPECT_EQ(throughStage(stage, {0, 0, 0}), (Rgb{0, 0, 0}));
        const Rgb grey = throughStage(stage, {128, 128, 128});
        EXPECT_LE(std::abs(grey[0] - grey[1]), 1);
        EXPECT_LE(std::abs(grey[1] - grey[2]), 1);
        EXPECT_LE(std::abs(grey[0] - 128), 1);
    }
}

TEST(CircleArcValue, ArcsInUse) {
    const struct {
        int points[6];
        float x, y;
    } table[] = {
        {{0, 0, 128, 180, 255, 255}, 0, 0},
        {{0, 0, 128, 180, 255, 255}, 64, 113.4},
        {{0, 0, 128, 180, 255, 255}, 128, 180},
        {{0, 0, 128, 180, 255, 255}, 200, 229.5},
        {{0, 0, 128, 180, 255, 255}, 255, 255},
        {{0, 0, 128, 100, 256, 256}, 0, 0},
        {{0, 0, 128, 100, 256, 256}, 64, 44.9},
        {{0, 0, 128, 100, 256, 256}, 128, 100},
        {{0, 0, 128, 100, 256, 256}, 200, 178.0},
        {{0, 0, 128, 100, 256, 256}, 255, 254.4},
        {{180, 180, 240, 240, 360, 180}, 180, 180},
        {{180, 180, 240, 240, 360, 180}, 240, 240},
        {{180, 180, 240, 240, 360, 180}, 270, 244.9},
        {{180, 180, 240, 240, 360, 180}, 300, 240},
        {{180, 180, 240, 240, 360, 180}, 329.9f, 223.6},
    };
    for (const auto& row : table) {
        const int* p = row.points;
        EXPECT_NEAR(CircleArcValue(row.x, p[0], p[1], p[2], p[3], p[4], p[5]), row.y, 0.05)
            << "(" << p[2] << ", " << p[3] << ") at " << row.x;
    }
}

TEST(SimulatedHue, BumpsArcAndTheJumpAt330) {
    const struct {
        float h, simulated;
    } table[] = {{0, 45},    {90, 45},        {170, 45.9}, {175, 83.7}, {178, 155.5}, {180, 180},
                 {240, 240}, {329.9f, 223.6}, {330, 83.7}, {335, 45.9}, {350, 45}};
    for (const auto& row : table)
        EXPECT_NEAR(SimulatedHue(row.h), row.simulated, 0.05) << row.h;
    EXPECT_NEAR(HueBumps(180), 135.0, 1e-3);
    EXPECT_NEAR(HueBumps(325), 135.0, 1e-3);
}

TEST(SimulateRedGreen, CyanLosesItsSaturationAndIntensityStays) {
    setPlanes({{100, 200, 180}, {100, 200, 330}, {100, 128, 90}});
    SimulateRedGreen();
    EXPECT_NEAR(SaturationPlane[0], 0.0, 1e-3);
    EXPECT_NEAR(HuePlane[0], 180.0, 1e-4);
    // Magenta-red keeps a fifth: 200·0.2 = 40 before the arc.
    EXPECT_NEAR(SaturationPlane[1], CircleArcValue(40.0f, 0, 0, 128, 100, 256, 256), 0.05);
    // Far from both weights (w ≈ 4e-5 at hue 90) the arc alone acts: 128 → about 100.
    EXPECT_NEAR(SaturationPlane[2], 99.995, 1e-3);
    EXPECT_NEAR(HuePlane[2], 45.0, 1e-3);
    for (float i : IntensityPlane)
        EXPECT_EQ(i, 100.0f);
}

TEST(CorrectHues, FoldsOnlyAbove330) {
    BuildLensHueCurve();
    setPlanes({{100, 100, 330}, {100, 100, 331}, {100, 100, 0}, {100, 100, 60}, {100, 100, 120}});
    CorrectHues(HueCurve);
    EXPECT_NEAR(HuePlane[0], 7.5, 1e-3);     // 367.5 wrapped
    EXPECT_NEAR(HuePlane[1], 349.847, 1e-3); // folded to 29, −10.153 wrapped
    EXPECT_NEAR(HuePlane[2], 260.0, 1e-3);
    EXPECT_NEAR(HuePlane[3], 60.0, 1e-3);
    EXPECT_NEAR(HuePlane[4], 140.0, 1e-3);
}

TEST(BoostSaturation, MiddleRisesEndsStay) {
    setPlanes({{100, 0, 0}, {100, 128, 0}, {100, 255, 0}});
    BoostSaturation();
    EXPECT_NEAR(SaturationPlane[0], 0.0, 1e-3);
    EXPECT_NEAR(SaturationPlane[1], 180.0, 1e-3);
    EXPECT_NEAR(SaturationPlane[2], 255.0, 1e-3);
}

TEST(SeparateRedLightness, NothingBetween10And250ChangesNothing) {
    setPlanes({{10, 50, 0}, {250, 50, 0}, {5, 50, 100}, {0, 0, 0}});
    const std::vector<float> before = IntensityPlane;
    SeparateRedLightness();
    EXPECT_EQ(IntensityPlane, before);
}

TEST(SeparateRedLightness, MoreRedsSpreadTheNonRedsExceptHues40And345) {
    setPlanes({{100, 50, 0},
               {110, 50, 10},
               {120, 50, 350},
               {130, 50, 20},
               {140, 50, 30},
               {50, 50, 100},
               {90, 50, 200},
               {70, 50, 40},
               {60, 50, 345},
               {5, 50, 100}});
    SeparateRedLightness();
    const float expected[] = {100, 110, 120, 130, 140, 0, 150, 70, 60, 5};
    for (int k = 0; k < 10; ++k)
        EXPECT_FLOAT_EQ(IntensityPlane[k], expected[k]) << k;
}

TEST(SeparateRedLightness, MoreRedsButFlatNonRedsChangeNothing) {
    setPlanes({{100, 50, 0}, {110, 50, 10}, {120, 50, 350}, {80, 50, 100}, {80, 50, 200}});
    const std::vector<float> before = IntensityPlane;
    SeparateRedLightness();
    EXPECT_EQ(IntensityPlane, before);
}

TEST(SeparateRedLightness, TiedCountsSqueezeTheRedsWithBlends) {
    // Reds from 50 to 150 go to 0..120; t = 0.5 in both blend bands.
    setPlanes({{50, 50, 0},
               {150, 50, 10},
               {100, 50, 37.5f},
               {100, 50, 347.5f},
               {60, 50, 100},
               {70, 50, 120},
               {80, 50, 140},
               {90, 50, 160}});
    SeparateRedLightness();
    EXPECT_FLOAT_EQ(IntensityPlane[0], 0.0f);
    EXPECT_FLOAT_EQ(IntensityPlane[1], 120.0f);
    EXPECT_FLOAT_EQ(IntensityPlane[2], 80.0f); // 0.5·60 + 0.5·100
    EXPECT_FLOAT_EQ(IntensityPlane[3], 80.0f);
    for (int k = 4; k < 8; ++k)
        EXPECT_FLOAT_EQ(IntensityPlane[k], 60.0f + 10.0f * (k - 4));
}
