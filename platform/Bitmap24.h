// A 24-bit bitmap: rows of B,G,R bytes reached by row index, row 0 at the top.
// Held in a QImage of Format_BGR888, whose rows are exactly that layout.
#pragma once

#include <QImage>
#include <cstdint>

namespace platform {

class Bitmap24 {
public:
    Bitmap24() = default;
    Bitmap24(int width, int height);

    // Width and height are kept apart from the image, so that a bitmap can be
    // given its width before its height (a QImage with one side 0 is null).
    int width() const { return m_width; }
    int height() const { return m_height; }
    bool isEmpty() const { return m_width <= 0 || m_height <= 0; }

    // A new or resized bitmap is black; setting the size it already has keeps
    // its content. setWidth and setHeight each count as a resize of their own.
    void setWidth(int width);
    void setHeight(int height);
    void setSize(int width, int height);

    // Row access; 3·x is blue, 3·x+1 green, 3·x+2 red.
    std::uint8_t* scanLine(int row) { return m_image.scanLine(row); }
    const std::uint8_t* scanLine(int row) const { return m_image.constScanLine(row); }
    std::size_t bytesPerLine() const { return static_cast<std::size_t>(m_image.bytesPerLine()); }

    // Becomes a copy of `other`: size, pixel format and pixels.
    void assign(const Bitmap24& other);

    QImage& image() { return m_image; }
    const QImage& image() const { return m_image; }

private:
    QImage m_image;
    int m_width = 0;
    int m_height = 0;
};

} // namespace platform
