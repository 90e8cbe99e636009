#include "platform/Canvas.h"

#include "platform/PixelRows.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

enum class TargetKind { Rgb32, Bgr888, Other };

TargetKind kindOf(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return TargetKind::Rgb32; // everything drawn is opaque, so premultiplied or not is the same word
    case QImage::Format_BGR888:
        return TargetKind::Bgr888;
    default:
        return TargetKind::Other;
    }
}

std::uint8_t redOf(TColor c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}
std::uint8_t greenOf(TColor c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
std::uint8_t blueOf(TColor c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

std::int64_t floorDiv2(std::int64_t a) {
    return a >= 0 ? a / 2 : -((-a + 1) / 2);
}
std::int64_t ceilDiv2(std::int64_t a) {
    return -floorDiv2(-a);
}

// Largest u >= 0 with u*u*q*q + v*v*p*p <= p*p*q*q: the half-span, in doubled
// coordinates, of the row at doubled offset v inside the ellipse whose doubled
// radii are p and q. -1 when the row misses the ellipse. Integer arithmetic, so
// the shape is exactly symmetric.
std::int64_t halfSpan(std::int64_t p, std::int64_t q, std::int64_t v) {
    if (p <= 0 || q <= 0 || v > q || v < -q)
        return -1;
    using Wide = __int128;
    const Wide limit = static_cast<Wide>(p) * p * (static_cast<Wide>(q) * q - static_cast<Wide>(v) * v) /
                       (static_cast<Wide>(q) * q);
    auto u = static_cast<std::int64_t>(std::sqrt(static_cast<double>(limit)));
    while (u > 0 && static_cast<Wide>(u) * u > limit)
        --u;
    while (static_cast<Wide>(u + 1) * (u + 1) <= limit)
        ++u;
    return u;
}

// Pixel columns [first, last] of a row whose doubled half-span is `half`
// around the box's centre line l + r.
void spanColumns(std::int64_t lr, std::int64_t half, std::int64_t& first, std::int64_t& last) {
    first = ceilDiv2(lr - 1 - half);
    last = floorDiv2(lr - 1 + half);
}

// A column in 64 bits, brought into int range for fillSpan, which clips it:
// -1 and `width` lie just outside the picture.
int clampColumn(std::int64_t x, std::int64_t width) {
    return static_cast<int>(std::clamp<std::int64_t>(x, -1, width));
}

} // namespace

Canvas::Canvas(QImage* target) : m_target(target) {}

Canvas::HeldRows::HeldRows(Canvas& canvas) : m_canvas(canvas) {
    QImage* target = canvas.m_target;
    if (canvas.m_rows || !target || target->isNull() || kindOf(*target) == TargetKind::Other)
        return;
    canvas.m_rows = target->bits();
    canvas.m_stride = static_cast<std::size_t>(target->bytesPerLine());
    canvas.m_heldWidth = target->width();
    canvas.m_heldHeight = target->height();
    canvas.m_heldWords = kindOf(*target) == TargetKind::Rgb32;
    m_holds = true;
}

Canvas::HeldRows::~HeldRows() {
    if (m_holds)
        m_canvas.m_rows = nullptr;
}

void Canvas::fillSpan(int y, int x0, int x1, TColor color) {
    if (!m_target)
        return;
    const bool held = m_rows != nullptr;
    if (y < 0 || y >= (held ? m_heldHeight : m_target->height()))
        return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, (held ? m_heldWidth : m_target->width()) - 1);
    if (x0 > x1)
        return;
    const std::uint8_t r = redOf(color), g = greenOf(color), b = blueOf(color);
    const TargetKind kind = held ? (m_heldWords ? TargetKind::Rgb32 : TargetKind::Bgr888) : kindOf(*m_target);
    switch (kind) {
    case TargetKind::Rgb32: {
        const std::uint32_t word = 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
        auto* row = reinterpret_cast<std::uint32_t*>(m_rows ? m_rows + static_cast<std::size_t>(y) * m_stride
                                                            : m_target->scanLine(y));
        std::fill(row + x0, row + x1 + 1, word);
        break;
    }
    case TargetKind::Bgr888: {
        std::uint8_t* p =
            (m_rows ? m_rows + static_cast<std::size_t>(y) * m_stride : m_target->scanLine(y)) + 3 * x0;
        for (int x = x0; x <= x1; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
        break;
    }
    case TargetKind::Other: {
        QPainter painter(m_target);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(x0, y, x1 - x0 + 1, 1), QColor(r, g, b));
        break;
    }
    }
}

