#include "lens/SmoothEnlarge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using platform::Bitmap24;

namespace {

constexpr std::uint8_t Marker = 0x5A;

Bitmap24 marked(int w, int h) {
    Bitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        std::memset(b.scanLine(y), Marker, 3 * static_cast<std::size_t>(w));
    return b;
}

void setGrey(Bitmap24& b, int x, int y, std::uint8_t v) {
    std::uint8_t* p = b.scanLine(y) + 3 * x;
    p[0] = p[1] = p[2] = v;
}

} // namespace

TEST(SmoothEnlarge, BlackToWhiteAtZoom2And4) {
    const struct {
        int zoom;
        std::vector<int> expected;
    } table[] = {{2, {0, 127, 255}}, {4, {0, 63, 127, 191, 255}}};
    for (const auto& row : table) {
        Bitmap24 capture(2, 1);
        setGrey(capture, 1, 0, 255);
        Bitmap24 smooth = marked(3 * row.zoom, 2);
        SmoothEnlargeInto(capture, row.zoom, 3 * row.zoom, 2, smooth);
        for (std::size_t k = 0; k < row.expected.size(); ++k) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(smooth.scanLine(0)[3 * k + c], row.expected[k])
                    << "zoom " << row.zoom << " column " << k;
        }
        // Past the last grid column and below the only row: untouched.
        EXPECT_EQ(smooth.scanLine(0)[3 * row.expected.size()], Marker);
        EXPECT_EQ(smooth.scanLine(1)[0], Marker);
    }
}

TEST(SmoothEnlarge, UniformSourceUniformAreaAndExactCorner) {
    Bitmap24 capture(5, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            setGrey(capture, x, y, 201);
    setGrey(capture, 4, 3, 17);
    const int zoom = 6;
    Bitmap24 smooth = marked(40, 30);
    SmoothEnlargeInto(capture, zoom, 40, 30, smooth);
    for (int j = 0; j <= zoom * 3; ++j) {
        for (int k = 0; k <= zoom * 4; ++k) {
            const std::uint8_t v = smooth.scanLine(j)[3 * k];
            if (k > zoom * 3 && j > zoom * 2)
                continue; // the cell blending towards the dark corner
            EXPECT_EQ(v, 201) << k << "," << j;
        }
    }
    EXPECT_EQ(smooth.scanLine(zoom * 3)[3 * zoom * 4], 17);
    EXPECT_EQ(smooth.scanLine(zoom * 3)[3 * (zoom * 4 + 1)], Marker);
    EXPECT_EQ(smooth.scanLine(zoom * 3 + 1)[0], Marker);
}

TEST(SmoothEnlarge, Display409WrittenColumns) {
    const int table[][3] = {{2, 204, 406}, {4, 102, 404}, {6, 68, 402}, {8, 51, 400}, {12, 34, 396}};
    for (const auto& row : table) {
        const int zoom = row[0], w = row[1], lastWritten = row[2];
        Bitmap24 capture(w, w);
        for (int y = 0; y < w; ++y)
            for (int x = 0; x < w; ++x)
                setGrey(capture, x, y, 3);
        Bitmap24 smooth = marked(409, 409);
        SmoothEnlargeInto(capture, zoom, 409, 409, smooth);
        for (int i = 0; i < 409; ++i) {
            const std::uint8_t expected = i <= lastWritten ? 3 : Marker;
            ASSERT_EQ(smooth.scanLine(0)[3 * i], expected) << "zoom " << zoom << " column " << i;
            ASSERT_EQ(smooth.scanLine(i)[0], expected) << "zoom " << zoom << " row " << i;
        }
    }
}

TEST(SmoothEnlarge, DisplayLargerThanTheBitmapStaysInside) {
    Bitmap24 capture(10, 10);
    setGrey(capture, 2, 2, 99);
    Bitmap24 smooth = marked(15, 12);
    SmoothEnlargeInto(capture, 2, 409, 409, smooth); // ASan guards the bounds
    EXPECT_EQ(smooth.scanLine(4)[3 * 4], 99);
    EXPECT_EQ(smooth.scanLine(11)[3 * 14], 0);
    Bitmap24 untouched = marked(4, 4);
    SmoothEnlargeInto(capture, 0, 4, 4, untouched);
    EXPECT_EQ(untouched.scanLine(0)[0], Marker);
}

TEST(BilinearSample, WeightsFloorAndClampedEdges) {
    // Exact-size arrays: a read past the last column or row is caught by ASan.
    const std::vector<std::int32_t> s = {0, 100, 200, 40, 140, 255};
    EXPECT_EQ(BilinearSample(s.data(), 3, 2, 0.0f, 0.0f), 0);
    EXPECT_EQ(BilinearSample(s.data(), 3, 2, 0.5f, 0.0f), 50);
    EXPECT_EQ(BilinearSample(s.data(), 3, 2, 0.25f, 0.5f), 45); // 0.75·(0+40)/2 + 0.25·(100+140)/2
    EXPECT_EQ(BilinearSample(s.data(), 3, 2, 2.0f, 0.0f), 200);
    EXPECT_EQ(BilinearSample(s.data(), 3, 2, 2.0f, 1.0f), 255);
    EXPECT_EQ(BilinearSample(s.data(), 3, 2, 1.5f, 1.0f), 197); // 197.5 truncated
    // Truncation, not rounding: 76.5 gives 76.
    const std::vector<std::int32_t> pair = {0, 255};
    EXPECT_EQ(BilinearSample(pair.data(), 2, 1, 0.3f, 0.0f), 76);
    // The sum is rounded to single precision before truncation: at zoom 6,
    // 6·(1 − 1/6) is 4.99999997 in extended precision, 5 in single.
    const std::vector<std::int32_t> six = {6, 0};
    EXPECT_EQ(BilinearSample(six.data(), 2, 1, static_cast<float>(1.0 / 6.0), 0.0f), 5);
}
