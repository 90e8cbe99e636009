// The processed frame split into one byte plane per channel.
#pragma once

#include "platform/Bitmap24.h"

#include <cstdint>

// Over the bitmap's own width × height; pixel (x, y) lands at index
// y·sourceWidth + x of each plane.
void CopyToPlanes(const platform::Bitmap24& bmp, int sourceWidth, std::uint8_t* red, std::uint8_t* green,
                  std::uint8_t* blue);
