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
// Large frames are worked on two cores (lens/RowSplit.h): while the parts
// run the tables are only read, and the colours they met for the first time
// are stored after.
//
// Results are the bytes of the plane functions (ConvertToHsi, the transforms,
// ConvertFromHsi) to the bit. The fast paths leave the HSI planes alone (they
// are scratch) but keep HsiResultBitmap as the plane path leaves it.
//
// Memory: a hash table of 8 bytes per slot, kept at most half full, so about
// 16 bytes per colour seen (a desktop's few thousand colours: well under a
// megabyte; 40 000 colours of a photograph: 1 MiB); level 2 adds 28 bytes
// per colour and 4 per pixel of the frame. A table that could pass a million
// colours in the next frame is dropped first and refilled as colours come
// back, so each stays below 32 MiB (level 2 below 64 MiB). Each part of a
// split keeps a 32 KiB memo and the list of the colours new to its last frame.
#pragma once

#include "platform/Bitmap24.h"
#include "vision/HueCurve.h"

#include <cstddef>

// Each ends with `capture` (and HsiResultBitmap) holding what the plane
// sequence of the same name would have left in it.
void SimulateRedGreenFast(platform::Bitmap24& capture);
void CorrectLowLevelFast(platform::Bitmap24& capture, const CubicCoefficients& curve);
void CorrectHighLevelFast(platform::Bitmap24& capture);

// The colours each table holds now, and the bytes all of them hold; for
// tests and benchmarks.
struct ColourCacheUsage {
    std::size_t simulationColours, lowLevelColours, highLevelColours;
    std::size_t residentBytes;
};
ColourCacheUsage ColourCacheUsageNow();
// Forgets every kept colour and gives the memory back.
void ResetColourCaches();
