// The level-3 red-green correction, in place over a 24-bit bitmap.
#pragma once

#include "platform/Bitmap24.h"

// Where blue is below both red and green: the stronger of red and green
// (red only when it exceeds green by more than 10) is raised 80 % of the way
// to 255, the other cut to a fifth, and blue inverted. Runs over width ×
// height, clipped to the bitmap. probeRed/Green/Blue end with the last
// pixel's working values, as the frame's fields do.
void SevereCorrect(platform::Bitmap24& bmp, int width, int height, int& probeRed, int& probeGreen,
                   int& probeBlue);
