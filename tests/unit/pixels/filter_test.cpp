#include "tools/FilterCore.h"
#include "vision/ColourVision.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <array>

using filter::ColourMode;
using filter::FilterOptions;
using filter::parseArguments;

namespace {

QByteArray encode(const QImage& image, const char* format = "PNG") {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage solid(int w, int h, QRgb colour, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    image.fill(colour);
    return image;
}

std::array<int, 3> rgbAt(const platform::Bitmap24& b, int x, int y) {
    const std::uint8_t* p = b.scanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

} // namespace

TEST(FilterArguments, ValuesBySpaceOrEqualsAnywhere) {
    const auto p = parseArguments({"in.png", "--colour=low", "out.png", "--smooth", "4", "--probe"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.colour, ColourMode::Low);
    EXPECT_EQ(p.options.smoothZoom, 4);
    EXPECT_TRUE(p.options.probe);
    EXPECT_EQ(p.options.input, "in.png");
    EXPECT_EQ(p.options.output, "out.png");

    const auto q = parseArguments({"--squint", "30", "--", "--odd-name.png", "-"});
    ASSERT_TRUE(q.ok) << q.error;
    EXPECT_EQ(q.options.squintPosition, 30);
    EXPECT_EQ(q.options.input, "--odd-name.png");
    EXPECT_EQ(q.options.output, "-");
    EXPECT_FALSE(q.options.probe);
}

TEST(FilterArguments, Refusals) {
    const std::vector<std::vector<std::string>> bad = {
        {"--colour", "purple", "a", "b"},
        {"--colour"},
        {"--bogus", "a", "b"},
        {"-x", "a", "b"},
        {"--squint", "31", "a", "b"},
        {"--squint=-1", "a", "b"},
        {"--squint", "1x", "a", "b"},
        {"--smooth", "3", "a", "b"},
        {"--smooth=", "a", "b"},
        {"--smooth", "4", "--squint", "16", "a", "b"},
        {"a"},
        {},
        {"a", "b", "c"},
        {"--probe=yes", "a"},
    };
    for (const auto& args : bad) {
        const auto p = parseArguments(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_FALSE(p.ok) << joined;
        EXPECT_FALSE(p.error.empty()) << joined;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << joined;
    }
    EXPECT_TRUE(parseArguments({"--smooth", "12", "--squint", "15", "a", "b"}).ok);
    EXPECT_TRUE(parseArguments({"--probe", "a"}).ok);
}

TEST(FilterImage, ColourModesMatchTheLensReferenceColours) {
    const struct {
        ColourMode mode;
        QRgb in;
        std::array<int, 3> out;
    } table[] = {
        {ColourMode::None, qRgb(255, 0, 0), {255, 0, 0}},
        {ColourMode::Simulate, qRgb(255, 0, 0), {125, 99, 30}},
        {ColourMode::Low, qRgb(255, 0, 0), {67, 0, 187}},
        {ColourMode::High, qRgb(255, 0, 0), {254, 0, 0}},
        {ColourMode::Severe, qRgb(200, 100, 50), {244, 20, 205}},
    };
    for (const auto& row : table) {
        FilterOptions o;
        o.colour = row.mode;
        const auto r = filter::filterImage(encode(solid(3, 2, row.in)), o);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.image.width(), 3);
        EXPECT_EQ(rgbAt(r.image, 2, 1), row.out) << static_cast<int>(row.mode);
    }
}

TEST(FilterImage, AlphaIsDroppedNotComposited) {
    FilterOptions o;
    const auto r = filter::filterImage(encode(solid(2, 2, qRgba(10, 200, 30, 0), QImage::Format_ARGB32)), o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(rgbAt(r.image, 1, 1), (std::array<int, 3>{10, 200, 30}));
}

TEST(FilterImage, ProbeReadsTheCentreBeforeTheColourStage) {
    QImage image = solid(5, 3, qRgb(0, 0, 0));
    image.setPixel(2, 1, qRgb(255, 128, 0));
    FilterOptions o;
    o.probe = true;
    o.colour = ColourMode::Simulate;
    const auto r = filter::filterImage(encode(image), o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.probeText, "$000080FF\nR = 255\nG = 128\nB = 0\n");
}

TEST(FilterImage, SmoothSizeAndSquintIdentity) {
    QImage image = solid(4, 3, qRgb(0, 0, 0));
    image.setPixel(1, 0, qRgb(255, 255, 255));
    FilterOptions smooth;
    smooth.smoothZoom = 4;
    const auto s = filter::filterImage(encode(image), smooth);
    ASSERT_TRUE(s.ok) << s.error;
    EXPECT_EQ(s.image.width(), 13);
    EXPECT_EQ(s.image.height(), 9);
    EXPECT_EQ(rgbAt(s.image, 2, 0), (std::array<int, 3>{127, 127, 127}));

    FilterOptions squint;
    squint.squintPosition = 15;
    const auto same = filter::filterImage(encode(image), squint);
    ASSERT_TRUE(same.ok);
    EXPECT_EQ(rgbAt(same.image, 1, 0), (std::array<int, 3>{255, 255, 255}));
    squint.squintPosition = 0;
    const auto turned = filter::filterImage(encode(solid(40, 40, qRgb(9, 9, 9))), squint);
    ASSERT_TRUE(turned.ok);
    // Rotated by −15°: a corner falls outside the square and turns black.
    EXPECT_EQ(rgbAt(turned.image, 39, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(rgbAt(turned.image, 20, 20), (std::array<int, 3>{9, 9, 9}));
}

TEST(FilterImage, RefusesEmptyGarbageAndHugeResults) {
    FilterOptions o;
    EXPECT_FALSE(filter::filterImage(QByteArray(), o).ok);
    const auto garbage = filter::filterImage(QByteArray("definitely not an image"), o);
    EXPECT_FALSE(garbage.ok);
    EXPECT_FALSE(garbage.error.empty());
    // 1000 × 1000 at zoom 12 would be about 144 million pixels.
    o.smoothZoom = 12;
    const auto huge = filter::filterImage(encode(solid(1000, 1000, qRgb(1, 2, 3))), o);
    EXPECT_FALSE(huge.ok);
    EXPECT_NE(huge.error.find("100 million"), std::string::npos);
}
