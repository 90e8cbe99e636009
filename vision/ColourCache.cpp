#include "vision/ColourCache.h"

#include "vision/ColourVision.h"
#include "vision/HsiPixel.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

using platform::Bitmap24;

namespace {

// A colour table that grows to this many colours is dropped and refilled.
constexpr std::size_t kColourBudget = std::size_t(1) << 20;

// Colour → 32-bit word, open addressing with linear probing; a slot is
// (colour + 1) << 32 | word, 0 when free. Kept at most half full, so a
// look-up usually ends at its first slot.
class ColourTable {
public:
    // Before a frame of `pixels` pixels: dropped if it could grow past its
    // budget in this frame.
    void prepare(std::size_t pixels) {
        if (m_colours + pixels > kColourBudget)
            reset();
        if (m_slots.empty())
            rehash(4096);
    }

    // The word kept for `colour`, or 0.
    std::uint32_t find(std::uint32_t colour) const {
        const std::uint64_t key = std::uint64_t(colour + 1) << 32;
        for (std::size_t i = slotOf(colour);; i = (i + 1) & m_mask) {
            const std::uint64_t slot = m_slots[i];
            if ((slot & ~std::uint64_t(0xFFFFFFFF)) == key)
                return static_cast<std::uint32_t>(slot);
            if (slot == 0)
                return 0;
        }
    }

    // `colour` must not be in the table yet; `word` must not be 0.
    void store(std::uint32_t colour, std::uint32_t word) {
        if (2 * (m_colours + 1) > m_slots.size())
            rehash(2 * m_slots.size());
        std::size_t i = slotOf(colour);
        while (m_slots[i] != 0)
            i = (i + 1) & m_mask;
        m_slots[i] = (std::uint64_t(colour + 1) << 32) | word;
        ++m_colours;
    }

    void reset() {
        std::vector<std::uint64_t>().swap(m_slots);
        m_colours = 0;
        m_mask = 0;
        m_shift = 64;
    }

