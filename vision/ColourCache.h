// The HSI colour stages at the cost of a table look-up per pixel.
//
// Simulation and the level-1 correction are a pure function of a pixel's
// colour: each colour is computed once, the first time a frame shows it, and
// kept. Level 2 depends on the frame's statistics, so what is kept per colour
// is what does not: its intensity and hue, and the channel shares of its
// boosted saturation; a frame then only rescales intensities and multiplies.
//
// Results are the bytes of the plane functions (ConvertToHsi, the transforms,
// ConvertFromHsi) to the bit. The fast paths leave the HSI planes alone (they
// are scratch) but keep HsiResultBitmap as the plane path leaves it.
//
// Memory: each kept table spans all 2^24 colours but is taken from the system
// zero-filled and untouched, so only the pages a frame writes become real:
// 4 KiB per block of 1024 neighbouring colours (8 × 8 × 16). Level 2 adds
// 20 bytes per colour seen. A table that has grown past its budget (16 MiB of
// blocks, or a million colours for level 2) is dropped at the start of the
// next frame and refilled as colours come back.
#pragma once

#include "platform/Bitmap24.h"
#include "vision/HueCurve.h"

#include <cstddef>

// Each ends with `capture` (and HsiResultBitmap) holding what the plane
// sequence of the same name would have left in it.
void SimulateRedGreenFast(platform::Bitmap24& capture);
void CorrectLowLevelFast(platform::Bitmap24& capture, const CubicCoefficients& curve);
void CorrectHighLevelFast(platform::Bitmap24& capture);

// The colours each table holds now, and the bytes the tables have written
// (an upper bound of what they hold resident); for tests and benchmarks.
struct ColourCacheUsage {
    std::size_t simulationColours, lowLevelColours, highLevelColours;
    std::size_t residentBytes;
};
ColourCacheUsage ColourCacheUsageNow();
// Forgets every kept colour and gives the memory back.
void ResetColourCaches();
