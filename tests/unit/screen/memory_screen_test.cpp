#include "platform/Screen.h"

#include <gtest/gtest.h>

using platform::Bitmap24;
using platform::MemoryScreen;

namespace {

// Every screen pixel different from its neighbours, so an off-by-one shows.
QImage pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 11) & 255, (x + y) & 255));
    return image;
}

void fill(Bitmap24& bmp, std::uint8_t value) {
    for (int y = 0; y < bmp.height(); ++y)
        std::fill(bmp.scanLine(y), bmp.scanLine(y) + 3 * bmp.width(), value);
}

} // namespace

TEST(MemoryScreen, CopiesOnScreenPixelsAndLeavesTheRestUntouched) {
    const QImage picture = pattern(64, 48);
    MemoryScreen screen(picture);
    ASSERT_EQ(screen.width(), 64);
    ASSERT_EQ(screen.height(), 48);
    struct Case {
        TRect source;
        int dstX, dstY;
    };
    const Case cases[] = {
        {{10, 10, 30, 30}, 0, 0},   // inside
        {{-7, 5, 13, 25}, 0, 0},    // past the left edge
        {{5, -9, 25, 11}, 0, 0},    // past the top
        {{50, 20, 70, 40}, 0, 0},   // past the right edge
        {{20, 40, 40, 60}, 0, 0},   // past the bottom
        {{-10, -10, 74, 58}, 0, 0}, // larger than the screen, every side
        {{44, 28, 64, 48}, 0, 0},   // ends exactly at the right and bottom edges
        {{70, 10, 90, 30}, 0, 0},   // wholly off the screen
        {{10, 10, 30, 30}, 6, -4},  // destination offset, clipped by the bitmap
    };
    for (const Case& c : cases) {
        Bitmap24 dst(20, 20);
        if (c.source.width() > 20)
            dst.setSize(c.source.width(), c.source.height());
        fill(dst, 0xAB);
        ASSERT_TRUE(screen.copyTo(c.source, dst, c.dstX, c.dstY));
        for (int y = 0; y < dst.height(); ++y)
            for (int x = 0; x < dst.width(); ++x) {
                const int sx = c.source.Left + x - c.dstX, sy = c.source.Top + y - c.dstY;
                const bool inSquare = x - c.dstX >= 0 && x - c.dstX < c.source.width() && y - c.dstY >= 0 &&
                                      y - c.dstY < c.source.height();
                const bool onScreen = sx >= 0 && sx < 64 && sy >= 0 && sy < 48;
                const std::uint8_t* p = dst.scanLine(y) + 3 * x;
                if (inSquare && onScreen) {
                    const QRgb want = picture.pixel(sx, sy);
                    ASSERT_EQ(p[0], qBlue(want)) << x << "," << y;
                    ASSERT_EQ(p[1], qGreen(want));
                    ASSERT_EQ(p[2], qRed(want));
                } else {
                    ASSERT_EQ(p[0], 0xAB) << x << "," << y << " source left " << c.source.Left;
                    ASSERT_EQ(p[1], 0xAB);
                    ASSERT_EQ(p[2], 0xAB);
                }
            }
    }
    EXPECT_EQ(screen.captureCount(), static_cast<int>(std::size(cases)));
}

TEST(MemoryScreen, FailingSwitchWritesNothingButCounts) {
    MemoryScreen screen(pattern(16, 16));
    Bitmap24 dst(8, 8);
    fill(dst, 0x55);
    screen.setFailing(true);
    EXPECT_FALSE(screen.copyTo(TRect{0, 0, 8, 8}, dst, 0, 0));
    EXPECT_EQ(dst.scanLine(3)[9], 0x55);
    screen.setFailing(false);
    EXPECT_TRUE(screen.copyTo(TRect{0, 0, 8, 8}, dst, 0, 0));
    EXPECT_EQ(screen.captureCount(), 2);
}

TEST(MemoryScreen, CursorAndPictureCanBeReplaced) {
    MemoryScreen screen(pattern(16, 16));
    TPoint pos{9, 9};
    ASSERT_TRUE(screen.cursorPos(pos));
    EXPECT_EQ(pos.x, 0);
    screen.setCursor(TPoint{-3, 700});
    ASSERT_TRUE(screen.cursorPos(pos));
    EXPECT_EQ(pos.x, -3);
    EXPECT_EQ(pos.y, 700);

    // A picture in another format is taken as its colours.
    QImage red(30, 20, QImage::Format_RGB888);
    red.fill(QColor(255, 0, 0));
    screen.setPicture(red);
    EXPECT_EQ(screen.width(), 30);
    Bitmap24 dst(1, 1);
    ASSERT_TRUE(screen.copyTo(TRect{29, 19, 30, 20}, dst, 0, 0));
    EXPECT_EQ(dst.scanLine(0)[2], 255);
    EXPECT_EQ(dst.scanLine(0)[0], 0);
}

TEST(CurrentScreen, InstalledScreenIsUsedAndHandedBack) {
    auto memory = std::make_unique<MemoryScreen>(pattern(8, 8));
    MemoryScreen* raw = memory.get();
    std::unique_ptr<platform::Screen> previous = platform::setCurrentScreen(std::move(memory));
    EXPECT_EQ(&platform::currentScreen(), raw);
    std::unique_ptr<platform::Screen> back = platform::setCurrentScreen(std::move(previous));
    EXPECT_EQ(back.get(), raw);
}
