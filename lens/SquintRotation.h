// Squint compensation: the source square rotated by a few degrees.
#pragma once

#include "platform/Bitmap24.h"

#include <cstdint>

struct SquintValues {
    int SquintPosition;
    float SquintAngle; // radians, one degree per slider step from 15
    int SquintHalfWidth, SquintHalfHeight;
    float SquintCentreX, SquintCentreY;
};

// The values the squint slider sets at `position` (0..30): the angle from
// `twoPi`, the half sizes as imageWidth and imageHeight div (2·zoomFactor),
// and the centre terms. A zoomFactor of 0 (no frame has run yet) gives half
// sizes of 0 rather than a division by zero.
SquintValues ComputeSquint(int position, float twoPi, int imageWidth, int imageHeight, int zoomFactor);

// Rewrites sourceWidth × sourceHeight pixels of `bmp` (clipped to the bitmap)
// from the planes, rotated by `angle` about the centre terms: the source of
// pixel (x, y) is (cos a·(x − cx) + sin a·(y − cy), cos a·(y − cy) − sin a·(x − cx)),
// and a source outside the square gives black. The planes are read only, so
// `bmp` may hold the same frame. rotatedX/Y end with the last pixel's
// position, probeRed/Green/Blue with the last colour taken from the planes
// (a black pixel does not pass through them), as the frame's fields do.
void RotateSquint(platform::Bitmap24& bmp, int sourceWidth, int sourceHeight, const std::uint8_t* red,
                  const std::uint8_t* green, const std::uint8_t* blue, float angle, float centreX,
                  float centreY, float& rotatedX, float& rotatedY, int& probeRed, int& probeGreen,
                  int& probeBlue);
