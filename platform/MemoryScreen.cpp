#include "platform/Screen.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

QImage asRgb32(QImage picture) {
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    return picture;
}

} // namespace

MemoryScreen::MemoryScreen(QImage picture, QSize primary)
    : m_picture(asRgb32(std::move(picture))), m_primary(primary) {}

void MemoryScreen::setPicture(QImage picture) {
    m_picture = asRgb32(std::move(picture));
    m_copied = false;
}

void MemoryScreen::setFailing(bool failing) {
    m_failing = failing;
    m_copied = false;
}

void MemoryScreen::trackChanges(bool track) {
    m_tracking = track;
    m_copied = false;
}

bool MemoryScreen::unchangedSinceCopy(const TRect& source) {
    return m_tracking && m_copied && source == m_copiedSource;
}

int MemoryScreen::width() const {
    return m_primary.isValid() ? m_primary.width() : m_picture.width();
}
int MemoryScreen::height() const {
    return m_primary.isValid() ? m_primary.height() : m_picture.height();
}

bool MemoryScreen::copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) {
    ++m_captures;
    m_copied = false;
    if (m_failing)
        return false;
    m_copied = true;
    m_copiedSource = source;
    if (dst.isEmpty() || m_picture.isNull())
        return true;
    // Offsets (i, j) into the source square that land on both the picture and
    // the bitmap; everything else stays as it was.
    const std::int64_t sx = source.Left, sy = source.Top;
    const std::int64_t i0 = std::max<std::int64_t>({0, -sx, -static_cast<std::int64_t>(dstX)});
    const std::int64_t i1 = std::min<std::int64_t>(
        {source.width(), m_picture.width() - sx, static_cast<std::int64_t>(dst.width()) - dstX});
    const std::int64_t j0 = std::max<std::int64_t>({0, -sy, -static_cast<std::int64_t>(dstY)});
    const std::int64_t j1 = std::min<std::int64_t>(
        {source.height(), m_picture.height() - sy, static_cast<std::int64_t>(dst.height()) - dstY});
    for (std::int64_t j = j0; j < j1; ++j) {
        const auto* in =
            reinterpret_cast<const std::uint32_t*>(m_picture.constScanLine(static_cast<int>(sy + j))) +
            (sx + i0);
        std::uint8_t* out = dst.scanLine(static_cast<int>(dstY + j)) + 3 * (dstX + i0);
        for (std::int64_t i = i0; i < i1; ++i, ++in, out += 3) {
            const std::uint32_t word = *in;
            out[0] = static_cast<std::uint8_t>(word);
            out[1] = static_cast<std::uint8_t>(word >> 8);
            out[2] = static_cast<std::uint8_t>(word >> 16);
        }
    }
    return true;
}

bool MemoryScreen::cursorPos(TPoint& pos) const {
    pos = m_cursor;
    return true;
}

} // namespace platform
