#include "platform/Canvas.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using platform::Bitmap24;
using platform::BrushStyle;
using platform::Canvas;
using platform::TColor;

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// Reads a target pixel whatever its format, independently of the canvas code.
Rgb at(const QImage& image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return {qRed(p), qGreen(p), qBlue(p)};
}

Rgb bitmapAt(const Bitmap24& bmp, int x, int y) {
    const std::uint8_t* p = bmp.scanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

const Rgb sentinel{1, 2, 3};

QImage filledTarget(int w, int h, QImage::Format format) {
    QImage image(w, h, format);
    image.fill(QColor(sentinel.r, sentinel.g, sentinel.b));
    return image;
}

Bitmap24 noiseBitmap(int w, int h, std::mt19937& rng) {
    Bitmap24 bmp(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
            bmp.scanLine(y)[x] = static_cast<std::uint8_t>(rng());
    return bmp;
}

TColor colour(int r, int g, int b) {
    return r + 256 * g + 65536 * b;
}

const QImage::Format targetFormats[] = {QImage::Format_RGB32, QImage::Format_BGR888,
                                        QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888};

} // namespace

TEST(CanvasStretch, EveryPixelFollowsTheIntegerFormulaAndClipping) {
    std::mt19937 rng(12345);
    for (QImage::Format format : targetFormats) {
        for (int trial = 0; trial < 60; ++trial) {
            const int sw = 1 + static_cast<int>(rng() % 40), sh = 1 + static_cast<int>(rng() % 40);
            const Bitmap24 src = noiseBitmap(sw, sh, rng);
            // Every fourth trial doubles exactly, as the lens does at zoom 2.
            const int dw = trial % 4 == 0 ? 2 * sw : 1 + static_cast<int>(rng() % 170);
            const int dh = 1 + static_cast<int>(rng() % 150);
            const int left = static_cast<int>(rng() % 60) - 30, top = static_cast<int>(rng() % 60) - 30;
            QImage target = filledTarget(130, 110, format);
            Canvas canvas(&target);
            canvas.StretchDraw(TRect{left, top, left + dw, top + dh}, src);
            SCOPED_TRACE(testing::Message() << "format " << format << " src " << sw << "x" << sh << " dst "
                                            << left << "," << top << " " << dw << "x" << dh);
            for (int y = 0; y < target.height(); ++y)
                for (int x = 0; x < target.width(); ++x) {
                    const int k = x - left, j = y - top;
                    const Rgb want = (k >= 0 && k < dw && j >= 0 && j < dh)
                                         ? bitmapAt(src, k * sw / dw, j * sh / dh)
                                         : sentinel;
                    ASSERT_EQ(at(target, x, y), want) << "at " << x << "," << y;
                }
        }
    }
}

TEST(CanvasStretch, EmptyOrInvertedDestinationDrawsNothing) {
    std::mt19937 rng(7);
    const Bitmap24 src = noiseBitmap(5, 5, rng);
    for (const TRect& dst : {TRect{10, 10, 10, 20}, TRect{10, 10, 5, 20}, TRect{0, 0, 20, -3}}) {
        QImage target = filledTarget(30, 30, QImage::Format_RGB32);
        Canvas(&target).StretchDraw(dst, src);
        EXPECT_EQ(target, filledTarget(30, 30, QImage::Format_RGB32));
    }
}

TEST(CanvasCopyRect, CopiesSameSizeRectanglesClippedToBothPictures) {
    std::mt19937 rng(99);
    const Bitmap24 src = noiseBitmap(20, 16, rng);
    struct Case {
        TRect dst, srcRect;
    };
    const Case cases[] = {
        {{3, 4, 13, 12}, {2, 1, 12, 9}},     // wholly inside
        {{-5, -3, 10, 9}, {0, 0, 15, 12}},   // destination sticks out top-left
        {{20, 18, 40, 30}, {0, 0, 20, 12}},  // destination sticks out bottom-right
        {{0, 0, 20, 16}, {-6, -4, 14, 12}},  // source sticks out top-left
        {{2, 2, 22, 18}, {10, 8, 30, 24}},   // source sticks out bottom-right
        {{-4, 20, 11, 28}, {12, -2, 27, 6}}, // both, at once
        {{0, 0, 10, 10}, {0, 0, 6, 4}},      // different sizes: the smaller is copied
        {{40, 40, 50, 50}, {0, 0, 10, 10}},  // wholly off the target
    };
    for (QImage::Format format : targetFormats) {
        for (const Case& c : cases) {
            QImage target = filledTarget(32, 24, format);
            Canvas(&target).CopyRect(c.dst, src, c.srcRect);
            const int w = std::min(c.dst.width(), c.srcRect.width());
            const int h = std::min(c.dst.height(), c.srcRect.height());
            for (int y = 0; y < target.height(); ++y)
                for (int x = 0; x < target.width(); ++x) {
                    const int i = x - c.dst.Left, j = y - c.dst.Top;
                    const int sx = c.srcRect.Left + i, sy = c.srcRect.Top + j;
                    const bool copied =
                        i >= 0 && i < w && j >= 0 && j < h && sx >= 0 && sx < 20 && sy >= 0 && sy < 16;
                    ASSERT_EQ(at(target, x, y), copied ? bitmapAt(src, sx, sy) : sentinel)
                        << "format " << format << " at " << x << "," << y << " dst.Left " << c.dst.Left;
                }
        }
    }
}

TEST(CanvasCopyRect, CopyWithinTheSameBitmapReadsTheOriginalPixels) {
    std::mt19937 rng(3);
    Bitmap24 bmp = noiseBitmap(12, 12, rng);
    Bitmap24 original;
    original.assign(bmp);
    Canvas(&bmp.image()).CopyRect(TRect{2, 2, 12, 12}, bmp, TRect{0, 0, 10, 10});
    for (int y = 2; y < 12; ++y)
        for (int x = 2; x < 12; ++x)
            ASSERT_EQ(bitmapAt(bmp, x, y), bitmapAt(original, x - 2, y - 2));
}

namespace {

std::vector<std::pair<int, int>> penPixels(const QImage& image) {
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (at(image, x, y) == Rgb{0, 0, 0})
                out.emplace_back(x, y);
    return out;
}

} // namespace

TEST(CanvasLine, EndPointIsNotDrawnAndBecomesTheCurrentPosition) {
    using Pixels = std::vector<std::pair<int, int>>;
    struct Case {
        int x0, y0, x1, y1;
        Pixels want;
    };
    const Case cases[] = {
        {2, 5, 7, 5, {{2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}}},
        {7, 5, 2, 5, {{3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}}},
        {4, 1, 4, 4, {{4, 1}, {4, 2}, {4, 3}}},
        {4, 4, 4, 1, {{4, 2}, {4, 3}, {4, 4}}},
        {1, 1, 4, 4, {{1, 1}, {2, 2}, {3, 3}}},
        {3, 3, 3, 3, {}},
        {-2, 0, 2, 0, {{0, 0}, {1, 0}}}, // clipped at the picture's edge
    };
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_BGR888}) {
        for (const Case& c : cases) {
            QImage target = filledTarget(10, 8, format);
            target.fill(Qt::white);
            Canvas canvas(&target);
            canvas.MoveTo(c.x0, c.y0);
            canvas.LineTo(c.x1, c.y1);
            EXPECT_EQ(penPixels(target), c.want) << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1;
        }
    }
}

