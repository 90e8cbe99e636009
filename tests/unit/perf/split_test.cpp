// The per-pixel stages split over two threads against the plain definitions:
// every colour stage, every zoom of the smoothing (and the lens painted in
// its pass), the plane copy, each in one piece and split; and the split
// itself: every row once, errors from either part, no split inside a split.
#include "PixelCompare.h"
#include "lens/ColourStage.h"
#include "lens/PlaneCopy.h"
#include "lens/SmoothEnlarge.h"
#include "lens/SmoothEnlargeFast.h"
#include "platform/Canvas.h"
#include "platform/CaptureRows.h"
#include "platform/RowSplit.h"
#include "vision/ColourCache.h"
#include "vision/ColourVision.h"

#include <QImage>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <vector>

using platform::Bitmap24;

namespace {

const RowSplitMode kModes[] = {RowSplitMode::Never, RowSplitMode::Always};

const char* nameOf(RowSplitMode mode) {
    return mode == RowSplitMode::Never ? "one piece" : "split";
}

// Sets a split mode for a scope and restores Auto.
struct SplitMode {
    explicit SplitMode(RowSplitMode mode) { SetRowSplitMode(mode); }
    ~SplitMode() { SetRowSplitMode(RowSplitMode::Auto); }
};

Bitmap24 copyOf(const Bitmap24& b) {
    Bitmap24 c;
    c.assign(b);
    return c;
}

Bitmap24 marked(int w, int h) {
    Bitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            b.scanLine(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
    return b;
}

} // namespace

TEST(RowSplit, EveryRowOnceInTheHalvesOfEachMode) {
    for (RowSplitMode mode : {RowSplitMode::Never, RowSplitMode::Always, RowSplitMode::Auto})
        for (int rows : {0, 1, 2, 3, 7, 1000}) {
            SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(mode) << ", rows " << rows);
            SplitMode scope(mode);
            std::vector<int> seen(static_cast<std::size_t>(rows), 0);
            std::vector<int> partOf(static_cast<std::size_t>(rows), -1);
            SplitRows(rows, 10, [&](int part, int begin, int end) {
                for (int r = begin; r < end; ++r) {
                    ++seen[r];
                    partOf[r] = part;
                }
            });
            for (int r = 0; r < rows; ++r) {
                ASSERT_EQ(seen[r], 1) << "row " << r;
                // Split: the first half on part 0, the rest on part 1. Auto
                // finds ten pixels too little to split.
                const bool split = mode == RowSplitMode::Always && rows >= 2;
                ASSERT_EQ(partOf[r], split && r >= rows / 2 ? 1 : 0) << "row " << r;
            }
        }
}

TEST(RowSplit, AnErrorInEitherPartReachesTheCallerAfterBoth) {
    SplitMode scope(RowSplitMode::Always);
    for (int failing : {0, 1}) {
        std::atomic<int> finished{0};
        EXPECT_THROW(SplitRows(8, 10,
                               [&](int part, int, int) {
                                   if (part == failing)
                                       throw std::runtime_error("part failed");
                                   ++finished;
                               }),
                     std::runtime_error)
            << "part " << failing;
        EXPECT_EQ(finished.load(), 1) << "the other part ran to its end";
    }
    // The helper is still there for the next split.
    std::atomic<int> rows{0};
    SplitRows(8, 10, [&](int, int begin, int end) { rows += end - begin; });
    EXPECT_EQ(rows.load(), 8);
}

TEST(RowSplit, ASplitInsideAPartRunsInOnePiece) {
    SplitMode scope(RowSplitMode::Always);
    std::atomic<int> inner{0}, innerParts{0};
    SplitRows(4, 10, [&](int, int, int) {
        SplitRows(6, 10, [&](int part, int begin, int end) {
            inner += end - begin;
            innerParts |= 1 << part;
        });
    });
    EXPECT_EQ(inner.load(), 12);
    // The helper is busy with the outer split, so the inner one that meets it
    // runs alone on its caller; the other may or may not find it free.
    EXPECT_NE(innerParts.load() & 1, 0);
}

namespace {

class SplitColourStages : public ::testing::Test {
protected:
    void SetUp() override {
        BuildLensHueCurve();
        ResetColourCaches();
    }
    void TearDown() override {
        ResetColourCaches();
        SetRowSplitMode(RowSplitMode::Auto);
    }

