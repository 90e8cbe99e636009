// A 24-bit bitmap: rows of B,G,R bytes reached by row index, row 0 at the top.
// Held in a QImage of Format_BGR888, whose rows are exactly that layout.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>

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

    // A capture that read the whole bitmap from 32-bit B,G,R,x words (a
    // shared-memory segment) says where they lie, so that drawing it enlarged
    // can take the words as they are instead of converting the rows back.
    // They stand for the pixels only while the bitmap is unchanged since and
    // the writer's generation, which it bumps before it writes that memory
    // again or lets it go, is the one they were left at.
    void setWordRows(const std::uint8_t* first, std::size_t stride,
                     std::shared_ptr<const std::uint64_t> generation);
    // The first of those rows, or null when they no longer hold the pixels.
    const std::uint8_t* wordRows(std::size_t& stride) const;

private:
    QImage m_image;
    int m_width = 0;
    int m_height = 0;
    const std::uint8_t* m_words = nullptr;
    std::size_t m_wordStride = 0;
    std::shared_ptr<const std::uint64_t> m_wordGeneration;
    std::uint64_t m_wordGenerationAt = 0;
    qint64 m_wordKey = 0;
};

} // namespace platform
