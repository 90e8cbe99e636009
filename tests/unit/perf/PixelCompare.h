// Helpers shared by the fast-path tests: pictures to feed them and an exact
// comparison that names the first pixel that differs.
#pragma once

#include "platform/Bitmap24.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

// Every byte of the width × height area, reported at the first difference.
inline ::testing::AssertionResult SamePixels(const platform::Bitmap24& expected,
                                             const platform::Bitmap24& actual) {
    if (expected.width() != actual.width() || expected.height() != actual.height())
        return ::testing::AssertionFailure()
               << "sizes differ: " << expected.width() << "x" << expected.height() << " vs " << actual.width()
               << "x" << actual.height();
    for (int y = 0; y < expected.height(); ++y) {
        const std::uint8_t* e = expected.scanLine(y);
        const std::uint8_t* a = actual.scanLine(y);
        for (int x = 0; x < 3 * expected.width(); ++x)
            if (e[x] != a[x])
                return ::testing::AssertionFailure()
                       << "pixel (" << x / 3 << ", " << y << ") channel " << x % 3 << ": expected "
                       << int(e[x]) << ", got " << int(a[x]);
    }
    return ::testing::AssertionSuccess();
}

// Random pixels drawn from a palette of `colours` random colours (0: every
// pixel its own), so that a frame repeats colours as screens do.
inline platform::Bitmap24 RandomPicture(int width, int height, std::uint32_t seed, int colours = 0) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> palette(static_cast<std::size_t>(colours));
    for (auto& c : palette)
        c = rng() & 0xFFFFFF;
    platform::Bitmap24 b(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colours > 0 ? palette[rng() % palette.size()] : rng();
            row[3 * x] = static_cast<std::uint8_t>(c);
            row[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    return b;
}

// The bitmap's pixels as a screen's 32-bit B,G,R,x words (x = 0x5A), rows of
// 4 · width bytes: what a shared-memory capture leaves.
inline std::vector<std::uint8_t> WordsOf(const platform::Bitmap24& b) {
    std::vector<std::uint8_t> words(4 * static_cast<std::size_t>(b.width()) * b.height(), 0x5A);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            std::copy_n(b.scanLine(y) + 3 * x, 3, &words[4 * (static_cast<std::size_t>(y) * b.width() + x)]);
    return words;
}