    // Both the frame and HsiResultBitmap as the plane functions leave them.
    static ::testing::AssertionResult StageMatches(ColourStage stage, const Bitmap24& source) {
        Bitmap24 expected = copyOf(source), actual = copyOf(source);
        int r = 0, g = 0, b = 0;
        ApplyColourStageReference(stage, expected, r, g, b);
        const Bitmap24 expectedResult = copyOf(*HsiResultBitmap);
        ApplyColourStage(stage, actual, r, g, b);
        ::testing::AssertionResult same = SamePixels(expected, actual);
        if (!same)
            return same;
        return SamePixels(expectedResult, *HsiResultBitmap);
    }
};

// The top half red, the bottom half other hues: each part of a split sees
// one group only, so the frame's statistics exist only once both are merged.
Bitmap24 redAbove(std::uint32_t seed, int redLevel) {
    Bitmap24 b = RandomPicture(64, 90, seed, 300);
    std::mt19937 rng(seed);
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = b.scanLine(y) + 3 * x;
            p[2] = static_cast<std::uint8_t>(redLevel + static_cast<int>(rng() % 40));
            p[1] = static_cast<std::uint8_t>(rng() % 30);
            p[0] = static_cast<std::uint8_t>(rng() % 30);
        }
    return b;
}

} // namespace

TEST_F(SplitColourStages, EveryStageMatchesInOnePieceAndSplit) {
    for (RowSplitMode mode : kModes)
        for (ColourStage stage :
             {ColourStage::SimulateRedGreen, ColourStage::LowLevel, ColourStage::HighLevel}) {
            SCOPED_TRACE(testing::Message() << nameOf(mode) << ", stage " << static_cast<int>(stage));
            ResetColourCaches();
            SetRowSplitMode(mode);
            for (std::uint32_t seed = 1; seed <= 3; ++seed)
                for (int colours : {0, 50}) {
                    // Cold, then warm; odd heights give the halves unequal rows.
                    const Bitmap24 source = RandomPicture(97, 61 + static_cast<int>(seed), seed, colours);
                    ASSERT_TRUE(StageMatches(stage, source));
                    ASSERT_TRUE(StageMatches(stage, source));
                }
            ASSERT_TRUE(StageMatches(stage, RandomPicture(5, 1, 9))); // one row: nothing to split
        }
}

TEST_F(SplitColourStages, ColoursNewToBothPartsAreKeptOnce) {
    // One small palette over the whole frame: both parts meet every colour
    // for the first time in the same frame.
    SetRowSplitMode(RowSplitMode::Always);
    const Bitmap24 source = RandomPicture(80, 80, 4, 12);
    for (ColourStage stage : {ColourStage::SimulateRedGreen, ColourStage::LowLevel, ColourStage::HighLevel})
        ASSERT_TRUE(StageMatches(stage, source)) << "stage " << static_cast<int>(stage);
    const ColourCacheUsage usage = ColourCacheUsageNow();
    EXPECT_LE(usage.simulationColours, 12u);
    EXPECT_LE(usage.lowLevelColours, 12u);
    EXPECT_LE(usage.highLevelColours, 12u);
}

TEST_F(SplitColourStages, HighLevelStatisticsOfTheWholeFrameFromEachHalf) {
    for (RowSplitMode mode : kModes) {
        SetRowSplitMode(mode);
        // Frames whose colours repeat but whose statistics change, and back:
        // words kept from an earlier frame must follow the frame's change.
        for (int redLevel : {60, 150, 60, 200, 150})
            for (std::uint32_t seed = 30; seed < 32; ++seed) {
                SCOPED_TRACE(testing::Message()
                             << nameOf(mode) << ", red level " << redLevel << ", seed " << seed);
                ASSERT_TRUE(StageMatches(ColourStage::HighLevel, redAbove(seed, redLevel)));
                Bitmap24 flipped = redAbove(seed, redLevel);
                // Reds outnumbered: the other rescaling.
                for (int y = 0; y < 20; ++y)
                    std::memcpy(flipped.scanLine(y), flipped.scanLine(89 - y), 3 * 64);
                ASSERT_TRUE(StageMatches(ColourStage::HighLevel, flipped));
            }
    }
}

namespace {

// Smoothing and then StretchDraw of the whole lens, the plain way.
struct Painted {
    Bitmap24 smooth;
    QImage lens;
};

Painted referencePainting(const Bitmap24& capture, int zoom, int display) {
    Painted p{marked(display, display), QImage(display, display, QImage::Format_RGB32)};
    p.lens.fill(0xFF102030u);
    SmoothEnlargeInto(capture, zoom, display, display, p.smooth);
    platform::Canvas canvas(&p.lens);
    canvas.StretchDraw(TRect{0, 0, display, display}, p.smooth);
    return p;
}

} // namespace

