// The lens picture painted one to one from a 24-bit bitmap: every width's
// tail of fewer than four pixels, and pictures clipped on either side.
#include "PixelCompare.h"
#include "platform/Canvas.h"
#include "platform/CaptureRows.h"
#include "platform/PixelRows.h"

#include <QImage>
#include <cstring>
#include <memory>
#include <vector>

using platform::Bitmap24;

TEST(StretchDrawOneToOne, EveryPixelLandsWhereItWas) {
    for (int width = 1; width <= 9; ++width)
        for (int left : {0, -3, 2}) {
            const Bitmap24 source = RandomPicture(width, 3, static_cast<std::uint32_t>(width));
            QImage target(8, 4, QImage::Format_RGB32);
            target.fill(0xFF123456u);
            platform::Canvas canvas(&target);
            canvas.StretchDraw(TRect{left, 1, left + width, 4}, source);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 8; ++x) {
                    const int sx = x - left, sy = y - 1;
                    QRgb want = 0xFF123456u;
                    if (sx >= 0 && sx < width && sy >= 0) {
                        const std::uint8_t* p = source.scanLine(sy) + 3 * sx;
                        want = qRgb(p[2], p[1], p[0]);
                    }
                    ASSERT_EQ(target.pixel(x, y), want)
                        << "width " << width << " left " << left << " at " << x << ", " << y;
                }
        }
}

// A capture that read the bitmap from 32-bit words (their fourth byte is
// anything) leaves them to be drawn from: only while they still hold its pixels.
TEST(StretchDrawFromWords, TakesTheWordsOnlyWhileTheyHoldThePixels) {
    enum Case { Fresh, BitmapChanged, WordsWrittenAgain, NotYetConverted };
    for (int zoom : {2, 3})
        for (Case c : {Fresh, BitmapChanged, WordsWrittenAgain, NotYetConverted}) {
            // 15 columns drawn: eight words a step, then four, then one.
            constexpr int w = 16;
            const Bitmap24 original = RandomPicture(w, 5, static_cast<std::uint32_t>(zoom));
            Bitmap24 source = original;
            std::vector<std::uint32_t> words(w * 5);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < w; ++x)
                    words[w * y + x] =
                        (platform::Rgb32Of(source.scanLine(y) + 3 * x) & 0xFFFFFFu) | 0x5A000000u;
            auto generation = std::make_shared<std::uint64_t>(1);
            const auto* first = reinterpret_cast<const std::uint8_t*>(words.data());
            if (c == NotYetConverted) {
                source = Bitmap24(w, 5);
                source.deferWordRows(first, 4 * w, generation, platform::BgrxRowToBgr);
            } else {
                source.setWordRows(first, 4 * w, generation);
            }
            const qint64 key = source.key();
            if (c == BitmapChanged)
                source.scanLine(2)[4] ^= 0xFF;
            if (c == WordsWrittenAgain) {
                words[w * 3 + 2] ^= 0xFFu;
                ++*generation;
            }
            // Starting left of the target, so that the first source column is not 0.
            const TRect dst{-zoom, 1, (w - 1) * zoom, 1 + 5 * zoom};
            QImage fromWords((w - 1) * zoom, 1 + 5 * zoom, QImage::Format_RGB32);
            fromWords.fill(0xFF123456u);
            QImage want = fromWords.copy();
            platform::Canvas(&fromWords).StretchDraw(dst, source);
            Bitmap24 reference; // an assigned copy has no words
            reference.assign(source);
            if (c == NotYetConverted) {
                // Converted once something read the pixels, and not a write.
                ASSERT_TRUE(SamePixels(source, original));
                ASSERT_EQ(source.key(), key);
            }
            platform::Canvas(&want).StretchDraw(dst, reference);
            // Byte for byte: an RGB32 picture's fourth byte must be 0xFF too.
            ASSERT_EQ(std::memcmp(fromWords.constBits(), want.constBits(), want.sizeInBytes()), 0)
                << "zoom " << zoom << " case " << c;
        }
}

// Every count through each step width (eight, four, one): each word twice, opaque.
TEST(DoubleWords, EachWordTwiceAndOpaque) {
    std::vector<std::uint32_t> in(21);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = 0x01020304u * static_cast<std::uint32_t>(i + 1) ^ 0x5A000000u;
    for (std::size_t count = 0; count <= in.size(); ++count) {
        std::vector<std::uint32_t> out(2 * in.size() + 1, 0x12345678u);
        platform::DoubleWords(in.data(), out.data(), count);
        for (std::size_t i = 0; i < count; ++i)
            ASSERT_TRUE(out[2 * i] == (in[i] | 0xFF000000u) && out[2 * i + 1] == out[2 * i])
                << "count " << count << " word " << i;
        ASSERT_EQ(out[2 * count], 0x12345678u) << "count " << count;
    }
}
