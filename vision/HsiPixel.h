// The HSI conversions of one pixel: the only place they are written. The
// plane loops (ConvertToHsi, ConvertFromHsi) and the per-colour caches
// (vision/ColourCache.cpp) call these same functions, inline so that the
// loops stay as tight as if they were written out in them.
//
// The way back is split in two: the channel shares depend on hue and
// saturation only, so level 2 keeps a colour's shares while its intensity
// changes from frame to frame.
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

// Intensity alone, as HsiOfPixel gives it.
inline float HsiIntensity(double r, double g, double b) {
    return static_cast<float>((r + g + b) * 255.0 / 3.0);
}
inline float HsiIntensity(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return HsiIntensity(red / 255.0, green / 255.0, blue / 255.0);
}

// r, g, b and every intermediate in double; only the three plane values are
// rounded to single precision. Each is written as soon as it is known, which
// keeps the plane loop from holding it across the arccosine.
inline void HsiOfPixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red, float& I, float& S,
                       float& H) {
    const double pi = HsiPi;
    const double twoPi = HsiTwoPi;
    const double b = blue / 255.0;
    const double g = green / 255.0;
    const double r = red / 255.0;
    I = HsiIntensity(r, g, b);
    if (I == 255.0f) {
        S = 255.0f;
        H = 359.0f;
        return;
    }
    if (I == 0.0f) {
        S = 0.0f;
        H = 0.0f;
        return;
    }
    const double smallest = std::min(r, std::min(g, b));
    S = static_cast<float>((1.0 - 3.0 * smallest / (r + g + b)) * 255.0);
    const double num = ((r - g) + (r - b)) * 0.5;
    const double q = (r - g) * (r - g) + (r - b) * (g - b);
    double u = q > 0.0 ? num / std::sqrt(q) : 0.0;
    if (u > 1.0)
        u = 1.0;
    else if (u < -1.0)
        u = -1.0;
    const double theta = std::acos(u);
    H = g >= b ? static_cast<float>(theta * 180.0 / pi) : static_cast<float>((twoPi - theta) * 359.0 / twoPi);
}

inline HsiValue HsiOfPixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    HsiValue v;
    HsiOfPixel(blue, green, red, v.I, v.S, v.H);
    return v;
}

namespace hsi_detail {

// (1 + s·cos h / cos(π/3 − h)) / 3, the share of the sector's leading channel.
inline float leadingShare(float s, float h, float piThird) {
    return static_cast<float>(
        (1.0 + s * std::cos(static_cast<double>(h)) / std::cos(static_cast<double>(piThird) - h)) / 3.0);
}

// White at full intensity, black where i rounds to 0: no shares needed.
inline bool writeWhiteOrBlack(float I, std::uint8_t* pixel) {
    if (I == 255.0f) {
        pixel[0] = pixel[1] = pixel[2] = 255;
        return true;
    }
    if (static_cast<float>(I / 255.0) == 0.0f) {
        pixel[0] = pixel[1] = pixel[2] = 0;
        return true;
    }
    return false;
}

inline std::uint8_t shareToByte(float share, float i) {
    float scaled = static_cast<float>(3.0 * i * share);
    if (scaled > 1.0f)
        scaled = 1.0f;
    // Truncation toward zero; the byte keeps the low 8 bits of the integer.
    return static_cast<std::uint8_t>(static_cast<int>(scaled * 255.0));
}

inline void writeShares(float I, const HsiShares& shares, std::uint8_t* pixel) {
    const float i = static_cast<float>(I / 255.0);
    pixel[0] = shareToByte(shares.blue, i);
    pixel[1] = shareToByte(shares.green, i);
    pixel[2] = shareToByte(shares.red, i);
}

} // namespace hsi_detail

// The way back holds in single precision what it stores: h, s, the sector
// bounds π/3, 2π/3 and 4π/3 (each the float π or 2π times the double 1/3,
// rounded to float), the shifted hue of the upper sectors, and the three
// shares, each rounded before the next is derived from it. Everything between
// is evaluated in double. That is the reading kept: holding the bounds and the
// shares in double instead moves channel values by one, one in 10 over every
// 24-bit colour's round trip (whose bytes sit right on the truncation) and
// about one in 100,000 after level 1 or the simulation.
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

// Writes blue, green, red to pixel[0..2]: the shares scaled by intensity I.
inline void BytesOfShares(float I, const HsiShares& shares, std::uint8_t* pixel) {
    if (!hsi_detail::writeWhiteOrBlack(I, pixel))
        hsi_detail::writeShares(I, shares, pixel);
}

// The pixel of (I, S, H), blue, green, red to pixel[0..2]; white and black
// are settled before any share is computed.
inline void PixelOfHsi(float I, float S, float H, std::uint8_t* pixel) {
    if (!hsi_detail::writeWhiteOrBlack(I, pixel))
        hsi_detail::writeShares(I, HsiSharesOf(H, S), pixel);
}
