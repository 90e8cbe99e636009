#include "platform/Bitmap24.h"

#include <cstring>
#include <new>

namespace platform {

namespace {

// A fresh black image, or a null one while either side is still 0. Throws when
// the memory cannot be had, so that a caller's error handling sees it instead
// of a null image whose rows are null pointers.
QImage blackImage(int width, int height) {
    if (width <= 0 || height <= 0)
        return QImage();
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull())
        throw std::bad_alloc();
    image.fill(0);
    return image;
}

} // namespace

Bitmap24::Bitmap24(int width, int height)
    : m_image(blackImage(width, height)), m_width(width > 0 ? width : 0), m_height(height > 0 ? height : 0) {}

void Bitmap24::setWidth(int width) {
    setSize(width, m_height);
}

void Bitmap24::setHeight(int height) {
    setSize(m_width, height);
}

void Bitmap24::setSize(int width, int height) {
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;
    if (width == m_width && height == m_height)
        return;
    m_image = blackImage(width, height);
    m_width = width;
    m_height = height;
}

void Bitmap24::assign(const Bitmap24& other) {
    if (this == &other)
        return;
    if (other.m_width != m_width || other.m_height != m_height || m_image.isNull() != other.m_image.isNull())
        m_image = blackImage(other.m_width, other.m_height);
    m_width = other.m_width;
    m_height = other.m_height;
    if (m_image.isNull())
        return;
    // Row by row into our own buffer: the rows of the two images may be padded
    // differently, and reusing the buffer spares a per-frame allocation.
    const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 3;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(m_image.scanLine(y), other.m_image.constScanLine(y), rowBytes);
}

void Bitmap24::setWordRows(const std::uint8_t* first, std::size_t stride,
                           std::shared_ptr<const std::uint64_t> generation) {
    m_words = first;
    m_wordStride = stride;
    m_wordGenerationAt = generation ? *generation : 0;
    m_wordGeneration = std::move(generation);
    m_wordKey = m_image.cacheKey();
}

const std::uint8_t* Bitmap24::wordRows(std::size_t& stride) const {
    // Every write through scanLine() or a painter detaches the image, which
    // changes its key; a resize or an assign makes a new one.
    if (!m_words || !m_wordGeneration || *m_wordGeneration != m_wordGenerationAt ||
        m_image.cacheKey() != m_wordKey)
        return nullptr;
    stride = m_wordStride;
    return m_words;
}

} // namespace platform
