// The colour-vision module: a 24-bit frame taken into intensity, saturation
// and hue planes (HSI), the red-green transforms that work on those planes,
// and the way back into a bitmap.
//
// Plane values are single precision; every step evaluates in double and rounds
// where it stores, so that results are the same to the bit on every build.
// Each step is written once, for one pixel, in vision/HsiPixel.h and
// vision/PixelTransforms.h: the plane functions here loop over those, and the
// per-colour caches (vision/ColourCache.h) call them for each new colour.
#pragma once

#include "platform/Bitmap24.h"
#include "vision/HueCurve.h"

#include <vector>

// Size of the bitmap last given to ConvertToHsi.
extern int HsiWidth, HsiHeight;
// Pixel (x, y) at index y·HsiWidth + x. Intensity and saturation 0..255, hue
// in degrees: 0..180 where green ≥ blue, 179.5..359 where blue > green.
extern std::vector<float> IntensityPlane, SaturationPlane, HuePlane;
// The last result of ConvertFromHsi; owned by the module.
extern platform::Bitmap24* HsiResultBitmap;
void FreeHsiResultBitmap();

// The π of the conversions: the single-precision constant 3.1415925, and 2π
// as twice that (6.283185). Hues are scaled by these, not by the exact π.
constexpr float HsiPi = 3.1415925f;
constexpr float HsiTwoPi = 6.283185f;

void ConvertToHsi(const platform::Bitmap24& bitmap);
// Makes HsiResultBitmap a copy of `templ` and writes the planes into it. Only
// the area both share is written, should the template's size differ from the
// planes'.
void ConvertFromHsi(const platform::Bitmap24& templ);

// How a red-green colour-blind viewer is taken to see the frame.
void SimulateRedGreen();
// Level 1: every hue moved along the curve.
void CorrectHues(const CubicCoefficients& curve);
// Level 2: reds and non-reds set apart in brightness.
void SeparateRedLightness();
// Middle saturations raised along an arc (128 → 180).
void BoostSaturation();

// y at x of the circle through three points: the lower half when the middle
// point lies below the diagonal (y2 < x2), else the upper half.
float CircleArcValue(float x, int x1, int y1, int x2, int y2, int x3, int y3);
// Two bumps of height 135 at hues 180 and 325.
float HueBumps(float h);
// The hue a red-green colour-blind viewer is taken to see.
float SimulatedHue(float h);
