// A 24-bit bitmap: rows of B,G,R bytes reached by row index, row 0 at the top.
// Held in a QImage of Format_BGR888, whose rows are exactly that layout.
#pragma once

#include <QImage>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

// Converts `count` B,G,R,x words to B,G,R bytes.
using WordRowConverter = void (*)(const std::uint8_t* words, std::uint8_t* bgr, int count);

// Writes a bitmap's pending pixels into its rows: the first row and the
// bytes from one row to the next.
using RowProducer = std::function<void(std::uint8_t* first, std::size_t bytesPerLine)>;

class Bitmap24;

// The words a capture left, handed to a writer that writes every pixel: it
// converts each row before it reads the row.
struct PendingWords {
    const std::uint8_t* first = nullptr;
    std::size_t stride = 0;
    WordRowConverter convert = nullptr;
    explicit operator bool() const { return first != nullptr; }
    void convertRow(int row, std::uint8_t* bgr, int count) const {
        convert(first + static_cast<std::size_t>(row) * stride, bgr, count);
    }
};

// Pixels a bitmap has yet to work out, in the top-left width × height of it:
// the words a capture left, or a picture's source. While the writer of what
// the producer reads can lock this handle, the bitmap still needs that.
struct DeferredRows {
    Bitmap24* owner;
    RowProducer produce;
    int width, height;
    std::mutex mutex;
};

class Bitmap24 {
public:
    Bitmap24() = default;
    Bitmap24(int width, int height);
    // A copy has its pixels as bytes; a moved bitmap takes its pending words along.
    Bitmap24(const Bitmap24& other);
    Bitmap24(Bitmap24&& other) noexcept;
    Bitmap24& operator=(const Bitmap24& other);
    Bitmap24& operator=(Bitmap24&& other) noexcept;

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
    std::uint8_t* scanLine(int row) {
        settle();
        return m_image.scanLine(row);
    }
    const std::uint8_t* scanLine(int row) const {
        settle();
        return m_image.constScanLine(row);
    }
    std::size_t bytesPerLine() const { return static_cast<std::size_t>(m_image.bytesPerLine()); }

    // Becomes a copy of `other`: size, pixel format and pixels.
    void assign(const Bitmap24& other);

    QImage& image() {
        settle();
        return m_image;
    }
    const QImage& image() const {
        settle();
        return m_image;
    }
    // The image's key without reading its pixels: it changes with every
    // write, resize or assign.
    qint64 key() const { return m_image.cacheKey(); }

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
    // The same, from a capture that did not convert them: the rows become
    // bytes at the first access to the pixels, on whichever thread reads
    // first. The writer keeps the handle and, before it writes the words
    // again or lets them go, settles the bitmap through it if it can lock it.
    std::weak_ptr<DeferredRows> deferWordRows(const std::uint8_t* first, std::size_t stride,
                                              std::shared_ptr<const std::uint64_t> generation,
                                              WordRowConverter convert);
    // The top-left `width` × `height` pixels become what `produce` writes
    // there, when something first reads the pixels (the rest keep theirs);
    // `produce` holds what it reads. The key changes now. Pending pixels
    // outside that rectangle are worked out first.
    std::weak_ptr<DeferredRows> deferRows(int width, int height, RowProducer produce);
    // The pixels as they are now, in an image of their own that later writes
    // to this bitmap leave be (its rows stay where they are); the same image
    // again while the bitmap is unchanged. From one thread at a time.
    QImage snapshot() const;
    // A row to read only the pixels outside the pending rectangle from,
    // without working that out.
    const std::uint8_t* scanLineBesidePending(int row) const { return m_image.constScanLine(row); }
    // The words, when the pixels are still pending as a capture's words,
    // and the pending dropped: for a writer that converts every row itself,
    // in the same pass as its own work, before taking the rows to write.
    PendingWords takePendingWords();
    // The pending pixels worked out, if any; safe from several threads.
    void settle() const {
        if (m_unsettled.load(std::memory_order_acquire))
            convertDeferred();
    }

private:
    void convertDeferred() const;
    void dropDeferred();

    QImage m_image;
    int m_width = 0;
    int m_height = 0;
    const std::uint8_t* m_words = nullptr;
    std::size_t m_wordStride = 0;
    std::shared_ptr<const std::uint64_t> m_wordGeneration;
    std::uint64_t m_wordGenerationAt = 0;
    qint64 m_wordKey = 0;
    std::shared_ptr<DeferredRows> m_deferred;
    WordRowConverter m_pendingConvert = nullptr; // while the pending is the words
    mutable std::atomic<bool> m_unsettled{false};
    // Two in turn: one that a pending bitmap still holds is not written.
    mutable QImage m_snapshots[2];
    mutable int m_lastSnapshot = 0;
    mutable qint64 m_snapshotKey = 0;
};

} // namespace platform
