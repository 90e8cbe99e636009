// The HSI colour stages at the cost of a table look-up per pixel.
//
// Simulation and the level-1 correction are a pure function of a pixel's
// colour: each colour is computed once, the first time a frame shows it, and
// kept. Level 2 depends on the frame's statistics, so what is kept per colour
// is what does not: its intensity and hue, and the channel shares of its
// boosted saturation. A frame gathers its statistics, then each of its
// colours gets its bytes once (kept while the statistics change nothing) and
// every pixel takes its colour's word: one read per pixel.
//
// Large frames are worked on two cores (platform/RowSplit.h): while the parts
// run the tables are only read, and the colours they met for the first time
// are stored after.
//
// A colour is worked out by the per-pixel functions the plane loops call
// (vision/HsiPixel.h, vision/PixelTransforms.h), so results are the bytes of
// the plane sequences to the bit. The fast paths leave the HSI planes alone
// (they are scratch) but keep HsiResultBitmap as the plane path leaves it.
//
// A moving lens shows most of its last frame again, a few pixels off: each
// stage keeps the colour and result last seen at every desktop place, folded
// onto a grid of the frame's size, and a pixel whose colour is the one its
// place holds takes that result, read in order, without a look-up. Only the
// strip the lens moved onto, and what changed on the screen, goes to the
// tables. Level 2 also keeps the statistics of every 16 places in a row, so
// that 16 pixels met again count as one.
//
// Memory: about 16 bytes per colour a table holds, 32 in level 2's (kept at
// most half full); level 2 adds about 28 bytes per colour; the places add 6
// bytes per pixel of the frame for simulation and level 1, 24 for level 2. A
// table that could pass its budget in the next frame is emptied first. The
// lens reserves everything when it is made (ReserveColourCaches), with the
// budget the smallest power of two from 2^16 that holds a whole zoom-2 frame
// (2^16 at a 1024-wide screen: about 9 MB in all; 2^20 at 3840: about 140 MB),
// so its memory does not creep up while it runs.
#pragma once

#include "platform/Bitmap24.h"
#include "vision/HueCurve.h"

#include <cstddef>

// Each ends with `capture` (and HsiResultBitmap) holding what the plane
// sequence of the same name would have left in it. (left, top) is where the
// capture's first pixel lies on the desktop: where it is known, a moving
// lens finds most pixels' results in the last frame it worked.
void SimulateRedGreenFast(platform::Bitmap24& capture, int left = 0, int top = 0);
void CorrectLowLevelFast(platform::Bitmap24& capture, const CubicCoefficients& curve, int left = 0,
                         int top = 0);
void CorrectHighLevelFast(platform::Bitmap24& capture, int left = 0, int top = 0);

// The colours each table holds now, and the bytes all of them hold; for
// tests and benchmarks.
struct ColourCacheUsage {
    std::size_t simulationColours, lowLevelColours, highLevelColours;
    std::size_t residentBytes;
};
ColourCacheUsage ColourCacheUsageNow();
// Allocates (and touches) what the tables need for frames of up to
// `framePixels` pixels, so that no frame allocates.
void ReserveColourCaches(std::size_t framePixels);
// Forgets every kept colour and gives the memory back.
void ResetColourCaches();
