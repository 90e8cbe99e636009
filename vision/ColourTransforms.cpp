#include "vision/ColourVision.h"

#include <cmath>
#include <cstddef>

namespace {

std::size_t planeSize() {
    return static_cast<std::size_t>(HsiWidth) * static_cast<std::size_t>(HsiHeight);
}

// The arcs the saturation transforms follow, as (x1, y1, x2, y2, x3, y3).
constexpr int BoostArc[6] = {0, 0, 128, 180, 255, 255};
constexpr int SimulationArc[6] = {0, 0, 128, 100, 256, 256};

float onArc(float x, const int (&a)[6]) {
    return CircleArcValue(x, a[0], a[1], a[2], a[3], a[4], a[5]);
}

double gaussian(double d) {
    return std::exp(-0.00125 * (d * d));
}

} // namespace

void SimulateRedGreen() {
    const std::size_t n = planeSize();
    float* hue = HuePlane.data();
    float* saturation = SaturationPlane.data();
    for (std::size_t k = 0; k < n; ++k) {
        const double H = hue[k];
        const float simulated = SimulatedHue(hue[k]);
        // Cyan (180) goes fully grey, magenta-red (330, and −30 through the
        // third term) keeps a fifth of its saturation.
        const double w = gaussian(H - 180.0) + 0.8 * gaussian(H - 330.0) + 0.8 * gaussian(H + 360.0 - 330.0);
        hue[k] = simulated;
        const float scaled = static_cast<float>(saturation[k] * (1.0 - w));
        saturation[k] = onArc(scaled, SimulationArc);
    }
}

void BoostSaturation() {
    const std::size_t n = planeSize();
    float* saturation = SaturationPlane.data();
    for (std::size_t k = 0; k < n; ++k)
        saturation[k] = onArc(saturation[k], BoostArc);
}

void CorrectHues(const CubicCoefficients& curve) {
    const std::size_t n = planeSize();
    float* hue = HuePlane.data();
    for (std::size_t k = 0; k < n; ++k) {
        float h = hue[k];
        // Hues above 330 are folded onto 0..30 and kept so.
        if (h > 330.0f)
            h = static_cast<float>(360.0 - h);
        float y = EvaluateCurve(curve, h);
        if (y < 0.0f)
            y = static_cast<float>(static_cast<double>(y) + 360.0);
        if (y >= 360.0f)
            y = static_cast<float>(static_cast<double>(y) - 360.0);
        hue[k] = y;
    }
}

namespace {

struct GroupStats {
    int count = 0;
    float largest = 0.0f;
    float smallest = 255.0f;

    void add(float intensity) {
        ++count;
        if (intensity > largest)
            largest = intensity;
        if (intensity < smallest)
            smallest = intensity;
    }
};

bool takesPart(float intensity) {
    return intensity > 10.0f && intensity < 250.0f;
}
bool isRed(float hue) {
    return hue < 40.0f || hue > 345.0f;
}

} // namespace

void SeparateRedLightness() {
    const std::size_t n = planeSize();
    float* intensity = IntensityPlane.data();
    const float* hue = HuePlane.data();

    GroupStats reds, others;
    for (std::size_t k = 0; k < n; ++k) {
        if (!takesPart(intensity[k]))
            continue;
        if (isRed(hue[k]))
            reds.add(intensity[k]);
        else
            others.add(intensity[k]);
    }

    if (reds.count > others.count) {
        // The non-reds spread over 0..150; hues exactly 40 and 345 counted as
        // non-red above but are left alone here.
        if (!(others.largest > others.smallest))
            return;
        const double smallest = others.smallest;
        const double range = static_cast<double>(others.largest) - smallest;
        for (std::size_t k = 0; k < n; ++k) {
            if (takesPart(intensity[k]) && hue[k] > 40.0f && hue[k] < 345.0f)
                intensity[k] = static_cast<float>((intensity[k] - smallest) * 150.0 / range);
        }
        return;
    }

    // The reds squeezed into 0..120, blended over five degrees at both borders
    // of the red group.
    if (!(reds.largest > reds.smallest))
        return;
    const double smallest = reds.smallest;
    const double range = static_cast<double>(reds.largest) - smallest;
    for (std::size_t k = 0; k < n; ++k) {
        const float h = hue[k];
        const float I = intensity[k];
        if (!takesPart(I) || !isRed(h))
            continue;
        const double m = (I - smallest) * 120.0 / range;
        if (h > 35.0f && h < 40.0f) {
            const double t = (h - 35.0) * 0.2;
            intensity[k] = static_cast<float>((1.0 - t) * m + t * I);
        } else if (h > 345.0f && h < 350.0f) {
            const double t = (h - 345.0) * 0.2;
            intensity[k] = static_cast<float>(t * m + (1.0 - t) * I);
        } else {
            intensity[k] = static_cast<float>(m);
        }
    }
}