void Canvas::Ellipse(int left, int top, int right, int bottom) {
    if (!m_target || m_target->isNull())
        return;
    const std::int64_t l = std::min(left, right), r = std::max(left, right);
    const std::int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    if (r == l || b == t)
        return;
    const std::int64_t pen = std::max(PenWidth, 1);
    // Doubled coordinates keep every centre and radius whole: pixel (x, y) sits
    // at offset (2x + 1 - (l + r), 2y + 1 - (t + b)) from the box's centre. The
    // inscribed curve runs through the centres of the box's outermost pixels;
    // the pen covers pen/2 either side of it.
    const std::int64_t outerP = (r - l) - 1 + pen, outerQ = (b - t) - 1 + pen;
    const std::int64_t innerP = (r - l) - 1 - pen, innerQ = (b - t) - 1 - pen;
    const std::int64_t yFirst = std::max<std::int64_t>(0, ceilDiv2(t + b - 1 - outerQ));
    const std::int64_t yLast = std::min<std::int64_t>(m_target->height() - 1, floorDiv2(t + b - 1 + outerQ));
    const std::int64_t xLimit = m_target->width();
    auto clampX = [xLimit](std::int64_t x) { return clampColumn(x, xLimit); };
    EllipseSpans& spans = m_ellipse;
    if (spans.outerP != outerP || spans.outerQ != outerQ || spans.innerP != innerP ||
        spans.innerQ != innerQ || spans.centre != t + b || spans.first != yFirst || spans.last != yLast) {
        spans.outer.clear();
        spans.inner.clear();
        for (std::int64_t y = yFirst; y <= yLast; ++y) {
            const std::int64_t v = 2 * y + 1 - (t + b);
            spans.outer.push_back(halfSpan(outerP, outerQ, v));
            spans.inner.push_back(halfSpan(innerP, innerQ, v));
        }
        spans.outerP = outerP, spans.outerQ = outerQ, spans.innerP = innerP, spans.innerQ = innerQ;
        spans.centre = t + b, spans.first = yFirst, spans.last = yLast;
    }
    const HeldRows held(*this);
    for (std::int64_t y = yFirst; y <= yLast; ++y) {
        const std::int64_t outerHalf = spans.outer[static_cast<std::size_t>(y - yFirst)];
        if (outerHalf < 0)
            continue;
        std::int64_t o0, o1;
        spanColumns(l + r, outerHalf, o0, o1);
        const std::int64_t innerHalf = spans.inner[static_cast<std::size_t>(y - yFirst)];
        const int row = static_cast<int>(y);
        if (innerHalf < 0) {
            fillSpan(row, clampX(o0), clampX(o1), PenColor);
            continue;
        }
        std::int64_t i0, i1;
        spanColumns(l + r, innerHalf, i0, i1);
        fillSpan(row, clampX(o0), clampX(i0 - 1), PenColor);
        if (Brush == BrushStyle::Solid && i0 <= i1)
            fillSpan(row, clampX(i0), clampX(i1), BrushColor);
        fillSpan(row, clampX(i1 + 1), clampX(o1), PenColor);
    }
}

void Canvas::MoveTo(int x, int y) {
    m_penX = x;
    m_penY = y;
}

