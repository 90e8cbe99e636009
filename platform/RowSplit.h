// The per-pixel stages of a large frame over two cores.
//
// A frame at 3840 works on 590 000 source pixels and paints 2.4 million; one
// core does not fit that into the 10 ms tick. SplitRows hands the first half
// of a range of rows to one persistent helper thread (started at the first
// split, never one per frame) and works the second half on the caller, then
// waits for both. Every part writes only its own rows, so what a split stage
// leaves is byte for byte what the stage leaves in one piece.
#pragma once

#include "platform/Bitmap24.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <type_traits>

enum class RowSplitMode {
    Auto,   // split when the work is large enough to pay for the hand-off and a second core exists
    Never,  // always in one piece on the caller
    Always, // split whenever there are two rows (tests: both paths on small pictures)
};
void SetRowSplitMode(RowSplitMode mode);
RowSplitMode CurrentRowSplitMode();

namespace row_split_detail {
using PartFunction = void (*)(void* work, int part, int begin, int end);
void run(int rows, std::size_t pixels, PartFunction function, void* work);
} // namespace row_split_detail

// Calls work(part, begin, end) for part 0 (rows [0, mid)) and part 1 (rows
// [mid, rows)) at once, or work(0, 0, rows) alone; returns when all is done.
// `pixels` is the work the range stands for, which decides whether a split
// pays. The parts must write nothing another part reads. What a part throws
// reaches the caller once both parts have ended.
template <typename Work> void SplitRows(int rows, std::size_t pixels, Work&& work) {
    using W = std::remove_reference_t<Work>;
    row_split_detail::run(
        rows, pixels, [](void* w, int part, int begin, int end) { (*static_cast<W*>(w))(part, begin, end); },
        const_cast<void*>(static_cast<const void*>(&work)));
}

// The rows of a picture that parts write, reached without the picture: a
// QImage's non-const scanLine() detaches and counts a change on every call,
// which two parts must not do at once. Taken before the split (detaching
// there, once).
class RowsToWrite {
public:
    explicit RowsToWrite(platform::Bitmap24& b)
        : m_first(b.isEmpty() ? nullptr : b.scanLine(0)), m_stride(b.bytesPerLine()) {}
    explicit RowsToWrite(QImage& image)
        : m_first(image.isNull() ? nullptr : image.bits()),
          m_stride(static_cast<std::size_t>(image.bytesPerLine())) {}
    std::uint8_t* operator[](int row) const { return m_first + static_cast<std::size_t>(row) * m_stride; }

private:
    std::uint8_t* m_first;
    std::size_t m_stride;
};
