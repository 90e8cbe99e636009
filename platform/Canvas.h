// A drawing surface over a picture: pen, brush, ellipse, move-to/line-to,
// rectangle copy and nearest-neighbour stretch from a 24-bit bitmap.
//
// Targets: 32-bit pictures (Format_RGB32, Format_ARGB32, Format_ARGB32_Premultiplied;
// everything drawn is opaque) and Format_BGR888 have fast paths; any other
// format is drawn through QPainter. Rectangles are right and bottom exclusive,
// as the window system has them. Nothing is antialiased or blended.
#pragma once

#include "platform/Bitmap24.h"
#include "platform/Geometry.h"

#include <QImage>
#include <cstdint>
#include <vector>

namespace platform {

// red + 256*green + 65536*blue, as controls and pens take it.
using TColor = std::int32_t;

enum class BrushStyle { Solid, Clear };

class Canvas {
public:
    explicit Canvas(QImage* target = nullptr);

    void setTarget(QImage* target) { m_target = target; }
    QImage* target() const { return m_target; }

    TColor PenColor = 0;
    int PenWidth = 1;
    BrushStyle Brush = BrushStyle::Solid;
    TColor BrushColor = 0xFFFFFF;

    // The ellipse inscribed in the box: filled with BrushColor unless the brush
    // is Clear, outlined with a pen PenWidth pixels wide centred on the
    // inscribed curve (a 1-pixel pen lies just inside the box).
    void Ellipse(int left, int top, int right, int bottom);

    void MoveTo(int x, int y);
    // Draws from the current position to (x, y) without the end point itself,
    // which becomes the current position.
    void LineTo(int x, int y);

    // Same-size copy of srcRect of `src` onto dst, clipped to both pictures.
    // When the two rectangles differ in size, the smaller width and height are
    // copied from their top-left corners.
    void CopyRect(const TRect& dst, const Bitmap24& src, const TRect& srcRect);

    // Nearest-neighbour stretch of the whole bitmap into dst: pixel (k, j) of
    // dst takes source pixel (k*sw div dw, j*sh div dh); clipped to the target.
    void StretchDraw(const TRect& dst, const Bitmap24& src);

private:
    void fillSpan(int y, int x0, int x1, TColor color); // x1 inclusive, clipped here
    void penDot(int x, int y);
    void straightLine(int x, int y); // from the current position, which is left as it is

    // While an ellipse or a line is drawn, its spans reach the target's rows
    // from one detach: the target counts one change for the drawing, and a
    // span costs no call into the image.
    class HeldRows {
    public:
        explicit HeldRows(Canvas& canvas);
        ~HeldRows();
        HeldRows(const HeldRows&) = delete;
        HeldRows& operator=(const HeldRows&) = delete;

    private:
        Canvas& m_canvas;
        bool m_holds = false;
    };

    QImage* m_target = nullptr;
    std::uint8_t* m_rows = nullptr; // set while HeldRows holds them
    std::size_t m_stride = 0;
    // The target's size and kind while its rows are held: the ring's 1,500
    // spans a frame would otherwise ask the image for them each time.
    int m_heldWidth = 0, m_heldHeight = 0;
    bool m_heldWords = false; // 32-bit, else BGR888
    // The last ellipse's doubled half-spans, outer and inner, row by row from
    // its first: the lens draws the same ring every frame.
    struct EllipseSpans {
        std::int64_t outerP = -1, outerQ = -1, innerP = -1, innerQ = -1, centre = 0, first = 0, last = -1;
        std::vector<std::int64_t> outer, inner;
    } m_ellipse;
    int m_penX = 0;
    int m_penY = 0;
    std::vector<int> m_columns; // StretchDraw's source byte offsets, kept between calls
    // StretchDraw onto 32-bit pictures: how many destination pixels each
    // source pixel of the row becomes, and the source row as words.
    std::vector<int> m_runs;
    std::vector<std::uint32_t> m_rowWords;
};

} // namespace platform