void Canvas::penDot(int x, int y) {
    const int w = std::max(PenWidth, 1);
    if (w == 1) {
        fillSpan(y, x, x, PenColor);
        return;
    }
    const int x0 = x - (w - 1) / 2, y0 = y - (w - 1) / 2;
    for (int row = y0; row < y0 + w; ++row)
        fillSpan(row, x0, x0 + w - 1, PenColor);
}

// The dots Bresenham would put along a row or a column, as one span per row:
// the cross-hair's lines would otherwise cost a call per pixel.
void Canvas::straightLine(int x, int y) {
    const std::int64_t w = std::max(PenWidth, 1), back = (w - 1) / 2;
    // The points drawn run from the current position to the one before the end.
    const std::int64_t beforeX = x - (x > m_penX) + (x < m_penX), beforeY = y - (y > m_penY) + (y < m_penY);
    const std::int64_t left = std::min<std::int64_t>(m_penX, beforeX) - back;
    const std::int64_t right = std::max<std::int64_t>(m_penX, beforeX) - back + w - 1;
    const std::int64_t top = std::max<std::int64_t>(std::min<std::int64_t>(m_penY, beforeY) - back, 0);
    const std::int64_t bottom = std::min<std::int64_t>(std::max<std::int64_t>(m_penY, beforeY) - back + w - 1,
                                                       m_target->height() - 1);
    const std::int64_t width = m_target->width();
    for (std::int64_t row = top; row <= bottom; ++row)
        fillSpan(static_cast<int>(row), clampColumn(left, width), clampColumn(right, width), PenColor);
}

void Canvas::LineTo(int x, int y) {
    if (m_target && !m_target->isNull()) {
        const HeldRows held(*this);
        if ((x == m_penX) != (y == m_penY)) {
            straightLine(x, y);
            MoveTo(x, y);
            return;
        }
        // Bresenham; the end point is left for the next segment to draw.
        std::int64_t cx = m_penX, cy = m_penY;
        const std::int64_t dx = std::abs(static_cast<std::int64_t>(x) - cx);
        const std::int64_t dy = -std::abs(static_cast<std::int64_t>(y) - cy);
        const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
        std::int64_t err = dx + dy;
        while (cx != x || cy != y) {
            penDot(static_cast<int>(cx), static_cast<int>(cy));
            const std::int64_t e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                cx += sx;
            }
            if (e2 <= dx) {
                err += dx;
                cy += sy;
            }
        }
    }
    MoveTo(x, y);
}