    std::size_t colours() const { return m_colours; }
    std::size_t bytes() const { return m_slots.capacity() * sizeof(std::uint64_t); }

private:
    std::size_t slotOf(std::uint32_t colour) const {
        return static_cast<std::size_t>((colour * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    void rehash(std::size_t size) {
        std::vector<std::uint64_t> old;
        old.swap(m_slots);
        m_slots.assign(size, 0);
        m_mask = size - 1;
        m_shift = 64 - __builtin_ctzll(size);
        m_colours = 0;
        for (std::uint64_t slot : old)
            if (slot != 0)
                store(static_cast<std::uint32_t>(slot >> 32) - 1, static_cast<std::uint32_t>(slot));
    }

    std::vector<std::uint64_t> m_slots;
    std::size_t m_colours = 0;
    std::size_t m_mask = 0;
    int m_shift = 64;
};

std::uint32_t colourOf(const std::uint8_t* bgr) {
    return bgr[0] | (std::uint32_t(bgr[1]) << 8) | (std::uint32_t(bgr[2]) << 16);
}

constexpr std::uint32_t kKnown = 1u << 24;

std::uint32_t packBytes(const std::uint8_t* bgr) {
    return kKnown | bgr[0] | (std::uint32_t(bgr[1]) << 8) | (std::uint32_t(bgr[2]) << 16);
}

// The per-pixel bodies of the plane transforms.
float simulationArc(float x) {
    return CircleArcValue(x, 0, 0, 128, 100, 256, 256);
}
float boostArc(float x) {
    return CircleArcValue(x, 0, 0, 128, 180, 255, 255);
}
double gaussian(double d) {
    return std::exp(-0.00125 * (d * d));
}

std::uint32_t simulatedColour(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    HsiValue v = HsiOfPixel(b, g, r);
    const double H = v.H;
    const float simulated = SimulatedHue(v.H);
    const double w = gaussian(H - 180.0) + 0.8 * gaussian(H - 330.0) + 0.8 * gaussian(H + 360.0 - 330.0);
    v.H = simulated;
    const float scaled = static_cast<float>(v.S * (1.0 - w));
    v.S = simulationArc(scaled);
    std::uint8_t out[3];
    BytesOfShares(v.I, HsiSharesOf(v.H, v.S), out);
    return packBytes(out);
}

std::uint32_t lowLevelColour(std::uint8_t b, std::uint8_t g, std::uint8_t r, const CubicCoefficients& curve) {
    HsiValue v = HsiOfPixel(b, g, r);
    float h = v.H;
    if (h > 330.0f)
        h = static_cast<float>(360.0 - h);
    float y = EvaluateCurve(curve, h);
    if (y < 0.0f)
        y = static_cast<float>(static_cast<double>(y) + 360.0);
    if (y >= 360.0f)
        y = static_cast<float>(static_cast<double>(y) - 360.0);
    v.H = y;
    v.S = boostArc(v.S);
    std::uint8_t out[3];
    BytesOfShares(v.I, HsiSharesOf(v.H, v.S), out);
    return packBytes(out);
}

Bitmap24& resultBitmapFor(const Bitmap24& capture) {
    if (HsiResultBitmap == nullptr)
        HsiResultBitmap = new Bitmap24();
    // Every pixel is written below, so a bitmap of the right size needs no
    // copy of the template first.
    HsiResultBitmap->setSize(capture.width(), capture.height());
    return *HsiResultBitmap;
}

template <typename Compute> void mapColours(ColourTable& table, Bitmap24& capture, Compute compute) {
    Bitmap24& result = resultBitmapFor(capture);
    if (capture.isEmpty()) {
        capture.assign(result);
        return;
    }
    const int width = capture.width();
    table.prepare(static_cast<std::size_t>(width) * capture.height());
    // Screens repeat colours in runs: a pixel like the one before it takes
    // the same word without a look-up.
    std::uint32_t lastColour = ~0u, word = 0;
    for (int y = 0; y < capture.height(); ++y) {
        const std::uint8_t* in = capture.scanLine(y);
        std::uint8_t* out = result.scanLine(y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            const std::uint32_t colour = colourOf(in);
            if (colour != lastColour) {
                lastColour = colour;
                word = table.find(colour);
                if (word == 0) {
                    word = compute(in[0], in[1], in[2]);
                    table.store(colour, word);
                }
            }
            out[0] = static_cast<std::uint8_t>(word);
            out[1] = static_cast<std::uint8_t>(word >> 8);
            out[2] = static_cast<std::uint8_t>(word >> 16);
        }
    }
    capture.assign(result);
}

ColourTable simulationTable;
ColourTable lowLevelTable;
CubicCoefficients lowLevelCurve{};

// Level 2: what a colour keeps whatever the frame; the table holds slot + 1.
struct HighLevelColour {
    float I, H;
    HsiShares shares; // of the boosted saturation
};
ColourTable highLevelTable;
std::vector<HighLevelColour> highLevelColours;
std::vector<std::uint32_t> frameSlots; // per pixel of the frame, reused

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

void SimulateRedGreenFast(Bitmap24& capture) {
    mapColours(simulationTable, capture, simulatedColour);
}

void CorrectLowLevelFast(Bitmap24& capture, const CubicCoefficients& curve) {
    if (std::memcmp(&curve, &lowLevelCurve, sizeof curve) != 0) {
        lowLevelTable.reset();
        lowLevelCurve = curve;
    }
    mapColours(lowLevelTable, capture, [&curve](std::uint8_t b, std::uint8_t g, std::uint8_t r) {
        return lowLevelColour(b, g, r, curve);
    });
}

void CorrectHighLevelFast(Bitmap24& capture) {
    Bitmap24& result = resultBitmapFor(capture);
    if (capture.isEmpty()) {
        capture.assign(result);
        return;
    }
    const std::size_t count = static_cast<std::size_t>(capture.width()) * capture.height();
    if (highLevelColours.size() + count > kColourBudget) {
        highLevelTable.reset();
        std::vector<HighLevelColour>().swap(highLevelColours);
    }
    highLevelTable.prepare(count);
    frameSlots.resize(count);

    // The colours of the frame and the statistics of SeparateRedLightness.
    const int width = capture.width();
    GroupStats reds, others;
    std::uint32_t* slot = frameSlots.data();
    std::uint32_t lastColour = ~0u, word = 0;
    for (int y = 0; y < capture.height(); ++y) {
        const std::uint8_t* in = capture.scanLine(y);
        for (int x = 0; x < width; ++x, in += 3) {
            const std::uint32_t colour = colourOf(in);
            if (colour != lastColour) {
                lastColour = colour;
                word = highLevelTable.find(colour);
                if (word == 0) {
                    const HsiValue v = HsiOfPixel(in[0], in[1], in[2]);
                    highLevelColours.push_back({v.I, v.H, HsiSharesOf(v.H, boostArc(v.S))});
                    word = static_cast<std::uint32_t>(highLevelColours.size());
                    highLevelTable.store(colour, word);
                }
            }
            *slot++ = word - 1;
            const HighLevelColour& c = highLevelColours[word - 1];
            if (takesPart(c.I)) {
                if (isRed(c.H))
                    reds.add(c.I);
                else
                    others.add(c.I);
            }
        }
    }

    // Which pixels move, as SeparateRedLightness decides it.
    enum class Change { None, NonReds, Reds } change = Change::None;
    double smallest = 0.0, range = 1.0;
    if (reds.count > others.count) {
        if (others.largest > others.smallest) {
            change = Change::NonReds;
            smallest = others.smallest;
            range = static_cast<double>(others.largest) - smallest;
        }
    } else if (reds.largest > reds.smallest) {
        change = Change::Reds;
        smallest = reds.smallest;
        range = static_cast<double>(reds.largest) - smallest;
    }

    slot = frameSlots.data();
    const HighLevelColour* colours = highLevelColours.data();
    for (int y = 0; y < capture.height(); ++y) {
        std::uint8_t* out = result.scanLine(y);
        for (int x = 0; x < width; ++x, out += 3) {
            const HighLevelColour& c = colours[*slot++];
            float I = c.I;
            const float h = c.H;
            if (change == Change::NonReds) {
                if (takesPart(I) && h > 40.0f && h < 345.0f)
                    I = static_cast<float>((I - smallest) * 150.0 / range);
            } else if (change == Change::Reds && takesPart(I) && isRed(h)) {
                const double m = (I - smallest) * 120.0 / range;
                if (h > 35.0f && h < 40.0f) {
                    const double t = (h - 35.0) * 0.2;
                    I = static_cast<float>((1.0 - t) * m + t * I);
                } else if (h > 345.0f && h < 350.0f) {
                    const double t = (h - 345.0) * 0.2;
                    I = static_cast<float>(t * m + (1.0 - t) * I);
                } else {
                    I = static_cast<float>(m);
                }
            }
            BytesOfShares(I, c.shares, out);
        }
    }
    capture.assign(result);
}

ColourCacheUsage ColourCacheUsageNow() {
    return {simulationTable.colours(), lowLevelTable.colours(), highLevelTable.colours(),
            simulationTable.bytes() + lowLevelTable.bytes() + highLevelTable.bytes() +
                highLevelColours.capacity() * sizeof(HighLevelColour) + frameSlots.capacity() * 4};
}

void ResetColourCaches() {
    simulationTable.reset();
    lowLevelTable.reset();
    highLevelTable.reset();
    std::vector<HighLevelColour>().swap(highLevelColours);
    std::vector<std::uint32_t>().swap(frameSlots);
}
