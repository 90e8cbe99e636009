#include "lens/FrameGeometry.h"
#include "lens/PlaneCopy.h"
#include "lens/ProbeText.h"
#include "lens/SevereCorrection.h"
#include "lens/SquintRotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using platform::Bitmap24;

TEST(FrameGeometry, ZoomFromTrackBar) {
    const int positions[][2] = {{1, 2}, {2, 4}, {3, 6}, {4, 8}, {5, 12}, {0, 12}, {6, 12}, {-1, 12}};
    for (const auto& p : positions)
        EXPECT_EQ(ZoomFromTrackBar(p[0]), p[1]) << p[0];
}

TEST(FrameGeometry, Display409Table) {
    const struct {
        int zoom;
        float halfSpan;
        int sourceWidth, captured;
    } table[] = {{2, 102, 204, 204}, {4, 51, 102, 102}, {6, 34, 68, 68}, {8, 25, 51, 50}, {12, 17, 34, 34}};
    for (const auto& row : table) {
        const FrameGeometry g = ComputeFrameGeometry(409, 409, row.zoom, 500, 300);
        EXPECT_EQ(g.HalfSpanX, row.halfSpan) << row.zoom;
        EXPECT_EQ(g.HalfSpanY, row.halfSpan) << row.zoom;
        EXPECT_EQ(g.SourceWidth, row.sourceWidth) << row.zoom;
        EXPECT_EQ(g.SourceHeight, row.sourceWidth) << row.zoom;
        EXPECT_EQ(g.CaptureRect, (TRect{0, 0, row.captured, row.captured})) << row.zoom;
        const int h = static_cast<int>(row.halfSpan);
        EXPECT_EQ(g.SourceRect, (TRect{500 - h, 300 - h, 500 + h, 300 + h})) << row.zoom;
    }
}

TEST(FrameGeometry, OffscreenTests) {
    const FrameGeometry corner = ComputeFrameGeometry(409, 409, 2, 0, 0);
    EXPECT_EQ(corner.SourceRect, (TRect{-102, -102, 102, 102}));
    const OffscreenEdges e = TestOffscreen(corner.SourceRect, 1024, 768);
    EXPECT_TRUE(e.left);
    EXPECT_TRUE(e.top);
    EXPECT_FALSE(e.right);
    EXPECT_FALSE(e.bottom);
    EXPECT_EQ(e.count(), 2);

    // Ending exactly at the right or bottom edge is still on screen.
    const TRect flush{1024 - 204, 768 - 204, 1024, 768};
    EXPECT_EQ(TestOffscreen(flush, 1024, 768).count(), 0);
    const OffscreenEdges past = TestOffscreen(TRect{821, 565, 1025, 769}, 1024, 768);
    EXPECT_TRUE(past.right);
    EXPECT_TRUE(past.bottom);
    EXPECT_EQ(past.count(), 2);
}

TEST(ProbeText, SixteenNamesAndHexForTheRest) {
    const struct {
        int r, g, b;
        const char* text;
    } table[] = {
        {0, 0, 0, "clBlack"},       {128, 0, 0, "clMaroon"},      {0, 128, 0, "clGreen"},
        {128, 128, 0, "clOlive"},   {0, 0, 128, "clNavy"},        {128, 0, 128, "clPurple"},
        {0, 128, 128, "clTeal"},    {128, 128, 128, "clGray"},    {192, 192, 192, "clSilver"},
        {255, 0, 0, "clRed"},       {0, 255, 0, "clLime"},        {255, 255, 0, "clYellow"},
        {0, 0, 255, "clBlue"},      {255, 0, 255, "clFuchsia"},   {0, 255, 255, "clAqua"},
        {255, 255, 255, "clWhite"}, {255, 128, 0, "$000080FF"},   {1, 0, 0, "$00000001"},
        {0, 0, 1, "$00010000"},     {171, 205, 239, "$00EFCDAB"},
    };
    for (const auto& row : table)
        EXPECT_EQ(ColourToIdent(ColourValue(row.r, row.g, row.b)), row.text);
    EXPECT_EQ(ProbeCaption("R = ", 255), "R = 255");
    EXPECT_EQ(ProbeCaption("G = ", 0), "G = 0");
    EXPECT_EQ(ProbeCaption("B = ", 7), "B = 7");
}

