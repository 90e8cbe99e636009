// The smoothed enlargement: bilinear interpolation between source pixels,
// computed at display size.
#pragma once

#include "platform/Bitmap24.h"

#include <cstdint>

// The channel value at the real position (x, y) of `samples` (width × height
// values, row after row), 0 ≤ x ≤ width − 1, 0 ≤ y ≤ height − 1: the four
// neighbours weighted in extended precision, the sum rounded to single
// precision and truncated toward zero. On the last column or row the missing
// neighbour is clamped to it; its weight is 0 there anyway.
int BilinearSample(const std::int32_t* samples, int width, int height, float x, float y);

// Fills `smooth` from `capture` at displayWidth × displayHeight: output pixel
// (k, j) samples the source at (k / zoomFactor, j / zoomFactor) and is written
// only where that lies inside the source, so columns and rows past
// zoomFactor·(W − 1) keep what they held. Never writes outside `smooth` (the
// display may exceed it after a resize); a zoomFactor below 1 writes nothing.
void SmoothEnlargeInto(const platform::Bitmap24& capture, int zoomFactor, int displayWidth, int displayHeight,
                       platform::Bitmap24& smooth);
