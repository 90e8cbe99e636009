#include "platform/Bitmap24.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

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

Bitmap24::Bitmap24(const Bitmap24& other) {
    *this = other;
}

Bitmap24::Bitmap24(Bitmap24&& other) noexcept {
    *this = std::move(other);
}

Bitmap24& Bitmap24::operator=(const Bitmap24& other) {
    if (this == &other)
        return *this;
    other.settle();
    dropDeferred();
    m_image = other.m_image;
    m_width = other.m_width;
    m_height = other.m_height;
    m_words = other.m_words;
    m_wordStride = other.m_wordStride;
    m_wordGeneration = other.m_wordGeneration;
    m_wordGenerationAt = other.m_wordGenerationAt;
    m_wordKey = other.m_wordKey;
    return *this;
}

Bitmap24& Bitmap24::operator=(Bitmap24&& other) noexcept {
    if (this == &other)
        return *this;
    dropDeferred();
    m_image = std::move(other.m_image);
    m_width = std::exchange(other.m_width, 0);
    m_height = std::exchange(other.m_height, 0);
    m_words = std::exchange(other.m_words, nullptr);
    m_wordStride = other.m_wordStride;
    m_wordGeneration = std::move(other.m_wordGeneration);
    m_wordGenerationAt = other.m_wordGenerationAt;
    m_wordKey = other.m_wordKey;
    m_deferred = std::move(other.m_deferred);
    m_pendingConvert = std::exchange(other.m_pendingConvert, nullptr);
    m_unsettled.store(other.m_unsettled.exchange(false));
    if (m_deferred)
        m_deferred->owner = this;
    return *this;
}

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
    dropDeferred();
    m_width = width;
    m_height = height;
}

void Bitmap24::assign(const Bitmap24& other) {
    if (this == &other)
        return;
    other.settle();
    // Every pixel is written below.
    dropDeferred();
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

std::weak_ptr<DeferredRows> Bitmap24::deferWordRows(const std::uint8_t* first, std::size_t stride,
                                                    std::shared_ptr<const std::uint64_t> generation,
                                                    WordRowConverter convert) {
    if (m_image.isNull())
        return {};
    const int width = m_width, height = m_height;
    // The writer settles before it writes the words again, so they are the
    // ones the capture left.
    std::weak_ptr<DeferredRows> handle = deferRows(
        width, height, [first, stride, convert, width, height](std::uint8_t* out, std::size_t line) {
            for (int y = 0; y < height; ++y)
                convert(first + static_cast<std::size_t>(y) * stride,
                        out + static_cast<std::size_t>(y) * line, width);
        });
    setWordRows(first, stride, std::move(generation));
    m_pendingConvert = convert;
    return handle;
}

PendingWords Bitmap24::takePendingWords() {
    if (!m_unsettled.load(std::memory_order_acquire) || !m_pendingConvert)
        return {};
    const PendingWords words{m_words, m_wordStride, m_pendingConvert};
    dropDeferred();
    return words;
}

std::weak_ptr<DeferredRows> Bitmap24::deferRows(int width, int height, RowProducer produce) {
    if (m_unsettled.load(std::memory_order_acquire) &&
        (m_deferred->width > width || m_deferred->height > height))
        convertDeferred();
    dropDeferred();
    if (m_image.isNull())
        return {};
    // The one write: the key changes now, not when the rows are worked out,
    // and the rows are ours alone to write in place then.
    m_image.bits();
    m_deferred = std::make_shared<DeferredRows>();
    m_deferred->owner = this;
    m_deferred->produce = std::move(produce);
    m_deferred->width = std::min(width, m_width);
    m_deferred->height = std::min(height, m_height);
    m_unsettled.store(true, std::memory_order_release);
    return m_deferred;
}

QImage Bitmap24::snapshot() const {
    if (m_image.isNull())
        return QImage();
    const qint64 key = m_image.cacheKey();
    if (key == m_snapshotKey && !m_snapshots[m_lastSnapshot].isNull())
        return m_snapshots[m_lastSnapshot];
    m_lastSnapshot ^= 1;
    QImage& copy = m_snapshots[m_lastSnapshot];
    if (copy.width() != m_width || copy.height() != m_height || !copy.isDetached()) {
        copy = QImage(m_width, m_height, QImage::Format_BGR888);
        if (copy.isNull())
            throw std::bad_alloc();
    }
    // Pixels still in a capture's words are converted straight into the
    // copy: the bitmap itself stays pending, and may never need converting.
    // (The words do not change while they are pending.)
    const bool fromWords = m_unsettled.load(std::memory_order_acquire) && m_pendingConvert;
    const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 3;
    if (!fromWords)
        settle();
    for (int y = 0; y < m_height; ++y) {
        if (fromWords)
            m_pendingConvert(m_words + static_cast<std::size_t>(y) * m_wordStride, copy.scanLine(y), m_width);
        else
            std::memcpy(copy.scanLine(y), m_image.constScanLine(y), rowBytes);
    }
    m_snapshotKey = key;
    return copy;
}

void Bitmap24::convertDeferred() const {
    std::lock_guard<std::mutex> lock(m_deferred->mutex);
    if (!m_unsettled.load(std::memory_order_relaxed))
        return;
    // The image was detached at the deferral and nothing has shared it since
    // (a copy or image() works the pixels out first): its bytes are ours.
    m_deferred->produce(const_cast<std::uint8_t*>(m_image.constBits()),
                        static_cast<std::size_t>(m_image.bytesPerLine()));
    m_unsettled.store(false, std::memory_order_release);
}

void Bitmap24::dropDeferred() {
    m_unsettled.store(false, std::memory_order_relaxed);
    m_deferred.reset();
    m_pendingConvert = nullptr;
}

} // namespace platform