TEST(CanvasLine, AWidePenPutsASquareOnEveryPointOfARowOrColumn) {
    const int lines[][4] = {{1, 3, 7, 3}, {7, 3, 1, 3}, {4, 0, 4, 6}, {4, 7, 4, 1}, {0, 0, 9, 0}};
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_BGR888})
        for (int w = 2; w <= 4; ++w)
            for (const auto& l : lines) {
                QImage target = filledTarget(10, 8, format), want = filledTarget(10, 8, format);
                target.fill(Qt::white);
                want.fill(Qt::white);
                Canvas canvas(&target);
                canvas.PenWidth = w;
                canvas.MoveTo(l[0], l[1]);
                canvas.LineTo(l[2], l[3]);
                const int n = std::max(std::abs(l[2] - l[0]), std::abs(l[3] - l[1]));
                for (int k = 0; k < n; ++k) // the points before the end, a square on each
                    for (int j = 0; j < w; ++j)
                        for (int i = 0; i < w; ++i) {
                            const int px = l[0] + k * (l[2] - l[0]) / n - (w - 1) / 2 + i;
                            const int py = l[1] + k * (l[3] - l[1]) / n - (w - 1) / 2 + j;
                            if (px >= 0 && px < 10 && py >= 0 && py < 8)
                                want.setPixel(px, py, qRgb(0, 0, 0));
                        }
                EXPECT_EQ(penPixels(target), penPixels(want))
                    << "pen " << w << " from " << l[0] << "," << l[1];
            }
}

TEST(CanvasLine, PolylineJoinsWithoutGapsOrDoubleEnds) {
    QImage target = filledTarget(10, 10, QImage::Format_RGB32);
    target.fill(Qt::white);
    Canvas canvas(&target);
    canvas.MoveTo(1, 1);
    canvas.LineTo(4, 1);
    canvas.LineTo(4, 3);
    const std::vector<std::pair<int, int>> want{{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}};
    EXPECT_EQ(penPixels(target), want);
}

TEST(CanvasLine, PenColourIsTheRedGreenBlueValue) {
    QImage target = filledTarget(4, 1, QImage::Format_BGR888);
    Canvas canvas(&target);
    canvas.PenColor = colour(0, 0, 128);
    canvas.MoveTo(0, 0);
    canvas.LineTo(4, 0);
    EXPECT_EQ(at(target, 3, 0), (Rgb{0, 0, 128}));
}