TEST(SevereCorrect, MatchesTheWholeNumberFormOverEveryColour) {
    // 4096 × 4096 pixels hold every colour once.
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
    int pr = -1, pg = -1, pb = -1;
    SevereCorrect(b, 4096, 4096, pr, pg, pb);
    int mismatches = 0;
    for (int y = 0; y < 4096 && mismatches < 10; ++y) {
        const std::uint8_t* row = b.scanLine(y);
        for (int x = 0; x < 4096; ++x) {
            const int v = y * 4096 + x;
            int B = v & 255, G = (v >> 8) & 255, R = v >> 16;
            if (B < R && B < G) {
                if (R > G + 10) {
                    R = 204 + R / 5;
                    G = G / 5;
                } else {
                    G = 204 + G / 5;
                    R = R / 5;
                }
                B = 255 - B;
            }
            if (row[3 * x] != B || row[3 * x + 1] != G || row[3 * x + 2] != R) {
                ADD_FAILURE() << "colour " << (v >> 16) << "," << ((v >> 8) & 255) << "," << (v & 255);
                ++mismatches;
            }
        }
    }
    // The last pixel is white, left as it is.
    EXPECT_EQ(pr, 255);
    EXPECT_EQ(pg, 255);
    EXPECT_EQ(pb, 255);
}

TEST(SevereCorrect, OnlyTheGivenAreaAndTheLastPixelsWorkingValues) {
    Bitmap24 b(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            std::uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = 50, p[1] = 100, p[2] = 200;
        }
    }
    int pr = 0, pg = 0, pb = 0;
    SevereCorrect(b, 2, 1, pr, pg, pb);
    EXPECT_EQ(pr, 244);
    EXPECT_EQ(pg, 20);
    EXPECT_EQ(pb, 205);
    EXPECT_EQ(b.scanLine(0)[3 * 1 + 2], 244);
    EXPECT_EQ(b.scanLine(0)[3 * 2 + 2], 200); // column 2 outside
    EXPECT_EQ(b.scanLine(1)[2], 200);         // row 1 outside
}

TEST(CopyToPlanes, IndexesBySourceWidth) {
    Bitmap24 b(2, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            std::uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(10 * y + x);       // blue
            p[1] = static_cast<std::uint8_t>(100 + 10 * y + x); // green
            p[2] = static_cast<std::uint8_t>(200 + 10 * y + x); // red
        }
    }
    std::vector<std::uint8_t> red(10, 0xEE), green(10, 0xEE), blue(10, 0xEE);
    CopyToPlanes(b, 5, red.data(), green.data(), blue.data());
    const int indexes[4][3] = {{0, 0, 0}, {1, 0, 1}, {0, 1, 5}, {1, 1, 6}};
    for (const auto& i : indexes) {
        EXPECT_EQ(red[i[2]], 200 + 10 * i[1] + i[0]);
        EXPECT_EQ(green[i[2]], 100 + 10 * i[1] + i[0]);
        EXPECT_EQ(blue[i[2]], 10 * i[1] + i[0]);
    }
    EXPECT_EQ(red[2], 0xEE);
    EXPECT_EQ(red[7], 0xEE);
}

