#include "lens/FrameGeometry.h"

int ZoomFromTrackBar(int position) {
    switch (position) {
    case 1:
        return 2;
    case 2:
        return 4;
    case 3:
        return 6;
    case 4:
        return 8;
    default:
        return 12;
    }
}

FrameGeometry ComputeFrameGeometry(int displayWidth, int displayHeight, int zoom, int cursorX, int cursorY) {
    FrameGeometry g;
    g.HalfSpanX = static_cast<float>(displayWidth / (2 * zoom));
    g.HalfSpanY = static_cast<float>(displayHeight / (2 * zoom));
    g.SourceWidth = static_cast<int>(static_cast<double>(displayWidth) / zoom);
    g.SourceHeight = static_cast<int>(static_cast<double>(displayHeight) / zoom);
    const double hx = g.HalfSpanX;
    const double hy = g.HalfSpanY;
    g.SourceRect = {static_cast<int>(cursorX - hx), static_cast<int>(cursorY - hy),
                    static_cast<int>(cursorX + hx), static_cast<int>(cursorY + hy)};
    g.CaptureRect = {0, 0, static_cast<int>(2.0 * hx), static_cast<int>(2.0 * hy)};
    return g;
}

OffscreenEdges TestOffscreen(const TRect& sourceRect, int screenWidth, int screenHeight) {
    return {sourceRect.Left < 0, sourceRect.Top < 0, screenWidth < sourceRect.Right,
            screenHeight < sourceRect.Bottom};
}
