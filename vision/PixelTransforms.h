// The red-green transforms of one pixel's hue, saturation and intensity: the
// only place they are written. The plane loops (vision/ColourTransforms.cpp)
// and the per-colour caches (vision/ColourCache.cpp) call these same
// functions, inline so that the loops stay as tight as if written out in them.
#pragma once

#include "vision/ColourVision.h"
#include "vision/HueCurve.h"

#include <algorithm>
#include <cmath>

struct HueSaturation {
    float H, S;
};

namespace transform_detail {

inline double gaussian(double d) {
    return std::exp(-0.00125 * (d * d));
}

} // namespace transform_detail

// How a red-green colour-blind viewer is taken to see hue H at saturation S.
// Cyan (180) goes fully grey, magenta-red (330, and −30 through the third
// term) keeps a fifth of its saturation; an arc then lowers the middle
// saturations (128 → 100).
inline HueSaturation SimulatedHueSaturation(float H, float S) {
    using transform_detail::gaussian;
    const double h = H;
    const double w = gaussian(h - 180.0) + 0.8 * gaussian(h - 330.0) + 0.8 * gaussian(h + 360.0 - 330.0);
    const float scaled = static_cast<float>(S * (1.0 - w));
    return {SimulatedHue(H), CircleArcValue(scaled, 0, 0, 128, 100, 256, 256)};
}

// Level 1: hue H moved along the curve. Hues above 330 are folded onto
// 0..30 first; the result is wrapped into 0..360.
inline float CorrectedHue(float H, const CubicCoefficients& curve) {
    const float h = H > 330.0f ? static_cast<float>(360.0 - H) : H;
    float y = EvaluateCurve(curve, h);
    if (y < 0.0f)
        y = static_cast<float>(static_cast<double>(y) + 360.0);
    if (y >= 360.0f)
        y = static_cast<float>(static_cast<double>(y) - 360.0);
    return y;
}

// Middle saturations raised along an arc (128 → 180); 0 and 255 stay.
inline float BoostedSaturation(float S) {
    return CircleArcValue(S, 0, 0, 128, 180, 255, 255);
}

// Level 2 sets reds and non-reds apart in brightness. Only pixels of middle
// intensity take part, in the statistics and in the change alike.
inline bool TakesPartInLightness(float I) {
    return I > 10.0f && I < 250.0f;
}
// Hues exactly 40 and 345 count as non-red, though the change leaves them
// alone.
inline bool IsRedHue(float H) {
    return H < 40.0f || H > 345.0f;
}

// One group of level 2's statistics, reds or non-reds: its pixels and the
// span of their intensities. An empty group's 0 and 255 span nothing, so it
// is never rescaled, and they change nothing when groups are merged.
struct LightnessGroup {
    int pixels = 0;
    float largest = 0.0f;
    float smallest = 255.0f;

    void add(float I) {
        ++pixels;
        widen(I);
    }
    // The span alone, for a caller that counts a run of one colour itself.
    void widen(float I) {
        if (I > largest)
            largest = I;
        if (I < smallest)
            smallest = I;
    }
    // Counts and spans do not depend on the order pixels come in.
    void merge(const LightnessGroup& other) {
        pixels += other.pixels;
        largest = std::max(largest, other.largest);
        smallest = std::min(smallest, other.smallest);
    }
};

// How level 2 moves a frame's intensities: the larger group is rescaled from
// its own span, the smaller one keeps its brightness.
struct LightnessChange {
    enum class Group { None, NonReds, Reds };
    Group rescaled = Group::None;
    double smallest = 0.0, range = 1.0;

    bool operator==(const LightnessChange& o) const {
        return rescaled == o.rescaled && smallest == o.smallest && range == o.range;
    }
};

LightnessChange LightnessChangeOf(const LightnessGroup& reds, const LightnessGroup& others);

// A pixel's intensity when the non-reds are rescaled: they spread over
// 0..150. Hues exactly 40 and 345 stay.
inline float SpreadNonRed(float I, float H, const LightnessChange& c) {
    if (TakesPartInLightness(I) && H > 40.0f && H < 345.0f)
        return static_cast<float>((I - c.smallest) * 150.0 / c.range);
    return I;
}

// A pixel's intensity when the reds are rescaled: they are squeezed into
// 0..120, blended over five degrees at both borders of the red group.
inline float SqueezeRed(float I, float H, const LightnessChange& c) {
    if (!TakesPartInLightness(I) || !IsRedHue(H))
        return I;
    const double m = (I - c.smallest) * 120.0 / c.range;
    if (H > 35.0f && H < 40.0f) {
        const double t = (H - 35.0) * 0.2;
        return static_cast<float>((1.0 - t) * m + t * I);
    }
    if (H > 345.0f && H < 350.0f) {
        const double t = (H - 345.0) * 0.2;
        return static_cast<float>(t * m + (1.0 - t) * I);
    }
    return static_cast<float>(m);
}

// A pixel's intensity under the frame's change.
inline float SeparatedIntensity(float I, float H, const LightnessChange& c) {
    switch (c.rescaled) {
    case LightnessChange::Group::NonReds:
        return SpreadNonRed(I, H, c);
    case LightnessChange::Group::Reds:
        return SqueezeRed(I, H, c);
    case LightnessChange::Group::None:
        break;
    }
    return I;
}