TEST(SplitSmoothing, EveryZoomAndThePaintedLensMatchInOnePieceAndSplit) {
    SmoothEnlarger fast;
    for (RowSplitMode mode : kModes)
        for (int zoom : {1, 2, 3, 4, 6, 8, 12, 16, 17})
            for (int display : {96, 101}) {
                SCOPED_TRACE(testing::Message()
                             << nameOf(mode) << ", zoom " << zoom << ", display " << display);
                SplitMode scope(mode);
                const int side = std::max(1, display / zoom);
                const Bitmap24 capture =
                    RandomPicture(side + 1, side, static_cast<std::uint32_t>(zoom + display));
                const Painted expected = referencePainting(capture, zoom, display);

                Bitmap24 smooth = marked(display, display);
                fast.enlarge(capture, zoom, display, display, smooth);
                ASSERT_TRUE(SamePixels(expected.smooth, smooth));
                // A capture still in its words: whichever part reads first converts it.
                const std::vector<std::uint8_t> words = WordsOf(capture);
                Bitmap24 deferred(capture.width(), capture.height());
                deferred.deferWordRows(words.data(), 4 * capture.width(), std::make_shared<std::uint64_t>(0),
                                       platform::BgrxRowToBgr);
                smooth = marked(display, display);
                fast.enlarge(deferred, zoom, display, display, smooth);
                ASSERT_TRUE(SamePixels(expected.smooth, smooth));

                Painted actual{marked(display, display), QImage(display, display, QImage::Format_RGB32)};
                actual.lens.fill(0xFF102030u);
                ASSERT_TRUE(
                    fast.enlargeAndPaint(capture, zoom, display, display, actual.smooth, actual.lens));
                ASSERT_TRUE(SamePixels(expected.smooth, actual.smooth));
                ASSERT_EQ(actual.lens, expected.lens);
            }
}

TEST(SplitSmoothing, PaintsOnlyWhatAOneToOneStretchWouldPaint) {
    SmoothEnlarger fast;
    const Bitmap24 capture = RandomPicture(30, 30, 5);
    const struct {
        int display, smoothSide, lensSide;
        QImage::Format format;
        bool paints;
    } table[] = {
        {60, 60, 60, QImage::Format_RGB32, true},   {60, 60, 60, QImage::Format_ARGB32_Premultiplied, true},
        {60, 60, 61, QImage::Format_RGB32, false},  // the lens larger than the display
        {60, 59, 60, QImage::Format_RGB32, false},  // a smooth bitmap smaller than the display
        {60, 60, 60, QImage::Format_RGB888, false}, // not a 32-bit picture
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "lens " << row.lensSide << ", smooth " << row.smoothSide);
        Bitmap24 expectedSmooth = marked(row.smoothSide, row.smoothSide),
                 smooth = marked(row.smoothSide, row.smoothSide);
        SmoothEnlargeInto(capture, 2, row.display, row.display, expectedSmooth);
        QImage lens(row.lensSide, row.lensSide, row.format);
        lens.fill(Qt::darkCyan);
        const QImage before = lens.copy();
        EXPECT_EQ(fast.enlargeAndPaint(capture, 2, row.display, row.display, smooth, lens), row.paints);
        EXPECT_TRUE(SamePixels(expectedSmooth, smooth));
        if (!row.paints)
            EXPECT_EQ(lens, before);
    }
    // Nothing to smooth: the lens still shows what the smooth bitmap holds.
    Bitmap24 smooth = marked(40, 40);
    QImage lens(40, 40, QImage::Format_RGB32);
    ASSERT_TRUE(fast.enlargeAndPaint(Bitmap24(), 2, 40, 40, smooth, lens));
    EXPECT_EQ(lens, referencePainting(Bitmap24(), 2, 40).lens);
}

TEST(SplitPlaneCopy, SameBytesInOnePieceAndSplit) {
    const Bitmap24 picture = RandomPicture(37, 29, 11);
    for (int stride : {37, 40, 20}) { // 20: rows overlap, the later one wins
        std::vector<std::uint8_t> expected[3], actual[3];
        for (RowSplitMode mode : kModes) {
            SplitMode scope(mode);
            auto& planes = mode == RowSplitMode::Never ? expected : actual;
            for (auto& plane : planes)
                plane.assign(static_cast<std::size_t>(stride) * 29 + 37, 0xEE);
            CopyToPlanes(picture, stride, planes[0].data(), planes[1].data(), planes[2].data());
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(expected[c], actual[c]) << "stride " << stride << ", plane " << c;
    }
    // Every width's tail after the sixteen-pixel groups, byte by byte.
    for (int width = 1; width <= 40; ++width) {
        const Bitmap24 row = RandomPicture(width, 2, static_cast<std::uint32_t>(width));
        std::vector<std::uint8_t> r(2 * width), g(r.size()), b(r.size());
        CopyToPlanes(row, width, r.data(), g.data(), b.data());
        for (int i = 0; i < 2 * width; ++i) {
            const std::uint8_t* p = row.scanLine(i / width) + 3 * (i % width);
            ASSERT_TRUE(r[i] == p[2] && g[i] == p[1] && b[i] == p[0]) << "width " << width << ", pixel " << i;
        }
    }
    // The plain definition at the overlapping stride: row 1 over row 0's tail.
    std::vector<std::uint8_t> red(20 * 29 + 37), green(red.size()), blue(red.size());
    CopyToPlanes(picture, 20, red.data(), green.data(), blue.data());
    EXPECT_EQ(red[20], picture.scanLine(1)[2]);
}
