// The lens picture painted one to one from a 24-bit bitmap: every width's
// tail of fewer than four pixels, and pictures clipped on either side.
#include "PixelCompare.h"
#include "platform/Canvas.h"

#include <QImage>

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
