#include "vision/ColourCache.h"

#include "platform/RowSplit.h"
#include "vision/ColourVision.h"
#include "vision/HsiPixel.h"
#include "vision/PixelTransforms.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using platform::Bitmap24;

namespace {

// A table that could pass this many colours in the next frame is emptied and
// refilled. Until the lens reserves the tables for its frame size, they grow
// as colours come, up to 2^20 colours. Once reserved (ReserveColourCaches),
// the budget is the smallest power of two that holds a whole frame, and the
// slots for it are allocated at once: emptying keeps the memory, so what the
// running lens holds is fixed from its start instead of creeping up as new
// colours and modes come along.
std::size_t g_colourBudget = std::size_t(1) << 20;
bool g_reserved = false;

// Colour → 32-bit word, open addressing with linear probing; a slot is
// (colour + 1) << 32 | word, 0 when free. Kept at most half full, so a
// look-up usually ends at its first slot.
class ColourTable {
public:
    // Before a frame of `pixels` pixels: dropped if it could grow past its
    // budget in this frame.
    void prepare(std::size_t pixels) {
        if (m_colours + pixels > g_colourBudget)
            reset();
        if (m_slots.empty())
            rehash(g_reserved ? 2 * g_colourBudget : 4096);
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

    // Empties the table, keeping its memory.
    void reset() {
        std::fill(m_slots.begin(), m_slots.end(), 0);
        m_colours = 0;
    }

    // Empties the table and gives its memory back.
    void release() {
        std::vector<std::uint64_t>().swap(m_slots);
        m_colours = 0;
        m_mask = 0;
        m_shift = 64;
    }

    std::size_t colours() const { return m_colours; }
    std::size_t bytes() const { return m_slots.capacity() * sizeof(std::uint64_t); }

private:
    // Colours of a screen come in gradients and near-greys, a few steps apart
    // in one channel or two: multiplied by 2^64/φ (Fibonacci hashing), every
    // bit of blue, green and red reaches the top bits that pick the slot, so
    // such neighbours land far apart instead of filling one run of slots.
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

// A table's find gives 0 for a colour it does not hold, and black's bytes
// pack to 0 too: the bit above the three bytes marks every word as a colour
// worked out, so black is kept like any other. Writing the bytes ignores it.
constexpr std::uint32_t kKnown = 1u << 24;

std::uint32_t packBytes(const std::uint8_t* bgr) {
    return kKnown | bgr[0] | (std::uint32_t(bgr[1]) << 8) | (std::uint32_t(bgr[2]) << 16);
}

// A colour through the plane sequences, one pixel's functions at a time.
std::uint32_t simulatedColour(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    const HsiValue v = HsiOfPixel(b, g, r);
    const HueSaturation seen = SimulatedHueSaturation(v.H, v.S);
    std::uint8_t out[3];
    PixelOfHsi(v.I, seen.S, seen.H, out);
    return packBytes(out);
}

std::uint32_t lowLevelColour(std::uint8_t b, std::uint8_t g, std::uint8_t r, const CubicCoefficients& curve) {
    const HsiValue v = HsiOfPixel(b, g, r);
    std::uint8_t out[3];
    PixelOfHsi(v.I, BoostedSaturation(v.S), CorrectedHue(v.H, curve), out);
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

// The three bytes of a word to the result and, in place, to the capture: the
// capture ends as a copy of the result without a pass of its own.
inline void putBytes(std::uint32_t word, std::uint8_t* result, std::uint8_t* capture) {
    const auto b = static_cast<std::uint8_t>(word), g = static_cast<std::uint8_t>(word >> 8),
               r = static_cast<std::uint8_t>(word >> 16);
    result[0] = capture[0] = b;
    result[1] = capture[1] = g;
    result[2] = capture[2] = r;
}

// Colours a part of a split frame met that the shared table did not hold:
// the table is only read while the parts run, and these are stored after.
// A small direct-mapped memo computes a colour that comes back in the same
// part once.
template <typename Value> class NewColours {
public:
    static constexpr std::size_t kMemo = 4096;

    // Makes room for `count` colours and touches it, so that frames up to
    // that many new colours allocate nothing.
    void reserve(std::size_t count) {
        m_colours.resize(count);
        m_values.resize(count);
        startFrame();
    }

    void startFrame() {
        if (!m_memo)
            m_memo.reset(new std::uint64_t[kMemo]());
        else if (m_memoUsed)
            std::memset(m_memo.get(), 0, kMemo * sizeof(std::uint64_t));
        m_memoUsed = false;
        m_colours.clear();
        m_values.clear();
    }

    // The index of `colour` in this part's list, computing its value first
    // if the memo does not know it.
    template <typename Compute> std::uint32_t indexOf(std::uint32_t colour, Compute compute) {
        // 2^32/φ spreads neighbouring colours as the tables' multiplier does;
        // the top 12 bits of the product pick one of the kMemo slots.
        std::uint64_t& memo = m_memo[(colour * 0x9E3779B1u) >> 20];
        if ((memo >> 32) == colour + 1)
            return static_cast<std::uint32_t>(memo);
        const auto index = static_cast<std::uint32_t>(m_colours.size());
        m_colours.push_back(colour);
        m_values.push_back(compute(colour));
        memo = (std::uint64_t(colour + 1) << 32) | index;
        m_memoUsed = true;
        return index;
    }

    std::size_t size() const { return m_colours.size(); }
    std::uint32_t colour(std::size_t i) const { return m_colours[i]; }
    const Value& value(std::size_t i) const { return m_values[i]; }
    std::size_t bytes() const {
        return (m_memo ? kMemo * sizeof(std::uint64_t) : 0) + m_colours.capacity() * 4 +
               m_values.capacity() * sizeof(Value);
    }

private:
    std::unique_ptr<std::uint64_t[]> m_memo; // (colour + 1) << 32 | index; 0 when free
    bool m_memoUsed = false;
    std::vector<std::uint32_t> m_colours;
    std::vector<Value> m_values;
};

// Rows of a frame worth splitting: a row is three bytes a pixel each way.
template <typename Work> void splitFrameRows(const Bitmap24& capture, Work&& work) {
    SplitRows(capture.height(), static_cast<std::size_t>(capture.width()) * capture.height(), work);
}

// What the last frame of a per-colour stage left per pixel, at its place on
// the desktop: the pixel's colour and its word. A moving lens sees nearly
// all of its last frame again, a few pixels off: a pixel whose colour is the
// one its desktop place had takes the word found there, read in order from
// memory instead of looked up in a table far larger than the caches. It is
// the colour's word whatever the place, so a wrong place or a changed screen
// costs only the look-ups. Two sets of cells: one is read while the other is
// written.
struct FrameMemo {
    std::vector<std::uint64_t> cells[2]; // colour << 32 | word; 0 in a cell no frame wrote
    std::vector<std::uint64_t> more[2];  // what else a stage keeps per pixel, if anything
    bool withMore = false;
    int last = 0; // cells[last] and more[last] hold the last frame
    int width = 0, height = 0, left = 0, top = 0;
    const void* owner = nullptr; // what worked the words out; none: nothing kept

    void reserve(std::size_t pixels) {
        for (int s = 0; s < 2; ++s) {
            cells[s].assign(pixels, 0);
            if (withMore)
                more[s].assign(pixels, 0);
        }
        owner = nullptr;
    }
    void release() {
        for (int s = 0; s < 2; ++s) {
            std::vector<std::uint64_t>().swap(cells[s]);
            std::vector<std::uint64_t>().swap(more[s]);
        }
        owner = nullptr;
    }
    std::size_t bytes() const {
        return 8 * (cells[0].capacity() + cells[1].capacity() + more[0].capacity() + more[1].capacity());
    }
    // The cells this frame writes, `pixels` of them.
    std::uint64_t* next(std::size_t pixels) {
        std::vector<std::uint64_t>& c = cells[1 - last];
        if (c.size() < pixels)
            c.resize(pixels);
        return c.data();
    }
    std::uint64_t* nextMore(std::size_t pixels) {
        std::vector<std::uint64_t>& c = more[1 - last];
        if (c.size() < pixels)
            c.resize(pixels);
        return c.data();
    }
    // The last frame's cells of row y of a frame `width` wide at (left, top),
    // shifted so that index x is that frame's pixel x; [from, to) are the x
    // the last frame covered. Empty when it covered none of the row.
    struct Row {
        const std::uint64_t* cells = nullptr;
        const std::uint64_t* more = nullptr;
        int from = 0, to = 0;
    };
    Row rowFor(const void* by, int y, int frameWidth, int frameLeft, int frameTop) const {
        const int lastY = y + frameTop - top;
        if (owner != by || lastY < 0 || lastY >= height)
            return {};
        const int dx = frameLeft - left;
        const int from = std::clamp(-dx, 0, frameWidth), to = std::clamp(width - dx, 0, frameWidth);
        if (from >= to)
            return {};
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(lastY) * width + dx;
        return {cells[last].data() + at, withMore ? more[last].data() + at : nullptr, from, to};
    }
    void keep(const void* by, int frameWidth, int frameHeight, int frameLeft, int frameTop) {
        last = 1 - last;
        owner = by;
        width = frameWidth;
        height = frameHeight;
        left = frameLeft;
        top = frameTop;
    }
};

inline std::uint64_t cellOf(std::uint32_t colour, std::uint32_t word) {
    return (std::uint64_t(colour) << 32) | word;
}
// A cell holds `colour` when its colour matches and its word was worked out.
inline bool cellHolds(std::uint64_t cell, std::uint32_t colour) {
    return (cell & 0xFFFFFFFF01000000ull) == cellOf(colour, kKnown);
}

// The colours last seen at each place of the desktop and their results,
// folded onto a grid of the frame's size: place (X, Y) is kept at (X mod
// width, Y mod height), so a frame's pixels meet their own places' entries
// wherever it lies, and a lens moved by a few pixels finds nearly all of
// them holding the colours it shows. A pixel whose colour is the one its
// entry holds takes the entry's result, sixteen pixels at a time where all
// of them do, and nothing is written back. Whichever frame left an entry,
// its result is its colour's: the grid starts as black and black's result.
struct PlaceMemo {
    std::vector<std::uint8_t> colours, results; // three bytes a place
    int width = 0, height = 0;
    const void* owner = nullptr; // what worked the results out

    void reserve(std::size_t places) {
        colours.reserve(3 * places);
        results.reserve(3 * places);
        owner = nullptr;
    }
    void release() {
        std::vector<std::uint8_t>().swap(colours);
        std::vector<std::uint8_t>().swap(results);
        owner = nullptr;
    }
    std::size_t bytes() const { return colours.capacity() + results.capacity(); }
    // Ready for a frame of w × h pixels worked by `by`, whose result for
    // black is `black`.
    void prepare(const void* by, int w, int h, std::uint32_t black) {
        if (by == owner && w <= width && h <= height)
            return;
        owner = by;
        width = w;
        height = h;
        const std::size_t places = static_cast<std::size_t>(w) * h;
        colours.assign(3 * places, 0);
        results.resize(3 * places);
        for (std::size_t i = 0; i < places; ++i)
            putBytes(black, &results[3 * i], &results[3 * i]);
    }
};

inline int foldOnto(int v, int size) {
    const int r = v % size;
    return r < 0 ? r + size : r;
}

inline bool sameSixteenPixels(const std::uint8_t* a, const std::uint8_t* b) {
#if defined(__SSE2__)
    auto at = [](const std::uint8_t* p, int i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    };
    const __m128i same =
        _mm_and_si128(_mm_cmpeq_epi8(at(a, 0), at(b, 0)),
                      _mm_and_si128(_mm_cmpeq_epi8(at(a, 1), at(b, 1)), _mm_cmpeq_epi8(at(a, 2), at(b, 2))));
    return _mm_movemask_epi8(same) == 0xFFFF;
#else
    return std::memcmp(a, b, 48) == 0;
#endif
}

PlaceMemo placeMemo;

template <typename Compute>
void mapColours(ColourTable& table, NewColours<std::uint32_t> (&parts)[2], Bitmap24& capture, int left,
                int top, Compute compute) {
    Bitmap24& result = resultBitmapFor(capture);
    if (capture.isEmpty()) {
        capture.assign(result);
        return;
    }
    const int width = capture.width();
    table.prepare(static_cast<std::size_t>(width) * capture.height());
    placeMemo.prepare(&table, width, capture.height(), compute(0, 0, 0));
    for (auto& part : parts)
        part.startFrame();
    const RowsToWrite captureRows(capture), resultRows(result);
    const int firstColumn = foldOnto(left, placeMemo.width);
    // Columns from firstColumn to the grid's end, then from its start.
    const int beforeFold = std::min(width, placeMemo.width - firstColumn);
    splitFrameRows(capture, [&](int p, int begin, int end) {
        NewColours<std::uint32_t>& fresh = parts[p];
        auto computeColour = [&compute](std::uint32_t c) {
            return compute(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                           static_cast<std::uint8_t>(c >> 16));
        };
        // Screens repeat colours in runs: a look-up only where the colour
        // differs from the last one looked up.
        std::uint32_t lastColour = ~0u, lastWord = 0;
        // n pixels of a row against their places' entries.
        auto pixels = [&](std::uint8_t* in, std::uint8_t* out, std::uint8_t* colour, std::uint8_t* kept,
                          int n) {
            for (int x = 0; x < n; ++x, in += 3, out += 3, colour += 3, kept += 3) {
                if (in[0] == colour[0] && in[1] == colour[1] && in[2] == colour[2]) {
                    std::memcpy(out, kept, 3);
                    std::memcpy(in, kept, 3);
                    continue;
                }
                const std::uint32_t c = colourOf(in);
                if (c != lastColour) {
                    lastColour = c;
                    lastWord = table.find(c);
                    if (lastWord == 0)
                        lastWord = fresh.value(fresh.indexOf(c, computeColour));
                }
                std::memcpy(colour, in, 3);
                putBytes(lastWord, kept, in);
                std::memcpy(out, kept, 3);
            }
        };
        auto span = [&](std::uint8_t* in, std::uint8_t* out, std::uint8_t* colour, std::uint8_t* kept,
                        int n) {
            int x = 0;
            for (; x + 16 <= n; x += 16)
                if (sameSixteenPixels(in + 3 * x, colour + 3 * x)) {
                    std::memcpy(out + 3 * x, kept + 3 * x, 48);
                    std::memcpy(in + 3 * x, kept + 3 * x, 48);
                } else {
                    pixels(in + 3 * x, out + 3 * x, colour + 3 * x, kept + 3 * x, 16);
                }
            pixels(in + 3 * x, out + 3 * x, colour + 3 * x, kept + 3 * x, n - x);
        };
        for (int y = begin; y < end; ++y) {
            const std::size_t row =
                3 * static_cast<std::size_t>(foldOnto(top + y, placeMemo.height)) * placeMemo.width;
            std::uint8_t* colours = placeMemo.colours.data() + row;
            std::uint8_t* kept = placeMemo.results.data() + row;
            std::uint8_t* in = captureRows[y];
            std::uint8_t* out = resultRows[y];
            span(in, out, colours + 3 * firstColumn, kept + 3 * firstColumn, beforeFold);
            span(in + 3 * beforeFold, out + 3 * beforeFold, colours, kept, width - beforeFold);
        }
    });
    for (const auto& fresh : parts)
        for (std::size_t i = 0; i < fresh.size(); ++i)
            if (table.find(fresh.colour(i)) == 0)
                table.store(fresh.colour(i), fresh.value(i));
}

ColourTable simulationTable;
ColourTable lowLevelTable;
CubicCoefficients lowLevelCurve{};
NewColours<std::uint32_t> mapParts[2];

// Level 2: what a colour keeps whatever the frame; the table holds slot + 1.
struct HighLevelColour {
    float I, H;
    HsiShares shares; // of the boosted saturation
};

HighLevelColour highLevelOf(std::uint32_t colour) {
    const HsiValue v = HsiOfPixel(static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8),
                                  static_cast<std::uint8_t>(colour >> 16));
    return {v.I, v.H, HsiSharesOf(v.H, BoostedSaturation(v.S))};
}

// A colour's bytes under a frame's change, packed as a word.
std::uint32_t highLevelWord(const HighLevelColour& c, const LightnessChange& f) {
    std::uint8_t out[3];
    BytesOfShares(SeparatedIntensity(c.I, c.H, f), c.shares, out);
    return packBytes(out);
}

// Per pixel the frame keeps a slot; a colour new in this frame has a
// provisional one until the parts are done: the part and its index there.
constexpr std::uint32_t kProvisional = 1u << 31;
constexpr int kPartShift = 30;

ColourTable highLevelTable;
std::vector<HighLevelColour> highLevelColours;
// Per colour, the word it had under the frame change of `wordGeneration`
// (high half): the words survive from frame to frame while the change stays.
std::vector<std::uint64_t> highLevelWords;
std::uint32_t wordGeneration = 1;
LightnessChange lastChange;
// Per pixel of the last frame and the one being worked: the frame memo's
// cell (colour, word under lastChange, and the two lightness flags below)
// and, beside it, slot << 32 | the bits of the colour's intensity, so that a
// pixel met again counts in the statistics without reading its colour's
// entry.
FrameMemo highLevelMemo;
constexpr std::uint64_t kTakesPart = std::uint64_t(1) << 25, kRed = std::uint64_t(1) << 26;
// A colour new to a frame: what it keeps, and its word under the change the
// frame is expected to have.
struct FreshHighLevel {
    HighLevelColour colour;
    std::uint32_t word;
};
NewColours<FreshHighLevel> highLevelParts[2];
std::vector<std::uint32_t> provisionalSlots[2];

// Empties the level-2 tables, keeping their memory.
void resetHighLevel() {
    highLevelTable.reset();
    highLevelColours.clear();
    highLevelWords.clear();
    wordGeneration = 1;
    lastChange = LightnessChange{};
    highLevelMemo.owner = nullptr; // its slots are gone
}

// Part p's view of the words: read, or computed and written. Both parts may
// write one colour's word at once, always the same value: atomic accesses
// (plain moves on x86) keep that well defined.
std::uint32_t wordOfSlot(std::uint32_t slot, std::uint32_t generation, const LightnessChange& change) {
    std::uint64_t* cell = &highLevelWords[slot];
    const std::uint64_t kept = __atomic_load_n(cell, __ATOMIC_RELAXED);
    if ((kept >> 32) == generation)
        return static_cast<std::uint32_t>(kept);
    const std::uint32_t word = highLevelWord(highLevelColours[slot], change);
    __atomic_store_n(cell, (std::uint64_t(generation) << 32) | word, __ATOMIC_RELAXED);
    return word;
}

} // namespace

void SimulateRedGreenFast(Bitmap24& capture, int left, int top) {
    mapColours(simulationTable, mapParts, capture, left, top, simulatedColour);
}

void CorrectLowLevelFast(Bitmap24& capture, const CubicCoefficients& curve, int left, int top) {
    if (std::memcmp(&curve, &lowLevelCurve, sizeof curve) != 0) {
        lowLevelTable.reset();
        lowLevelCurve = curve;
        if (placeMemo.owner == &lowLevelTable)
            placeMemo.owner = nullptr;
    }
    mapColours(
        lowLevelTable, mapParts, capture, left, top,
        [&curve](std::uint8_t b, std::uint8_t g, std::uint8_t r) { return lowLevelColour(b, g, r, curve); });
}

void CorrectHighLevelFast(Bitmap24& capture, int left, int top) {
    Bitmap24& result = resultBitmapFor(capture);
    if (capture.isEmpty()) {
        capture.assign(result);
        return;
    }
    const int width = capture.width();
    const std::size_t count = static_cast<std::size_t>(width) * capture.height();
    if (highLevelColours.size() + count > g_colourBudget)
        resetHighLevel();
    highLevelTable.prepare(count);
    highLevelMemo.withMore = true;
    std::uint64_t* const cells = highLevelMemo.next(count);
    std::uint64_t* const slotCells = highLevelMemo.nextMore(count);
    for (auto& part : highLevelParts)
        part.startFrame();

    // The colours of the frame and the statistics of SeparateRedLightness,
    // each part over its rows with the table only read. Frames mostly move
    // intensities as the frame before did: each pixel is written as if this
    // one did too, and written again below only if it does not. A pixel the
    // last frame showed at its place has its word under that change, its
    // slot and its part in the statistics in the memo.
    const LightnessChange guess = lastChange;
    const std::uint32_t guessGeneration = wordGeneration;
    auto fresh = [&guess](std::uint32_t colour) {
        const HighLevelColour c = highLevelOf(colour);
        return FreshHighLevel{c, highLevelWord(c, guess)};
    };
    // A slot the last frame left provisional, where it went (the parts'
    // lists of that frame are still there until this pass ends).
    auto settledSlot = [](std::uint32_t s) {
        return (s & kProvisional) ? provisionalSlots[(s >> kPartShift) & 1][s & ((1u << kPartShift) - 1)] : s;
    };
    LightnessGroup reds[2], others[2];
    const RowsToWrite captureRows(capture), resultRows(result);
    splitFrameRows(capture, [&](int p, int begin, int end) {
        NewColours<FreshHighLevel>& met = highLevelParts[p];
        LightnessGroup red, other;
        std::uint32_t lastColour = ~0u;
        std::uint64_t lastCell = 0, lastSlot = 0;
        for (int y = begin; y < end; ++y) {
            std::uint8_t* in = captureRows[y];
            std::uint8_t* out = resultRows[y];
            const std::size_t row = static_cast<std::size_t>(y) * width;
            const FrameMemo::Row kept = highLevelMemo.rowFor(&highLevelTable, y, width, left, top);
            for (int x = 0; x < width; ++x, in += 3, out += 3) {
                const std::uint32_t colour = colourOf(in);
                std::uint64_t cell, slot;
                if (x >= kept.from && x < kept.to && cellHolds(kept.cells[x], colour)) {
                    cell = kept.cells[x];
                    slot = kept.more[x];
                    if (slot & (std::uint64_t(kProvisional) << 32))
                        slot = (std::uint64_t(settledSlot(static_cast<std::uint32_t>(slot >> 32))) << 32) |
                               static_cast<std::uint32_t>(slot);
                } else {
                    if (colour != lastColour) {
                        lastColour = colour;
                        const std::uint32_t found = highLevelTable.find(colour);
                        const HighLevelColour* c;
                        std::uint32_t current, word;
                        if (found != 0) {
                            current = found - 1;
                            c = &highLevelColours[current];
                            word = wordOfSlot(current, guessGeneration, guess);
                        } else {
                            const std::uint32_t i = met.indexOf(colour, fresh);
                            current = kProvisional | (std::uint32_t(p) << kPartShift) | i;
                            c = &met.value(i).colour;
                            word = met.value(i).word;
                        }
                        std::uint64_t flags = 0;
                        if (TakesPartInLightness(c->I))
                            flags = kTakesPart | (IsRedHue(c->H) ? kRed : 0);
                        std::uint32_t intensity;
                        std::memcpy(&intensity, &c->I, sizeof intensity);
                        lastCell = cellOf(colour, word) | flags;
                        lastSlot = (std::uint64_t(current) << 32) | intensity;
                    }
                    cell = lastCell;
                    slot = lastSlot;
                }
                if (cell & kTakesPart) {
                    const std::uint32_t bits = static_cast<std::uint32_t>(slot);
                    float I;
                    std::memcpy(&I, &bits, sizeof I);
                    (cell & kRed ? red : other).add(I);
                }
                cells[row + x] = cell;
                slotCells[row + x] = slot;
                putBytes(static_cast<std::uint32_t>(cell), out, in);
            }
        }
        reds[p] = red;
        others[p] = other;
    });
    highLevelMemo.keep(&highLevelTable, width, capture.height(), left, top);

    reds[0].merge(reds[1]);
    others[0].merge(others[1]);
    const LightnessChange change = LightnessChangeOf(reds[0], others[0]);
    const bool guessed = change == guess;

    // The new colours into the table (with their words when the guess held),
    // and where each provisional slot went.
    for (int p = 0; p < 2; ++p) {
        const NewColours<FreshHighLevel>& met = highLevelParts[p];
        provisionalSlots[p].resize(met.size());
        for (std::size_t i = 0; i < met.size(); ++i) {
            std::uint32_t kept = highLevelTable.find(met.colour(i));
            if (kept == 0) {
                highLevelColours.push_back(met.value(i).colour);
                kept = static_cast<std::uint32_t>(highLevelColours.size());
                highLevelTable.store(met.colour(i), kept);
                highLevelWords.push_back(guessed ? (std::uint64_t(guessGeneration) << 32) | met.value(i).word
                                                 : 0);
            }
            provisionalSlots[p][i] = kept - 1;
        }
    }
    if (guessed)
        return;

    lastChange = change;
    if (++wordGeneration == 0) { // after four billion changes: start afresh
        std::fill(highLevelWords.begin(), highLevelWords.end(), 0);
        wordGeneration = 1;
    }
    const std::uint32_t generation = wordGeneration;

    // One word per pixel, computed once per colour while the change stays;
    // the memo takes the words and the settled slots.
    splitFrameRows(capture, [&](int, int begin, int end) {
        std::uint32_t lastSlot = ~0u, word = 0;
        for (int y = begin; y < end; ++y) {
            std::uint8_t* in = captureRows[y];
            std::uint8_t* out = resultRows[y];
            const std::size_t row = static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x, in += 3, out += 3) {
                std::uint32_t s = static_cast<std::uint32_t>(slotCells[row + x] >> 32);
                if (s != lastSlot) {
                    lastSlot = s;
                    word = wordOfSlot(settledSlot(s), generation, change);
                }
                s = settledSlot(s);
                slotCells[row + x] =
                    (std::uint64_t(s) << 32) | static_cast<std::uint32_t>(slotCells[row + x]);
                cells[row + x] = (cells[row + x] & ~std::uint64_t(0x01FFFFFF)) | word;
                putBytes(word, out, in);
            }
        }
    });
}

ColourCacheUsage ColourCacheUsageNow() {
    std::size_t parts = 0;
    for (int p = 0; p < 2; ++p)
        parts += mapParts[p].bytes() + highLevelParts[p].bytes() + provisionalSlots[p].capacity() * 4;
    return {simulationTable.colours(), lowLevelTable.colours(), highLevelTable.colours(),
            simulationTable.bytes() + lowLevelTable.bytes() + highLevelTable.bytes() +
                highLevelColours.capacity() * sizeof(HighLevelColour) + highLevelWords.capacity() * 8 +
                placeMemo.bytes() + highLevelMemo.bytes() + parts};
}

void ReserveColourCaches(std::size_t framePixels) {
    std::size_t budget = std::size_t(1) << 16;
    while (budget < framePixels && budget < (std::size_t(1) << 20))
        budget *= 2;
    g_colourBudget = budget;
    g_reserved = true;
    simulationTable.release();
    lowLevelTable.release();
    highLevelTable.release();
    simulationTable.prepare(0);
    lowLevelTable.prepare(0);
    highLevelTable.prepare(0);
    // resize-then-clear touches the memory, so that it is resident from here on.
    highLevelColours.resize(g_colourBudget);
    highLevelColours.clear();
    highLevelWords.resize(g_colourBudget);
    highLevelWords.clear();
    placeMemo.reserve(framePixels);
    highLevelMemo.withMore = true;
    highLevelMemo.reserve(framePixels);
    // A part takes the new colours of half the rows, at most.
    const std::size_t perPart = std::min(framePixels / 2 + 1, g_colourBudget);
    for (int p = 0; p < 2; ++p) {
        mapParts[p].reserve(perPart);
        highLevelParts[p].reserve(perPart);
        provisionalSlots[p].resize(perPart);
    }
}

void ResetColourCaches() {
    g_colourBudget = std::size_t(1) << 20;
    g_reserved = false;
    simulationTable.release();
    lowLevelTable.release();
    resetHighLevel();
    highLevelTable.release();
    std::vector<HighLevelColour>().swap(highLevelColours);
    std::vector<std::uint64_t>().swap(highLevelWords);
    placeMemo.release();
    highLevelMemo.release();
    for (int p = 0; p < 2; ++p) {
        mapParts[p] = NewColours<std::uint32_t>();
        highLevelParts[p] = NewColours<FreshHighLevel>();
        std::vector<std::uint32_t>().swap(provisionalSlots[p]);
    }
}
