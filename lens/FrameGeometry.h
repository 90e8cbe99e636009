// Where a frame captures from and how large its source is, from the display
// size, the zoom factor and the cursor.
#pragma once

#include "platform/Geometry.h"

// TrackBar1's position to the zoom factor: 1→2, 2→4, 3→6, 4→8, any other → 12.
int ZoomFromTrackBar(int position);

struct FrameGeometry {
    float HalfSpanX, HalfSpanY;    // half the captured square's side; whole numbers
    int SourceWidth, SourceHeight; // CaptureBitmap's size: 2·HalfSpan or one more
    TRect SourceRect;              // screen rectangle captured
    TRect CaptureRect;             // where the capture lands in CaptureBitmap
};

// Integer divisions and real-to-integer conversions truncate toward zero.
// zoom must be positive.
FrameGeometry ComputeFrameGeometry(int displayWidth, int displayHeight, int zoom, int cursorX, int cursorY);

// Which edges of the screen the source square crosses. A square that ends
// exactly at the right or bottom edge is still on the screen.
struct OffscreenEdges {
    bool left, top, right, bottom;
    int count() const { return int(left) + int(top) + int(right) + int(bottom); }
};

OffscreenEdges TestOffscreen(const TRect& sourceRect, int screenWidth, int screenHeight);
