// Rectangles and points as the window system has them: 32-bit signed
// coordinates, right and bottom exclusive.
#pragma once

#include <cstdint>

struct TPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    std::int32_t width() const { return Right - Left; }
    std::int32_t height() const { return Bottom - Top; }
};

inline bool operator==(const TRect& a, const TRect& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// Left and top edges inside, right and bottom edges outside.
inline bool PtInRect(const TRect& r, const TPoint& p) {
    return p.x >= r.Left && p.x < r.Right && p.y >= r.Top && p.y < r.Bottom;
}