TEST(CanvasEllipse, OnePixelOutlineAroundASolidFillInsideTheBox) {
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_BGR888}) {
        for (const TRect box : {TRect{3, 4, 44, 31}, TRect{0, 0, 204, 204}, TRect{5, 5, 56, 56}}) {
            QImage target = filledTarget(box.Right + 3, box.Bottom + 3, format);
            Canvas canvas(&target);
            canvas.PenColor = 0;
            canvas.BrushColor = colour(255, 255, 255);
            canvas.Ellipse(box.Left, box.Top, box.Right, box.Bottom);
            const Rgb black{0, 0, 0}, white{255, 255, 255};
            const int cy = (box.Top + box.Bottom) / 2, cx = (box.Left + box.Right) / 2;
            // The curve touches all four sides of the box and no pixel outside it.
            EXPECT_EQ(at(target, box.Left, cy), black);
            EXPECT_EQ(at(target, box.Right - 1, cy), black);
            EXPECT_EQ(at(target, cx, box.Top), black);
            EXPECT_EQ(at(target, cx, box.Bottom - 1), black);
            EXPECT_EQ(at(target, box.Left + 1, cy), white);
            EXPECT_EQ(at(target, cx, cy), white);
            EXPECT_EQ(at(target, box.Left, box.Top), sentinel); // corners are outside the curve
            for (int y = 0; y < target.height(); ++y)
                for (int x = 0; x < target.width(); ++x) {
                    const bool inBox = x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom;
                    if (!inBox) {
                        ASSERT_EQ(at(target, x, y), sentinel) << x << "," << y;
                    }
                    // Mirror symmetry about both axes of the box.
                    const int mx = box.Left + box.Right - 1 - x, my = box.Top + box.Bottom - 1 - y;
                    if (inBox) {
                        ASSERT_EQ(at(target, x, y), at(target, mx, my)) << x << "," << y;
                    }
                    // Every white pixel is enclosed: its four neighbours are white or black.
                    if (at(target, x, y) == white) {
                        for (auto [nx, ny] : {std::pair{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}}) {
                            ASSERT_NE(at(target, nx, ny), sentinel) << x << "," << y;
                        }
                    }
                }
        }
    }
}

TEST(CanvasEllipse, ClearBrushKeepsTheInsideAndAWidePenIsCentredOnTheCurve) {
    QImage target = filledTarget(120, 120, QImage::Format_RGB32);
    Canvas canvas(&target);
    canvas.PenColor = colour(0, 0, 128);
    canvas.PenWidth = 8;
    canvas.Brush = BrushStyle::Clear;
    canvas.Ellipse(10, 10, 111, 111);
    const Rgb navy{0, 0, 128};
    const int row = 60; // the box's middle row
    // 8 pen pixels either side, straddling the box's edges (10 and 110 are its outermost columns).
    for (int x = 0; x < 120; ++x) {
        const bool pen = (x >= 6 && x <= 13) || (x >= 107 && x <= 114);
        ASSERT_EQ(at(target, x, row), pen ? navy : sentinel) << x;
    }
}

// A canvas keeps the last ellipse's spans: one drawing ellipse after ellipse
// (moved across, moved down, another size, clipped by a lower target, a
// wider pen) draws each as a fresh canvas would.
TEST(CanvasEllipse, EachOfASeriesIsDrawnAsByAFreshCanvas) {
    const struct {
        TRect box;
        int pen, targetHeight;
    } series[] = {{{7, 7, 90, 70}, 8, 100}, {{7, 7, 90, 70}, 8, 100}, {{12, 7, 95, 70}, 8, 100},
                  {{7, 9, 90, 72}, 8, 100}, {{7, 7, 60, 50}, 8, 100}, {{7, 7, 90, 70}, 8, 40},
                  {{7, 7, 90, 70}, 8, 100}, {{7, 7, 90, 70}, 1, 100}};
    Canvas canvas; // given each target in turn
    for (const auto& e : series) {
        SCOPED_TRACE(testing::Message() << "box " << e.box.Left << "," << e.box.Top << " pen " << e.pen
                                        << " height " << e.targetHeight);
        QImage drawn = filledTarget(100, e.targetHeight, QImage::Format_RGB32);
        QImage fresh = drawn.copy();
        for (auto [image, c] :
             {std::pair{&drawn, &canvas}, std::pair{&fresh, static_cast<Canvas*>(nullptr)}}) {
            Canvas own(image);
            Canvas& use = c ? *c : own;
            use.setTarget(image);
            use.PenColor = colour(0, 0, 128);
            use.PenWidth = e.pen;
            use.Brush = BrushStyle::Clear;
            use.Ellipse(e.box.Left, e.box.Top, e.box.Right, e.box.Bottom);
        }
        EXPECT_EQ(drawn, fresh);
    }
}

TEST(CanvasEllipse, EmptyBoxDrawsNothingAndReversedBoxIsNormalised) {
    QImage a = filledTarget(20, 20, QImage::Format_RGB32), b = a;
    Canvas(&a).Ellipse(5, 5, 5, 15);
    EXPECT_EQ(a, filledTarget(20, 20, QImage::Format_RGB32));
    Canvas(&a).Ellipse(2, 3, 17, 16);
    Canvas(&b).Ellipse(17, 16, 2, 3);
    EXPECT_EQ(a, b);
}
