#include "platform/Bitmap24.h"

#include <gtest/gtest.h>

#include <cstring>

using platform::Bitmap24;

namespace {

bool allBytes(const Bitmap24& b, std::uint8_t value) {
    for (int y = 0; y < b.height(); ++y) {
        const std::uint8_t* row = b.scanLine(y);
        for (int x = 0; x < 3 * b.width(); ++x) {
            if (row[x] != value)
                return false;
        }
    }
    return true;
}

void fill(Bitmap24& b, std::uint8_t value) {
    for (int y = 0; y < b.height(); ++y)
        std::memset(b.scanLine(y), value, 3 * static_cast<std::size_t>(b.width()));
}

} // namespace

TEST(Bitmap24, NewBitmapIsBlackWithBgrRows) {
    Bitmap24 b(5, 3);
    EXPECT_EQ(b.width(), 5);
    EXPECT_EQ(b.height(), 3);
    EXPECT_GE(b.bytesPerLine(), 15u);
    EXPECT_TRUE(allBytes(b, 0));
    // Byte 3x+2 of a row is red: QImage must read it so.
    b.scanLine(1)[3 * 2 + 2] = 200;
    EXPECT_EQ(qRed(b.image().pixel(2, 1)), 200);
    EXPECT_EQ(qBlue(b.image().pixel(2, 1)), 0);
}

TEST(Bitmap24, WidthBeforeHeightThenBlack) {
    Bitmap24 b;
    EXPECT_TRUE(b.isEmpty());
    b.setWidth(7);
    EXPECT_EQ(b.width(), 7);
    EXPECT_TRUE(b.isEmpty());
    b.setHeight(4);
    EXPECT_EQ(b.height(), 4);
    EXPECT_FALSE(b.isEmpty());
    EXPECT_TRUE(allBytes(b, 0));
}

TEST(Bitmap24, SameSizeKeepsContentResizeClearsIt) {
    Bitmap24 b(6, 6);
    fill(b, 0x5A);
    b.setSize(6, 6);
    b.setWidth(6);
    b.setHeight(6);
    EXPECT_TRUE(allBytes(b, 0x5A));
    b.setHeight(5);
    EXPECT_EQ(b.height(), 5);
    EXPECT_TRUE(allBytes(b, 0));
}

TEST(Bitmap24, AssignCopiesSizeAndPixelsIndependently) {
    Bitmap24 source(4, 2);
    fill(source, 0x11);
    Bitmap24 sameSize(4, 2);
    Bitmap24 otherSize(9, 9);
    sameSize.assign(source);
    otherSize.assign(source);
    for (Bitmap24* copy : {&sameSize, &otherSize}) {
        EXPECT_EQ(copy->width(), 4);
        EXPECT_EQ(copy->height(), 2);
        EXPECT_TRUE(allBytes(*copy, 0x11));
        copy->scanLine(0)[0] = 0x22;
    }
    EXPECT_TRUE(allBytes(source, 0x11));

    Bitmap24 empty;
    otherSize.assign(empty);
    EXPECT_TRUE(otherSize.isEmpty());
}
