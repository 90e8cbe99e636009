#include "vision/ColourCache.h"

#include "platform/LargeMemory.h"
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

// Colour → Slot, open addressing with linear probing; a slot's key is
// colour + 1, 0 when free. Kept at most half full, so a look-up usually ends
// at its first slot.
template <typename Slot> class ColourTable {
public:
    // Before a frame of `pixels` pixels: dropped if it could grow past its
    // budget in this frame.
    void prepare(std::size_t pixels) {
        if (m_colours + pixels > g_colourBudget)
            reset();
        if (m_slots.empty())
            rehash(g_reserved ? 2 * g_colourBudget : 4096);
    }

    // The slot of `colour`, or null.
    Slot* find(std::uint32_t colour) {
        const std::uint32_t key = colour + 1;
        for (std::size_t i = slotOf(colour);; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.key == key)
                return &slot;
            if (slot.key == 0)
                return nullptr;
        }
    }

    // `colour` must not be in the table yet: its slot, to be filled.
    Slot& store(std::uint32_t colour) {
        if (2 * (m_colours + 1) > m_slots.size())
            rehash(2 * m_slots.size());
        std::size_t i = slotOf(colour);
        while (m_slots[i].key != 0)
            i = (i + 1) & m_mask;
        ++m_colours;
        m_slots[i] = Slot{};
        m_slots[i].key = colour + 1;
        return m_slots[i];
    }

    // Empties the table, keeping its memory.
    void reset() {
        std::fill(m_slots.begin(), m_slots.end(), Slot{});
        m_colours = 0;
    }

    // Empties the table and gives its memory back.
    void release() {
        platform::LargeVector<Slot>().swap(m_slots);
        m_colours = 0;
        m_mask = 0;
        m_shift = 64;
    }

    template <typename Change> void forEachColour(Change change) {
        for (Slot& slot : m_slots)
            if (slot.key != 0)
                change(slot);
    }

    std::size_t colours() const { return m_colours; }
    std::size_t bytes() const { return m_slots.capacity() * sizeof(Slot); }

