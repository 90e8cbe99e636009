// The integer smoothing against SmoothEnlargeInto: random pictures at every
// zoom the lens uses and at odd ones, displays that are and are not multiples
// of the zoom, and bitmaps smaller than the display.
#include "PixelCompare.h"
#include "lens/SmoothEnlarge.h"
#include "lens/SmoothEnlargeFast.h"
#include "platform/CaptureRows.h"
#include "platform/PixelRows.h"

#include <cstring>
#include <memory>

using platform::Bitmap24;

namespace {

// Unwritten margins must keep their content: both start from the same marks.
Bitmap24 marked(int w, int h) {
    Bitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            b.scanLine(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
    return b;
}

::testing::AssertionResult Matches(SmoothEnlarger& fast, const Bitmap24& capture, int zoom, int displayWidth,
                                   int displayHeight, int smoothWidth, int smoothHeight) {
    Bitmap24 expected = marked(smoothWidth, smoothHeight);
    Bitmap24 actual = marked(smoothWidth, smoothHeight);
    SmoothEnlargeInto(capture, zoom, displayWidth, displayHeight, expected);
    fast.enlarge(capture, zoom, displayWidth, displayHeight, actual);
    if (!SamePixels(expected, actual))
        return SamePixels(expected, actual);
    if (smoothWidth != displayWidth || smoothHeight != displayHeight)
        return ::testing::AssertionSuccess();
    // Painted into the lens from a capture still in its words, the smooth
    // bitmap works its bytes out when it is read: from the capture as it
    // was, even once the capture has changed.
    const std::vector<std::uint8_t> words = WordsOf(capture);
    Bitmap24 source = capture, painted = marked(smoothWidth, smoothHeight);
    source.deferWordRows(words.data(), 4 * static_cast<std::size_t>(capture.width()),
                         std::make_shared<std::uint64_t>(0), platform::BgrxRowToBgr);
    QImage lens(displayWidth, displayHeight, QImage::Format_RGB32);
    if (!fast.enlargeAndPaint(source, zoom, displayWidth, displayHeight, painted, lens))
        return ::testing::AssertionFailure() << "not painted";
    if (!SamePixels(capture, source))
        return SamePixels(capture, source) << " (the capture's words)";
    for (int y = 0; y < source.height(); ++y)
        std::memset(source.scanLine(y), 0x5A, 3 * static_cast<std::size_t>(source.width()));
    for (int y = 0; y < displayHeight; ++y)
        for (int x = 0; x < displayWidth; ++x)
            if (lens.pixel(x, y) != platform::Rgb32Of(expected.scanLine(y) + 3 * x))
                return ::testing::AssertionFailure() << "lens pixel " << x << "," << y;
    return SamePixels(expected, painted);
}

} // namespace

TEST(SmoothEnlargeFast, EveryLensZoomOnRandomPictures) {
    SmoothEnlarger fast;
    for (int zoom : {2, 4, 6, 8, 12})
        for (int display : {409, 410, 97}) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << ", display " << display);
            const int side = display / zoom;
            for (std::uint32_t seed = 1; seed <= 3; ++seed) {
                const Bitmap24 capture = RandomPicture(side + static_cast<int>(seed % 2), side, seed);
                ASSERT_TRUE(Matches(fast, capture, zoom, display, display, display, display));
            }
        }
}

TEST(SmoothEnlargeFast, TakesTheIntegerPathsTheLensNeeds) {
    SmoothEnlarger fast;
    const Bitmap24 capture = RandomPicture(34, 34, 9);
    const struct {
        int zoom;
        SmoothEnlarger::Path path;
    } table[] = {{1, SmoothEnlarger::Path::Shift},     {2, SmoothEnlarger::Path::Shift},
                 {4, SmoothEnlarger::Path::Shift},     {8, SmoothEnlarger::Path::Shift},
                 {16, SmoothEnlarger::Path::Shift},    {3, SmoothEnlarger::Path::Wide},
                 {6, SmoothEnlarger::Path::Wide},      {12, SmoothEnlarger::Path::Wide},
                 {17, SmoothEnlarger::Path::Reference}};
    for (const auto& row : table) {
        ASSERT_TRUE(
            Matches(fast, capture, row.zoom, 34 * row.zoom, 34 * row.zoom, 34 * row.zoom, 34 * row.zoom))
            << "zoom " << row.zoom;
        EXPECT_EQ(fast.lastPath(), row.path) << "zoom " << row.zoom;
    }
}

TEST(SmoothEnlargeFast, OddZoomsSizesAndSmallBitmaps) {
    SmoothEnlarger fast;
    for (int zoom : {1, 2, 3, 5, 7, 9, 10, 11, 13, 16, 20})
        for (std::uint32_t seed = 20; seed < 22; ++seed) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << ", seed " << seed);
            const Bitmap24 capture = RandomPicture(23 + static_cast<int>(seed % 3), 19, seed);
            ASSERT_TRUE(
                Matches(fast, capture, zoom, 23 * zoom + 5, 19 * zoom + 3, 23 * zoom + 5, 19 * zoom + 3));
            // The display larger than the smooth bitmap, and smaller than the grid.
            ASSERT_TRUE(Matches(fast, capture, zoom, 23 * zoom + 5, 19 * zoom + 3, 11 * zoom, 7 * zoom + 1));
            ASSERT_TRUE(Matches(fast, capture, zoom, 5, 4, 60, 60));
        }
    // One row, one column, a single pixel, nothing.
    for (int zoom : {2, 6})
        for (const auto& size : {std::pair{1, 9}, std::pair{9, 1}, std::pair{1, 1}}) {
            const Bitmap24 capture = RandomPicture(size.first, size.second, 3);
            ASSERT_TRUE(Matches(fast, capture, zoom, 40, 40, 40, 40));
        }
    ASSERT_TRUE(Matches(fast, Bitmap24(), 2, 40, 40, 40, 40));
    ASSERT_TRUE(Matches(fast, RandomPicture(5, 5, 1), 0, 40, 40, 40, 40));
}

// Lens pictures painted into three smooth bitmaps in turn: each still works
// out its own capture's smoothing when read after the others.
TEST(SmoothEnlargeFast, PendingBitmapsKeepTheirOwnSource) {
    SmoothEnlarger fast;
    Bitmap24 expected[3], smooth[3];
    for (int i = 0; i < 3; ++i) {
        const Bitmap24 capture = RandomPicture(30, 30, 40 + static_cast<std::uint32_t>(i));
        expected[i] = marked(60, 60);
        SmoothEnlargeInto(capture, 2, 60, 60, expected[i]);
        smooth[i] = marked(60, 60);
        QImage lens(60, 60, QImage::Format_RGB32);
        ASSERT_TRUE(fast.enlargeAndPaint(capture, 2, 60, 60, smooth[i], lens));
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(SamePixels(expected[i], smooth[i])) << "bitmap " << i;
}
