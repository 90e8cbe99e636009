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

constexpr std::size_t kColours = std::size_t(1) << 24;
constexpr std::size_t kBlockColours = 1024; // one 4 KiB page of 32-bit entries
constexpr std::size_t kBlocks = kColours / kBlockColours;
constexpr std::size_t kBlockBudget = 4096; // 16 MiB of written pages per table
constexpr std::size_t kHighLevelBudget = std::size_t(1) << 20;

// Table index of a colour: the high bits (r/8, g/8, b/16) pick the block and
// the low bits the entry, so that neighbouring colours (a gradient, the grey
// ramp of anti-aliased text) share few pages. Three small tables make it
// three loads and two ORs.
struct ColourIndex {
    std::uint32_t red[256], green[256], blue[256];
    ColourIndex() {
        for (std::uint32_t v = 0; v < 256; ++v) {
            red[v] = ((v >> 3) << 19) | ((v & 7) << 7);
            green[v] = ((v >> 3) << 14) | ((v & 7) << 4);
            blue[v] = ((v >> 4) << 10) | (v & 15);
        }
    }
    std::uint32_t operator()(std::uint8_t b, std::uint8_t g, std::uint8_t r) const {
        return red[r] | green[g] | blue[b];
    }
};
const ColourIndex colourIndex;

// 2^24 words, 0 meaning "not computed yet". calloc hands a block this large
// over as fresh zero pages that the system maps only once they are written.
class ColourTable {
public:
    ColourTable() = default;
    ColourTable(const ColourTable&) = delete;
    ColourTable& operator=(const ColourTable&) = delete;
    ~ColourTable() { std::free(m_words); }

    // Before a frame: allocated, and not grown past its budget.
    std::uint32_t* prepare() {
        if (overBudget())
            reset();
        if (!m_words) {
            m_words = static_cast<std::uint32_t*>(std::calloc(kColours, sizeof(std::uint32_t)));
            if (!m_words)
                throw std::bad_alloc();
            m_written.assign(kBlocks / 64, 0);
        }
        return m_words;
    }

    void store(std::uint32_t index, std::uint32_t word) {
        m_words[index] = word;
        ++m_colours;
        const std::size_t block = index / kBlockColours;
        std::uint64_t& bits = m_written[block / 64];
        const std::uint64_t bit = std::uint64_t(1) << (block % 64);
        if (!(bits & bit)) {
            bits |= bit;
            ++m_blocks;
        }
    }

    void reset() {
        std::free(m_words);
        m_words = nullptr;
        m_colours = 0;
        m_blocks = 0;
        m_written.clear();
    }

    bool overBudget() const { return m_blocks > kBlockBudget; }
    std::size_t colours() const { return m_colours; }
    std::size_t residentBytes() const { return m_blocks * kBlockColours * sizeof(std::uint32_t); }

private:
    std::uint32_t* m_words = nullptr;
    std::vector<std::uint64_t> m_written; // one bit per block
    std::size_t m_colours = 0;
    std::size_t m_blocks = 0;
};

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
    const std::uint32_t* words = table.prepare();
    const int width = capture.width();
    for (int y = 0; y < capture.height(); ++y) {
        const std::uint8_t* in = capture.scanLine(y);
        std::uint8_t* out = result.scanLine(y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            const std::uint32_t index = colourIndex(in[0], in[1], in[2]);
            std::uint32_t word = words[index];
            if (word == 0) {
                word = compute(in[0], in[1], in[2]);
                table.store(index, word);
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
    if (highLevelColours.size() + count > kHighLevelBudget || highLevelTable.overBudget()) {
        highLevelTable.reset();
        highLevelColours.clear();
    }
    std::uint32_t* words = highLevelTable.prepare();
    frameSlots.resize(count);

    // The colours of the frame and the statistics of SeparateRedLightness.
    const int width = capture.width();
    GroupStats reds, others;
    std::uint32_t* slot = frameSlots.data();
    for (int y = 0; y < capture.height(); ++y) {
        const std::uint8_t* in = capture.scanLine(y);
        for (int x = 0; x < width; ++x, in += 3) {
            const std::uint32_t index = colourIndex(in[0], in[1], in[2]);
            std::uint32_t word = words[index];
            if (word == 0) {
                const HsiValue v = HsiOfPixel(in[0], in[1], in[2]);
                highLevelColours.push_back({v.I, v.H, HsiSharesOf(v.H, boostArc(v.S))});
                word = static_cast<std::uint32_t>(highLevelColours.size());
                highLevelTable.store(index, word);
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
            simulationTable.residentBytes() + lowLevelTable.residentBytes() + highLevelTable.residentBytes() +
                highLevelColours.capacity() * sizeof(HighLevelColour) + frameSlots.capacity() * 4};
}

void ResetColourCaches() {
    simulationTable.reset();
    lowLevelTable.reset();
    highLevelTable.reset();
    std::vector<HighLevelColour>().swap(highLevelColours);
    std::vector<std::uint32_t>().swap(frameSlots);
}