private:
    // Colours of a screen come in gradients and near-greys, a few steps apart
    // in one channel or two: multiplied by 2^64/φ (Fibonacci hashing), every
    // bit of blue, green and red reaches the top bits that pick the slot, so
    // such neighbours land far apart instead of filling one run of slots.
    std::size_t slotOf(std::uint32_t colour) const {
        return static_cast<std::size_t>((colour * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    void rehash(std::size_t size) {
        platform::LargeVector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(size, Slot{});
        m_mask = size - 1;
        m_shift = 64 - __builtin_ctzll(size);
        m_colours = 0;
        for (const Slot& slot : old)
            if (slot.key != 0)
                store(slot.key - 1) = slot;
    }

    platform::LargeVector<Slot> m_slots;
    std::size_t m_colours = 0;
    std::size_t m_mask = 0;
    int m_shift = 64;
};

// Simulation's and level 1's: a colour's result as a word.
struct WordSlot {
    std::uint32_t key = 0;
    std::uint32_t word = 0;
};

std::uint32_t colourOf(const std::uint8_t* bgr) {
    return bgr[0] | (std::uint32_t(bgr[1]) << 8) | (std::uint32_t(bgr[2]) << 16);
}

// Black's bytes pack to 0, which is also what a place that holds no colour
// yet holds: the bit above the three bytes marks every word as a colour
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

// The result is the capture's pixels as a stage leaves them: the stage
// writes its rows once, to the capture (its result rows are the capture's),
// and the result bitmap copies them from a snapshot only when read.
void resultFromCapture(Bitmap24& result, const Bitmap24& capture) {
    const int w = capture.width(), h = capture.height();
    result.deferRows(w, h, [source = capture.snapshot(), w, h](std::uint8_t* first, std::size_t line) {
        for (int y = 0; y < h; ++y)
            std::memcpy(first + static_cast<std::size_t>(y) * line, source.constScanLine(y),
                        3 * static_cast<std::size_t>(w));
    });
}

// The three bytes of a word to a place's kept result and to the capture.
inline void putBytes(std::uint32_t word, std::uint8_t* result, std::uint8_t* capture) {
    const auto b = static_cast<std::uint8_t>(word), g = static_cast<std::uint8_t>(word >> 8),
               r = static_cast<std::uint8_t>(word >> 16);
    result[0] = capture[0] = b;
    result[1] = capture[1] = g;
    result[2] = capture[2] = r;
}

// The three bytes of a word, once.
inline void putWord(std::uint32_t word, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(word);
    p[1] = static_cast<std::uint8_t>(word >> 8);
    p[2] = static_cast<std::uint8_t>(word >> 16);
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

inline std::uint64_t cellOf(std::uint32_t colour, std::uint32_t word) {
    return (std::uint64_t(colour) << 32) | word;
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
    platform::LargeVector<std::uint8_t> colours, results; // three bytes a place
    int width = 0, height = 0;
    const void* owner = nullptr; // what worked the results out

    void reserve(std::size_t places) {
        colours.reserve(3 * places);
        results.reserve(3 * places);
        owner = nullptr;
    }
    void release() {
        platform::LargeVector<std::uint8_t>().swap(colours);
        platform::LargeVector<std::uint8_t>().swap(results);
        owner = nullptr;
    }
    std::size_t bytes() const { return colours.capacity() + results.capacity(); }
    // Ready for a frame of w × h pixels worked by `by`; blackOf() gives its
    // result for black, asked only when the grid starts afresh.
    template <typename BlackOf> void prepare(const void* by, int w, int h, BlackOf blackOf) {
        if (by == owner && w <= width && h <= height)
            return;
        const std::uint32_t black = blackOf();
        owner = by;
        width = w;
        height = h;
        const std::size_t places = static_cast<std::size_t>(w) * h;
        colours.assign(3 * places, 0);
        results.resize(3 * places);
        for (std::size_t i = 0; i < places; ++i)
            putWord(black, &results[3 * i]);
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
void mapColours(ColourTable<WordSlot>& table, NewColours<std::uint32_t> (&parts)[2], Bitmap24& capture,
                int left, int top, Compute compute) {
    Bitmap24& result = resultBitmapFor(capture);
    if (capture.isEmpty()) {
        capture.assign(result);
        return;
    }
    const int width = capture.width();
    table.prepare(static_cast<std::size_t>(width) * capture.height());
    placeMemo.prepare(&table, width, capture.height(), [&compute] { return compute(0, 0, 0); });
    for (auto& part : parts)
        part.startFrame();
    // A capture still in its words is converted a row at a time below, each
    // row just before its pixels are mapped.
    const platform::PendingWords words = capture.takePendingWords();
    const RowsToWrite captureRows(capture);
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
        auto pixels = [&](std::uint8_t* in, std::uint8_t* colour, std::uint8_t* kept, int n) {
            for (int x = 0; x < n; ++x, in += 3, colour += 3, kept += 3) {
                if (in[0] == colour[0] && in[1] == colour[1] && in[2] == colour[2]) {
                    std::memcpy(in, kept, 3);
                    continue;
                }
                const std::uint32_t c = colourOf(in);
                if (c != lastColour) {
                    lastColour = c;
                    const WordSlot* kept = table.find(c);
                    lastWord = kept ? kept->word : fresh.value(fresh.indexOf(c, computeColour));
                }
                std::memcpy(colour, in, 3);
                putBytes(lastWord, kept, in);
            }
        };
        auto span = [&](std::uint8_t* in, std::uint8_t* colour, std::uint8_t* kept, int n) {
            int x = 0;
            for (; x + 16 <= n; x += 16)
                if (sameSixteenPixels(in + 3 * x, colour + 3 * x))
                    std::memcpy(in + 3 * x, kept + 3 * x, 48);
                else
                    pixels(in + 3 * x, colour + 3 * x, kept + 3 * x, 16);
            pixels(in + 3 * x, colour + 3 * x, kept + 3 * x, n - x);
        };
        for (int y = begin; y < end; ++y) {
            const std::size_t row =
                3 * static_cast<std::size_t>(foldOnto(top + y, placeMemo.height)) * placeMemo.width;
            std::uint8_t* colours = placeMemo.colours.data() + row;
            std::uint8_t* kept = placeMemo.results.data() + row;
            std::uint8_t* in = captureRows[y];
            if (words)
                words.convertRow(y, in, width);
            span(in, colours + 3 * firstColumn, kept + 3 * firstColumn, beforeFold);
            span(in + 3 * beforeFold, colours, kept, width - beforeFold);
        }
    });
    for (const auto& fresh : parts)
        for (std::size_t i = 0; i < fresh.size(); ++i)
            if (table.find(fresh.colour(i)) == nullptr)
                table.store(fresh.colour(i)).word = fresh.value(i);
    resultFromCapture(result, capture);
}

ColourTable<WordSlot> simulationTable;
ColourTable<WordSlot> lowLevelTable;
CubicCoefficients lowLevelCurve{};
NewColours<std::uint32_t> mapParts[2];

// Level 2: what a colour keeps whatever the frame, at its index.
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

// Level 2's table gives a colour's index and, beside it, the colour's word
// under the change of the generation in its high half (0: none) with the two
// lightness flags of the places' cells (below): a colour met again under the
// same change costs the one look-up. Both parts may write one slot's word at
// once, always the same value, as wordOfSlot's words below.
struct HighLevelSlot {
    std::uint32_t key = 0;
    std::uint32_t index = 0;
    std::uint64_t word = 0;
};
ColourTable<HighLevelSlot> highLevelTable;
platform::LargeVector<HighLevelColour> highLevelColours;
// Per colour, the word it had under the frame change of `wordGeneration`
// (high half): the words survive from frame to frame while the change stays.
platform::LargeVector<std::uint64_t> highLevelWords;
std::uint32_t wordGeneration = 1;
LightnessChange lastChange;
// Level 2's entries per desktop place, on a grid folded as PlaceMemo's: the
// cell is the colour << 32 | its word | the two lightness flags below | the
// low byte of the word generation in the top byte, and beside it slot << 32
// | the bits of the colour's intensity, so that a pixel met again counts in
// the statistics without reading its colour's entry. An entry is met only
// under the generation it was written in: places the frames left behind keep
// words of older changes. Every 256 generations the grid starts afresh.
// Slots a frame left provisional are settled when it ends.
//
// Every 16 places of a grid row from a column that is a multiple of 16 also
// form a block: the places' colours and words as bytes (as PlaceMemo keeps
// them), and the statistics of the 16 with the generation the words are
// under. A block whose colours are the frame's there counts in the
// statistics as one and is written with two copies, the way simulation's
// places are; the statistics depend on the colours alone, so a new change
// only renews the words.
struct PlaceBlock {
    LightnessGroup red, other;
    std::uint32_t generation = 0; // 0: not whole
};
constexpr int kBlock = 16;
struct PlaceCells {
    platform::LargeVector<std::uint64_t> cells, more;
    platform::LargeVector<std::uint8_t> colours, results; // three bytes a place
    platform::LargeVector<PlaceBlock> blocks;
    int width = 0, height = 0, blocksPerRow = 0;
    bool ready = false;

    void reserve(std::size_t places) {
        cells.reserve(places);
        more.reserve(places);
        colours.reserve(3 * places);
        results.reserve(3 * places);
        blocks.reserve(places / kBlock);
        ready = false;
    }
    void release() {
        platform::LargeVector<std::uint64_t>().swap(cells);
        platform::LargeVector<std::uint64_t>().swap(more);
        platform::LargeVector<std::uint8_t>().swap(colours);
        platform::LargeVector<std::uint8_t>().swap(results);
        platform::LargeVector<PlaceBlock>().swap(blocks);
        ready = false;
    }
    std::size_t bytes() const {
        return 8 * (cells.capacity() + more.capacity()) + colours.capacity() + results.capacity() +
               blocks.capacity() * sizeof(PlaceBlock);
    }
    void prepare(int w, int h) {
        if (ready && w <= width && h <= height)
            return;
        ready = true;
        width = w;
        height = h;
        blocksPerRow = w / kBlock;
        cells.assign(static_cast<std::size_t>(w) * h, 0);
        more.assign(cells.size(), 0);
        colours.assign(3 * cells.size(), 0);
        results.assign(3 * cells.size(), 0);
        blocks.assign(static_cast<std::size_t>(blocksPerRow) * h, PlaceBlock{});
    }
    PlaceBlock* blockOf(int gridY, int column) {
        return column / kBlock < blocksPerRow
                   ? &blocks[static_cast<std::size_t>(gridY) * blocksPerRow + column / kBlock]
                   : nullptr;
    }
};
PlaceCells highLevelPlaces;
constexpr std::uint64_t kTakesPart = std::uint64_t(1) << 25, kRed = std::uint64_t(1) << 26;
constexpr std::uint64_t kLightnessFlags = kTakesPart | kRed;
std::uint32_t lightnessFlagsOf(const HighLevelColour& c) {
    return TakesPartInLightness(c.I) ? static_cast<std::uint32_t>(kTakesPart | (IsRedHue(c.H) ? kRed : 0))
                                     : 0;
}
constexpr int kTagShift = 56;
// The bits a cell is matched on: its tag, its colour and kKnown.
constexpr std::uint64_t kCellMatch = 0xFFFFFFFF01000000ull;
// The places each part gave a provisional slot this frame.
std::vector<std::uint32_t> provisionalPlaces[2];
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
    highLevelPlaces.ready = false; // its slots are gone
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
    highLevelPlaces.prepare(width, capture.height());
    for (int p = 0; p < 2; ++p) {
        highLevelParts[p].startFrame();
        provisionalPlaces[p].clear();
    }

    // The colours of the frame and the statistics of SeparateRedLightness,
    // each part over its rows with the table only read. Frames mostly move
    // intensities as the frame before did: each pixel is written as if this
    // one did too, and written again below only if it does not. A pixel whose
    // place holds its colour under that change has its word, slot and part
    // in the statistics there.
    const LightnessChange guess = lastChange;
    const std::uint32_t guessGeneration = wordGeneration;
    const std::uint64_t guessTag = std::uint64_t(guessGeneration & 0xFF) << kTagShift;
    auto fresh = [&guess](std::uint32_t colour) {
        const HighLevelColour c = highLevelOf(colour);
        return FreshHighLevel{c, highLevelWord(c, guess)};
    };
    std::uint64_t* const cells = highLevelPlaces.cells.data();
    std::uint64_t* const more = highLevelPlaces.more.data();
    const int gridWidth = highLevelPlaces.width;
    const int firstColumn = foldOnto(left, gridWidth);
    const int beforeFold = std::min(width, gridWidth - firstColumn);
    std::uint8_t* const keptColours = highLevelPlaces.colours.data();
    std::uint8_t* const keptResults = highLevelPlaces.results.data();
    // Grid columns from firstColumn to the grid's end, then from its start:
    // each part of a row as whole blocks between loose places.
    auto forSpans = [&](int y, auto&& loose, auto&& whole) {
        const int gridY = foldOnto(top + y, highLevelPlaces.height);
        auto span = [&](int x, int column, int n) {
            const int head = std::min(n, (kBlock - column % kBlock) % kBlock);
            loose(x, column, head, gridY);
            int i = head;
            for (; i + kBlock <= n; i += kBlock) {
                PlaceBlock* block = highLevelPlaces.blockOf(gridY, column + i);
                if (block == nullptr)
                    break;
                whole(x + i, column + i, *block, gridY);
            }
            loose(x + i, column + i, n - i, gridY);
        };
        span(0, firstColumn, beforeFold);
        span(beforeFold, 0, width - beforeFold);
    };
    LightnessGroup reds[2], others[2];
    // A capture still in its words is converted a row at a time below, each
    // row just before its pixels are read.
    const platform::PendingWords words = capture.takePendingWords();
    const RowsToWrite captureRows(capture);
    splitFrameRows(capture, [&](int p, int begin, int end) {
        NewColours<FreshHighLevel>& met = highLevelParts[p];
        std::vector<std::uint32_t>& provisional = provisionalPlaces[p];
        LightnessGroup red, other;
        std::uint32_t lastColour = ~0u;
        std::uint64_t lastCell = 0, lastMore = 0;
        // n pixels from `place` on into the groups; true if any place took a
        // new entry.
        auto pixels = [&](std::uint8_t* in, std::size_t place, int n, LightnessGroup& reds,
                          LightnessGroup& others) {
            bool wrote = false;
            for (int k = 0; k < n; ++k, in += 3, ++place) {
                const std::uint32_t colour = colourOf(in);
                std::uint64_t cell = cells[place];
                std::uint64_t entry;
                if ((cell & kCellMatch) == (cellOf(colour, kKnown) | guessTag)) {
                    entry = more[place];
                } else {
                    if (colour != lastColour) {
                        lastColour = colour;
                        std::uint32_t current, word; // with its flags
                        if (HighLevelSlot* kept = highLevelTable.find(colour)) {
                            current = kept->index;
                            std::uint64_t known = __atomic_load_n(&kept->word, __ATOMIC_RELAXED);
                            if ((known >> 32) != guessGeneration) {
                                known = (std::uint64_t(guessGeneration) << 32) | (known & kLightnessFlags) |
                                        wordOfSlot(current, guessGeneration, guess);
                                __atomic_store_n(&kept->word, known, __ATOMIC_RELAXED);
                            }
                            word = static_cast<std::uint32_t>(known);
                        } else {
                            const std::uint32_t i = met.indexOf(colour, fresh);
                            current = kProvisional | (std::uint32_t(p) << kPartShift) | i;
                            word = met.value(i).word | lightnessFlagsOf(met.value(i).colour);
                        }
                        // Worked out again from the bytes: reading it
                        // from the colour's record would miss the caches.
                        const float I = HsiIntensity(static_cast<std::uint8_t>(colour),
                                                     static_cast<std::uint8_t>(colour >> 8),
                                                     static_cast<std::uint8_t>(colour >> 16));
                        std::uint32_t intensity;
                        std::memcpy(&intensity, &I, sizeof intensity);
                        lastCell = cellOf(colour, word) | guessTag;
                        lastMore = (std::uint64_t(current) << 32) | intensity;
                    }
                    cell = cells[place] = lastCell;
                    entry = more[place] = lastMore;
                    if (entry & (std::uint64_t(kProvisional) << 32))
                        provisional.push_back(static_cast<std::uint32_t>(place));
                    std::memcpy(keptColours + 3 * place, in, 3);
                    putWord(static_cast<std::uint32_t>(cell), keptResults + 3 * place);
                    wrote = true;
                }
                // Both groups counted and widened without a branch: 0 and
                // 255 (an empty group's span) leave a span as it is.
                const std::uint32_t bits = static_cast<std::uint32_t>(entry);
                float I;
                std::memcpy(&I, &bits, sizeof I);
                const std::uint64_t group = cell & (kTakesPart | kRed);
                const bool isRed = group == (kTakesPart | kRed), isOther = group == kTakesPart;
                reds.pixels += isRed;
                reds.largest = std::max(reds.largest, isRed ? I : 0.0f);
                reds.smallest = std::min(reds.smallest, isRed ? I : 255.0f);
                others.pixels += isOther;
                others.largest = std::max(others.largest, isOther ? I : 0.0f);
                others.smallest = std::min(others.smallest, isOther ? I : 255.0f);
                putWord(static_cast<std::uint32_t>(cell), in);
            }
            return wrote;
        };
        // The places a row meets one by one lie by the grid's fold, where
        // the strip the lens moved onto comes in: nothing else of theirs is
        // read in order, so their cells are fetched two rows ahead.
        const int foldBlock = firstColumn / kBlock * kBlock;
        for (int y = begin; y < end; ++y) {
            if (y + 2 < end) {
                const std::size_t ahead =
                    static_cast<std::size_t>(foldOnto(top + y + 2, highLevelPlaces.height)) * gridWidth +
                    foldBlock;
                for (const std::uint64_t* kept : {cells + ahead, more + ahead}) {
                    __builtin_prefetch(kept);
                    __builtin_prefetch(kept + kBlock / 2);
                }
            }
            std::uint8_t* const in = captureRows[y];
            if (words)
                words.convertRow(y, in, width);
            forSpans(
                y,
                [&](int x, int column, int n, int gridY) {
                    const std::size_t place = static_cast<std::size_t>(gridY) * gridWidth + column;
                    if (pixels(in + 3 * x, place, n, red, other))
                        if (PlaceBlock* block = highLevelPlaces.blockOf(gridY, column))
                            block->generation = 0; // not all of it was seen
                },
                [&](int x, int column, PlaceBlock& block, int gridY) {
                    const std::size_t place = static_cast<std::size_t>(gridY) * gridWidth + column;
                    std::uint8_t* const from = in + 3 * x;
                    if (block.generation == guessGeneration &&
                        sameSixteenPixels(from, keptColours + 3 * place)) {
                        std::memcpy(from, keptResults + 3 * place, 3 * kBlock);
                    } else {
                        block.red = LightnessGroup{};
                        block.other = LightnessGroup{};
                        pixels(from, place, kBlock, block.red, block.other);
                        block.generation = guessGeneration;
                    }
                    red.merge(block.red);
                    other.merge(block.other);
                });
        }
        reds[p] = red;
        others[p] = other;
    });

    reds[0].merge(reds[1]);
    others[0].merge(others[1]);
    const LightnessChange change = LightnessChangeOf(reds[0], others[0]);
    const bool guessed = change == guess;

    // The new colours into the table (with their words when the guess held),
    // where each provisional slot went, and the places that hold one.
    for (int p = 0; p < 2; ++p) {
        const NewColours<FreshHighLevel>& met = highLevelParts[p];
        provisionalSlots[p].resize(met.size());
        for (std::size_t i = 0; i < met.size(); ++i) {
            const HighLevelSlot* kept = highLevelTable.find(met.colour(i));
            if (kept == nullptr) {
                const FreshHighLevel& c = met.value(i);
                const std::uint64_t word = guessed ? (std::uint64_t(guessGeneration) << 32) | c.word : 0;
                HighLevelSlot& slot = highLevelTable.store(met.colour(i));
                slot.index = static_cast<std::uint32_t>(highLevelColours.size());
                slot.word = word | lightnessFlagsOf(c.colour);
                highLevelColours.push_back(c.colour);
                highLevelWords.push_back(word);
                kept = &slot;
            }
            provisionalSlots[p][i] = kept->index;
        }
        for (std::uint32_t place : provisionalPlaces[p]) {
            const std::uint32_t s = static_cast<std::uint32_t>(more[place] >> 32);
            more[place] =
                (std::uint64_t(provisionalSlots[(s >> kPartShift) & 1][s & ((1u << kPartShift) - 1)]) << 32) |
                static_cast<std::uint32_t>(more[place]);
        }
    }
    if (guessed)
        return resultFromCapture(result, capture);

    lastChange = change;
    if (++wordGeneration == 0) { // after four billion changes: start afresh
        std::fill(highLevelWords.begin(), highLevelWords.end(), 0);
        highLevelTable.forEachColour([](HighLevelSlot& slot) { slot.word &= kLightnessFlags; });
        wordGeneration = 1;
        highLevelPlaces.ready = false;
    }
    const std::uint32_t generation = wordGeneration;
    if ((generation & 0xFF) == 0) // the tags come round again
        highLevelPlaces.ready = false;
    const std::uint64_t tag = std::uint64_t(generation & 0xFF) << kTagShift;

    // One word per pixel, computed once per colour while the change stays;
    // the frame's places take the words under their new generation.
    const bool keepPlaces = highLevelPlaces.ready;
    splitFrameRows(capture, [&](int, int begin, int end) {
        std::uint32_t lastSlot = ~0u, word = 0;
        auto pixels = [&](std::uint8_t* in, std::size_t place, int n) {
            for (int i = 0; i < n; ++i, in += 3, ++place) {
                const std::uint32_t s = static_cast<std::uint32_t>(more[place] >> 32);
                if (s != lastSlot) {
                    lastSlot = s;
                    word = wordOfSlot(s, generation, change);
                }
                if (keepPlaces) {
                    cells[place] = (cells[place] & 0x00FFFFFF06000000ull) | word | tag;
                    putWord(word, keptResults + 3 * place);
                }
                putWord(word, in);
            }
        };
        for (int y = begin; y < end; ++y) {
            std::uint8_t* const in = captureRows[y];
            forSpans(
                y,
                [&](int x, int column, int n, int gridY) {
                    pixels(in + 3 * x, static_cast<std::size_t>(gridY) * gridWidth + column, n);
                },
                [&](int x, int column, PlaceBlock& block, int gridY) {
                    pixels(in + 3 * x, static_cast<std::size_t>(gridY) * gridWidth + column, kBlock);
                    if (keepPlaces)
                        block.generation = generation;
                });
        }
    });
    resultFromCapture(result, capture);
}

ColourCacheUsage ColourCacheUsageNow() {
    std::size_t parts = 0;
    for (int p = 0; p < 2; ++p)
        parts += mapParts[p].bytes() + highLevelParts[p].bytes() +
                 (provisionalSlots[p].capacity() + provisionalPlaces[p].capacity()) * 4;
    return {simulationTable.colours(), lowLevelTable.colours(), highLevelTable.colours(),
            simulationTable.bytes() + lowLevelTable.bytes() + highLevelTable.bytes() +
                highLevelColours.capacity() * sizeof(HighLevelColour) + highLevelWords.capacity() * 8 +
                placeMemo.bytes() + highLevelPlaces.bytes() + parts};
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
    highLevelPlaces.reserve(framePixels);
    // A part takes the new colours of half the rows, at most.
    const std::size_t perPart = std::min(framePixels / 2 + 1, g_colourBudget);
    for (int p = 0; p < 2; ++p) {
        mapParts[p].reserve(perPart);
        highLevelParts[p].reserve(perPart);
        provisionalSlots[p].resize(perPart);
        provisionalPlaces[p].reserve(perPart);
    }
}

void ResetColourCaches() {
    g_colourBudget = std::size_t(1) << 20;
    g_reserved = false;
    simulationTable.release();
    lowLevelTable.release();
    resetHighLevel();
    highLevelTable.release();
    platform::LargeVector<HighLevelColour>().swap(highLevelColours);
    platform::LargeVector<std::uint64_t>().swap(highLevelWords);
    placeMemo.release();
    highLevelPlaces.release();
    for (int p = 0; p < 2; ++p) {
        mapParts[p] = NewColours<std::uint32_t>();
        highLevelParts[p] = NewColours<FreshHighLevel>();
        std::vector<std::uint32_t>().swap(provisionalSlots[p]);
        std::vector<std::uint32_t>().swap(provisionalPlaces[p]);
    }
}