namespace {

// The bitmap's pixels, copied first when the target is the bitmap's own
// picture, so that reading and writing never overlap.
const QImage& sourcePixels(const QImage* target, const Bitmap24& src, QImage& holder) {
    if (target->constBits() == src.image().constBits()) {
        holder = src.image().copy();
        return holder;
    }
    return src.image();
}

void drawThroughPainter(QImage* target, int x, int y, const QImage& rgb32) {
    QPainter painter(target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(x, y, rgb32);
}

} // namespace

void Canvas::CopyRect(const TRect& dst, const Bitmap24& src, const TRect& srcRect) {
    if (!m_target || m_target->isNull() || src.isEmpty())
        return;
    const std::int64_t w = std::min<std::int64_t>(dst.width(), srcRect.width());
    const std::int64_t h = std::min<std::int64_t>(dst.height(), srcRect.height());
    const std::int64_t sx = srcRect.Left, sy = srcRect.Top, dx = dst.Left, dy = dst.Top;
    const std::int64_t i0 = std::max<std::int64_t>({0, -sx, -dx});
    const std::int64_t i1 = std::min<std::int64_t>({w, src.width() - sx, m_target->width() - dx});
    const std::int64_t j0 = std::max<std::int64_t>({0, -sy, -dy});
    const std::int64_t j1 = std::min<std::int64_t>({h, src.height() - sy, m_target->height() - dy});
    if (i0 >= i1 || j0 >= j1)
        return;
    QImage holder;
    const QImage& pixels = sourcePixels(m_target, src, holder);
    const int count = static_cast<int>(i1 - i0);
    const int srcX = static_cast<int>(sx + i0), dstX = static_cast<int>(dx + i0);
    const TargetKind kind = kindOf(*m_target);
    QImage rows;
    if (kind == TargetKind::Other)
        rows = QImage(count, static_cast<int>(j1 - j0), QImage::Format_RGB32);
    for (std::int64_t j = j0; j < j1; ++j) {
        const std::uint8_t* in = pixels.constScanLine(static_cast<int>(sy + j)) + 3 * srcX;
        const int y = static_cast<int>(dy + j);
        switch (kind) {
        case TargetKind::Rgb32:
            BgrRowToRgb32(in, reinterpret_cast<std::uint32_t*>(m_target->scanLine(y)) + dstX, count);
            break;
        case TargetKind::Bgr888:
            std::memcpy(m_target->scanLine(y) + 3 * dstX, in, 3 * static_cast<std::size_t>(count));
            break;
        case TargetKind::Other:
            BgrRowToRgb32(in, reinterpret_cast<std::uint32_t*>(rows.scanLine(static_cast<int>(j - j0))),
                          count);
            break;
        }
    }
    if (kind == TargetKind::Other)
        drawThroughPainter(m_target, dstX, static_cast<int>(dy + j0), rows);
}

void Canvas::StretchDraw(const TRect& dst, const Bitmap24& src) {
    if (!m_target || m_target->isNull() || src.isEmpty())
        return;
    const std::int64_t dw = dst.width(), dh = dst.height();
    if (dw <= 0 || dh <= 0)
        return;
    const std::int64_t sw = src.width(), sh = src.height();
    const std::int64_t k0 = std::max<std::int64_t>(0, -static_cast<std::int64_t>(dst.Left));
    const std::int64_t k1 =
        std::min<std::int64_t>(dw, m_target->width() - static_cast<std::int64_t>(dst.Left));
    const std::int64_t j0 = std::max<std::int64_t>(0, -static_cast<std::int64_t>(dst.Top));
    const std::int64_t j1 =
        std::min<std::int64_t>(dh, m_target->height() - static_cast<std::int64_t>(dst.Top));
    if (k0 >= k1 || j0 >= j1)
        return;
    const int count = static_cast<int>(k1 - k0);
    const int x0 = static_cast<int>(dst.Left + k0);
    m_columns.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        m_columns[static_cast<std::size_t>(i)] = static_cast<int>(3 * ((k0 + i) * sw / dw));
    const int* columns = m_columns.data();

    const TargetKind kind = kindOf(*m_target);
    QImage rows;
    if (kind == TargetKind::Other)
        rows = QImage(count, static_cast<int>(j1 - j0), QImage::Format_RGB32);
    const std::size_t rowBytes = static_cast<std::size_t>(count) * (kind == TargetKind::Bgr888 ? 3 : 4);
    const bool sameWidth = sw == dw;
    // The columns as runs: the table rises by whole pixels, each source pixel
    // it reaches covering one or more destination pixels in a row.
    m_runs.clear();
    for (int i = 0; i < count; ++i) {
        if (i == 0 || columns[i] != columns[i - 1])
            m_runs.push_back(0);
        ++m_runs.back();
    }
    const int firstSource = columns[0] / 3;
    int uniformRun = m_runs.front();
    for (int run : m_runs)
        if (run != uniformRun)
            uniformRun = 0;
    m_rowWords.resize(m_runs.size());
    // Every source pixel between the first and the last column is reached
    // when enlarging; otherwise (shrinking) they are gathered one by one.
    const bool reachesAll = static_cast<int>(m_runs.size()) == columns[count - 1] / 3 - firstSource + 1;
    // Where the capture left the pixels as words, an enlarging row takes
    // them from there; they are made opaque as they are written.
    std::size_t wordStride = 0;
    const std::uint8_t* wordRows =
        kind != TargetKind::Bgr888 && reachesAll ? src.wordRows(wordStride) : nullptr;
    // The source's bytes, not read at all where its words are taken: a
    // capture that left its words need not convert them.
    QImage holder;
    const QImage* pixels = wordRows && !sameWidth ? nullptr : &sourcePixels(m_target, src, holder);
    auto sourceWords = [&](std::int64_t sourceRow, const std::uint8_t* row) -> const std::uint32_t* {
        if (wordRows)
            return reinterpret_cast<const std::uint32_t*>(wordRows +
                                                          static_cast<std::size_t>(sourceRow) * wordStride) +
                   firstSource;
        if (reachesAll) {
            BgrRowToRgb32(row + 3 * static_cast<std::size_t>(firstSource), m_rowWords.data(),
                          static_cast<int>(m_rowWords.size()));
        } else {
            std::size_t s = 0;
            for (int i = 0; i < count; ++i) {
                if (i > 0 && columns[i] == columns[i - 1])
                    continue;
                const std::uint8_t* p = row + columns[i];
                m_rowWords[s++] = Rgb32Of(p);
            }
        }
        return m_rowWords.data();
    };
    std::int64_t lastSourceRow = -1;
    const std::uint8_t* lastOut = nullptr;
    // The rows written, reached from the first: the target counts one
    // change for the whole drawing, not one per row.
    QImage& written = kind == TargetKind::Other ? rows : *m_target;
    std::uint8_t* const first = written.bits();
    const std::size_t stride = static_cast<std::size_t>(written.bytesPerLine());
    for (std::int64_t j = j0; j < j1; ++j) {
        const std::int64_t sourceRow = j * sh / dh;
        std::uint8_t* out = nullptr;
        switch (kind) {
        case TargetKind::Rgb32:
            out = first + static_cast<std::size_t>(dst.Top + j) * stride + 4 * static_cast<std::size_t>(x0);
            break;
        case TargetKind::Bgr888:
            out = first + static_cast<std::size_t>(dst.Top + j) * stride + 3 * static_cast<std::size_t>(x0);
            break;
        case TargetKind::Other:
            out = first + static_cast<std::size_t>(j - j0) * stride;
            break;
        }
        // Enlarging repeats each source row; the first copy is reused.
        if (sourceRow == lastSourceRow) {
            std::memcpy(out, lastOut, rowBytes);
            continue;
        }
        const std::uint8_t* in = pixels ? pixels->constScanLine(static_cast<int>(sourceRow)) : nullptr;
        if (sameWidth) {
            // One to one across: no column table, a plain row conversion.
            const std::uint8_t* from = in + columns[0];
            if (kind == TargetKind::Bgr888)
                std::memcpy(out, from, rowBytes);
            else
                BgrRowToRgb32(from, reinterpret_cast<std::uint32_t*>(out), count);
        } else if (kind == TargetKind::Bgr888) {
            for (int i = 0; i < count; ++i) {
                const std::uint8_t* p = in + columns[i];
                out[3 * i] = p[0];
                out[3 * i + 1] = p[1];
                out[3 * i + 2] = p[2];
            }
        } else {
            // The source pixels the row reaches, converted once, then each
            // written as often as the enlargement repeats it.
            const std::uint32_t* words = sourceWords(sourceRow, in);
            auto* o = reinterpret_cast<std::uint32_t*>(out);
            if (uniformRun == 2) {
                DoubleWords(words, o, m_rowWords.size());
            } else {
                for (std::size_t s = 0; s < m_runs.size(); ++s) {
                    const std::uint32_t word = words[s] | 0xFF000000u;
                    for (int t = 0; t < m_runs[s]; ++t)
                        *o++ = word;
                }
            }
        }
        lastSourceRow = sourceRow;
        lastOut = out;
    }
    if (kind == TargetKind::Other)
        drawThroughPainter(m_target, x0, static_cast<int>(dst.Top + j0), rows);
}

} // namespace platform
