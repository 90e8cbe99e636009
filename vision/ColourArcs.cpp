#include "vision/ColourVision.h"

#include <cmath>

float CircleArcValue(float x, int x1, int y1, int x2, int y2, int x3, int y3) {
    // The centre from the perpendicular bisectors, in integers up to the one
    // real division.
    const long long p = 1LL * x2 * x2 + 1LL * y2 * y2 - 1LL * x1 * x1 - 1LL * y1 * y1;
    const long long q = 1LL * x3 * x3 + 1LL * y3 * y3 - 1LL * x2 * x2 - 1LL * y2 * y2;
    const long long k = 4 * (1LL * (x2 - x1) * (y3 - y2) - 1LL * (y2 - y1) * (x3 - x2));
    const float cx = static_cast<float>(static_cast<double>(2 * (y3 - y2) * p - 2 * (y2 - y1) * q) / k);
    const float cy = static_cast<float>(static_cast<double>(2 * (x2 - x1) * q - 2 * (x3 - x2) * p) / k);
    const double dx1 = x1 - static_cast<double>(cx);
    const double dy1 = y1 - static_cast<double>(cy);
    const float rho = static_cast<float>(std::sqrt(dx1 * dx1 + dy1 * dy1));

    const double dx = static_cast<double>(x) - cx;
    const double halfChord = std::sqrt(static_cast<double>(rho) * rho - dx * dx);
    if (y2 < x2)
        return static_cast<float>(cy - halfChord);
    return static_cast<float>(cy + halfChord);
}

float HueBumps(float h) {
    const double a = static_cast<double>(h) - 180.0;
    const double b = static_cast<double>(h) - 325.0;
    return static_cast<float>(135.0 * std::exp(-0.05 * (a * a)) + 135.0 * std::exp(-0.05 * (b * b)));
}

float SimulatedHue(float h) {
    if (h >= 180.0f && h < 330.0f)
        return CircleArcValue(h, 180, 180, 240, 240, 360, 180);
    return static_cast<float>(static_cast<double>(HueBumps(h)) + 45.0);
}