TEST(ComputeSquint, AngleHalvesAndCentre) {
    const float twoPi = 6.283185f;
    const SquintValues centred = ComputeSquint(15, twoPi, 409, 409, 2);
    EXPECT_EQ(centred.SquintPosition, 15);
    EXPECT_EQ(centred.SquintAngle, 0.0f);
    EXPECT_EQ(centred.SquintHalfWidth, 102);
    EXPECT_EQ(centred.SquintCentreX, 0.0f);
    EXPECT_EQ(centred.SquintCentreY, 0.0f);

    const SquintValues five = ComputeSquint(20, twoPi, 409, 300, 4);
    EXPECT_NEAR(five.SquintAngle, 0.0873, 1e-4);
    EXPECT_EQ(five.SquintHalfWidth, 51);
    EXPECT_EQ(five.SquintHalfHeight, 37);
    EXPECT_NEAR(ComputeSquint(0, twoPi, 409, 409, 2).SquintAngle, -15 * M_PI / 180, 1e-6);

    // Before the first frame the zoom factor is still 0.
    const SquintValues early = ComputeSquint(30, twoPi, 409, 409, 0);
    EXPECT_EQ(early.SquintHalfWidth, 0);
    EXPECT_EQ(early.SquintHalfHeight, 0);
    EXPECT_EQ(early.SquintCentreX, 0.0f);
    EXPECT_EQ(early.SquintCentreY, 0.0f);
}

namespace {

struct Planes {
    int width, height;
    std::vector<std::uint8_t> red, green, blue;
    // Red holds the column and green the row of each pixel.
    Planes(int w, int h) : width(w), height(h), red(w * h), green(w * h), blue(w * h, 9) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                red[y * w + x] = static_cast<std::uint8_t>(x);
                green[y * w + x] = static_cast<std::uint8_t>(y);
            }
        }
    }
};

} // namespace

TEST(RotateSquint, HalfPixelEdgesTestBeforeTruncating) {
    Planes planes(6, 3);
    Bitmap24 b(6, 3);
    float rx = 0, ry = 0;
    int pr = 0, pg = 0, pb = 0;
    // Angle 0, centre (0.5, 0): RotatedX = x − 0.5, so column 0 sees −0.5.
    RotateSquint(b, 6, 3, planes.red.data(), planes.green.data(), planes.blue.data(), 0.0f, 0.5f, 0.0f, rx,
                 ry, pr, pg, pb);
    for (int y = 0; y < 3; ++y) {
        const std::uint8_t* row = b.scanLine(y);
        EXPECT_EQ(row[0] + row[1] + row[2], 0) << "row " << y;
        for (int x = 1; x < 6; ++x) {
            EXPECT_EQ(row[3 * x + 2], x - 1);
            EXPECT_EQ(row[3 * x + 1], y);
            EXPECT_EQ(row[3 * x], 9);
        }
    }
    EXPECT_EQ(rx, 4.5f);
    EXPECT_EQ(ry, 2.0f);
    // Centre (−0.5, 0): the last column sees SourceWidth − 0.5 and takes column 5.
    RotateSquint(b, 6, 3, planes.red.data(), planes.green.data(), planes.blue.data(), 0.0f, -0.5f, 0.0f, rx,
                 ry, pr, pg, pb);
    EXPECT_EQ(rx, 5.5f);
    EXPECT_EQ(b.scanLine(2)[3 * 5 + 2], 5);
    EXPECT_EQ(pr, 5);
    EXPECT_EQ(pg, 2);
    EXPECT_EQ(pb, 9);
}

TEST(RotateSquint, TheSliderCentreKeepsAQuarterPointInPlace) {
    // Half sizes 100 × 100: the fixed point is (50, 50), not the middle.
    const SquintValues s = ComputeSquint(30, 6.283185f, 400, 400, 2);
    ASSERT_EQ(s.SquintHalfWidth, 100);
    Planes planes(200, 200);
    Bitmap24 b(200, 200);
    float rx, ry;
    int pr, pg, pb;
    RotateSquint(b, 200, 200, planes.red.data(), planes.green.data(), planes.blue.data(), s.SquintAngle,
                 s.SquintCentreX, s.SquintCentreY, rx, ry, pr, pg, pb);
    const std::uint8_t* fixed = b.scanLine(50) + 3 * 50;
    EXPECT_NEAR(fixed[2], 50, 1);
    EXPECT_NEAR(fixed[1], 50, 1);
    // Far from it the picture moves: 15° about (50, 50) shifts (150, 150) by tens of pixels.
    const std::uint8_t* far = b.scanLine(150) + 3 * 150;
    EXPECT_GT(std::abs(far[2] - 150) + std::abs(far[1] - 150), 20);
}
