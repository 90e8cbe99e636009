// The HSI conversions one pixel at a time, for the per-colour fast paths.
//
// Each step is the same expression, in the same precision and order, as the
// plane loops of ConvertToHsi and ConvertFromHsi, so a pixel comes out with
// the same bits; the tests compare both over every 24-bit colour. The way
// back is split in two: the channel shares depend on hue and saturation
// only, so a colour's shares can be kept while its intensity changes.
#pragma once

#include "vision/ColourVision.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

struct HsiValue {
    float I, S, H;
};

// The shares of blue, green and red, before intensity scales them.
struct HsiShares {
    float blue, green, red;
};

inline HsiValue HsiOfPixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    const double pi = HsiPi;
    const double twoPi = HsiTwoPi;
    const double b = blue / 255.0;
    const double g = green / 255.0;
    const double r = red / 255.0;
    const float I = static_cast<float>((r + g + b) * 255.0 / 3.0);
    if (I == 255.0f)
        return {255.0f, 255.0f, 359.0f};
    if (I == 0.0f)
        return {I, 0.0f, 0.0f};
    const double smallest = std::min(r, std::min(g, b));
    const float S = static_cast<float>((1.0 - 3.0 * smallest / (r + g + b)) * 255.0);
    const double num = ((r - g) + (r - b)) * 0.5;
    const double q = (r - g) * (r - g) + (r - b) * (g - b);
    double u = q > 0.0 ? num / std::sqrt(q) : 0.0;
    if (u > 1.0)
        u = 1.0;
    else if (u < -1.0)
        u = -1.0;
    const double theta = std::acos(u);
    const float H =
        g >= b ? static_cast<float>(theta * 180.0 / pi) : static_cast<float>((twoPi - theta) * 359.0 / twoPi);
    return {I, S, H};
}

namespace hsi_detail {

inline float leadingShare(float s, float h, float piThird) {
    return static_cast<float>(
        (1.0 + s * std::cos(static_cast<double>(h)) / std::cos(static_cast<double>(piThird) - h)) / 3.0);
}

inline std::uint8_t shareToByte(float share, float i) {
    float scaled = static_cast<float>(3.0 * i * share);
    if (scaled > 1.0f)
        scaled = 1.0f;
    return static_cast<std::uint8_t>(static_cast<int>(scaled * 255.0));
}

} // namespace hsi_detail

inline HsiShares HsiSharesOf(float H, float S) {
    const float twoPi = HsiTwoPi;
    const float piThird = static_cast<float>(static_cast<double>(HsiPi) * (1.0 / 3.0));
    const float twoPiThird = static_cast<float>(static_cast<double>(twoPi) * (1.0 / 3.0));
    const float fourPiThird = static_cast<float>(static_cast<double>(twoPi) * 2.0 * (1.0 / 3.0));
    float h = static_cast<float>(H * (1.0 / 359.0) * twoPi);
    const float s = static_cast<float>(S / 255.0);
    const float minorShare = static_cast<float>((1.0 - s) / 3.0);
    float red, green, blue;
    if (h >= 0.0f && h < twoPiThird) {
        blue = minorShare < 0.0f ? 0.0f : minorShare;
        if (std::fabs(static_cast<double>(h) - piThird) < 0.00001)
            h = piThird;
        red = hsi_detail::leadingShare(s, h, piThird);
        if (red > 1.0f)
            red = 1.0f;
        green = static_cast<float>(1.0 - (static_cast<double>(red) + blue));
        if (green < 0.0f)
            green = 0.0f;
    } else if (h >= twoPiThird && h < fourPiThird) {
        const float hp = static_cast<float>(static_cast<double>(h) - twoPiThird);
        red = minorShare;
        green = hsi_detail::leadingShare(s, hp, piThird);
        blue = static_cast<float>(1.0 - (static_cast<double>(red) + green));
    } else {
        const float hp = static_cast<float>(static_cast<double>(h) - fourPiThird);
        green = minorShare;
        blue = hsi_detail::leadingShare(s, hp, piThird);
        red = static_cast<float>(1.0 - (static_cast<double>(green) + blue));
    }
    return {blue, green, red};
}

// Writes blue, green, red to pixel[0..2].
inline void BytesOfShares(float I, const HsiShares& shares, std::uint8_t* pixel) {
    if (I == 255.0f) {
        pixel[0] = pixel[1] = pixel[2] = 255;
        return;
    }
    const float i = static_cast<float>(I / 255.0);
    if (i == 0.0f) {
        pixel[0] = pixel[1] = pixel[2] = 0;
        return;
    }
    pixel[0] = hsi_detail::shareToByte(shares.blue, i);
    pixel[1] = hsi_detail::shareToByte(shares.green, i);
    pixel[2] = hsi_detail::shareToByte(shares.red, i);
}
