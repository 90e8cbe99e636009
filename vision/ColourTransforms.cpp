#include "vision/ColourVision.h"
#include "vision/PixelTransforms.h"

#include <cstddef>

namespace {

std::size_t planeSize() {
    return static_cast<std::size_t>(HsiWidth) * static_cast<std::size_t>(HsiHeight);
}

} // namespace

void SimulateRedGreen() {
    const std::size_t n = planeSize();
    float* hue = HuePlane.data();
    float* saturation = SaturationPlane.data();
    for (std::size_t k = 0; k < n; ++k) {
        const HueSaturation seen = SimulatedHueSaturation(hue[k], saturation[k]);
        hue[k] = seen.H;
        saturation[k] = seen.S;
    }
}

void BoostSaturation() {
    const std::size_t n = planeSize();
    float* saturation = SaturationPlane.data();
    for (std::size_t k = 0; k < n; ++k)
        saturation[k] = BoostedSaturation(saturation[k]);
}

void CorrectHues(const CubicCoefficients& curve) {
    const std::size_t n = planeSize();
    float* hue = HuePlane.data();
    for (std::size_t k = 0; k < n; ++k)
        hue[k] = CorrectedHue(hue[k], curve);
}

LightnessChange LightnessChangeOf(const LightnessGroup& reds, const LightnessGroup& others) {
    using Group = LightnessChange::Group;
    if (reds.pixels > others.pixels) {
        if (others.largest > others.smallest)
            return {Group::NonReds, others.smallest, static_cast<double>(others.largest) - others.smallest};
    } else if (reds.largest > reds.smallest) {
        return {Group::Reds, reds.smallest, static_cast<double>(reds.largest) - reds.smallest};
    }
    return {};
}

void SeparateRedLightness() {
    const std::size_t n = planeSize();
    float* intensity = IntensityPlane.data();
    const float* hue = HuePlane.data();

    LightnessGroup reds, others;
    for (std::size_t k = 0; k < n; ++k) {
        const float I = intensity[k];
        if (!TakesPartInLightness(I))
            continue;
        if (IsRedHue(hue[k]))
            reds.add(I);
        else
            others.add(I);
    }

    // A loop per group rescaled, rather than SeparatedIntensity asking for
    // the group at every pixel: that costs this pass a fifth of its time.
    const LightnessChange change = LightnessChangeOf(reds, others);
    if (change.rescaled == LightnessChange::Group::NonReds) {
        for (std::size_t k = 0; k < n; ++k)
            intensity[k] = SpreadNonRed(intensity[k], hue[k], change);
    } else if (change.rescaled == LightnessChange::Group::Reds) {
        for (std::size_t k = 0; k < n; ++k)
            intensity[k] = SqueezeRed(intensity[k], hue[k], change);
    }
}
