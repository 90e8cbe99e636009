// vistrel-filter's library function over arbitrary bytes. The first four
// bytes choose the options (colour mode, smooth zoom, squint position, probe);
// the rest is the image file, in whatever format Qt's built-in readers
// recognise (PNG, BMP, PPM/PGM/PBM, XPM, XBM). Besides the sanitizers' checks:
//   - a success carries an image of the size the options imply and an error
//     text only on failure;
//   - a refusal of a result above the size limit happens before decoding.
#include "tools/FilterCore.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

constexpr filter::ColourMode kModes[] = {filter::ColourMode::None, filter::ColourMode::Simulate,
                                         filter::ColourMode::Low, filter::ColourMode::High,
                                         filter::ColourMode::Severe};
constexpr int kZooms[] = {0, 2, 4, 6, 8, 12};

// Work grows with the result; inputs whose result would take long at this
// size say nothing the small ones do not, so they are skipped unseen.
constexpr std::int64_t kLargestResultTried = 1'000'000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Decoders refuse pictures needing more than this (megabytes), as a
    // corrupt header can ask for gigabytes.
    QImageReader::setAllocationLimit(16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    filter::FilterOptions options;
    options.colour = kModes[data[0] % 5];
    options.smoothZoom = kZooms[data[1] % 6];
    options.squintPosition = data[2] % 31;
    options.probe = (data[3] & 1) != 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 4), static_cast<qsizetype>(size - 4));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader peek(&buffer);
    const QSize announced = peek.size();
    std::int64_t w = announced.width(), h = announced.height();
    if (options.squintPosition == 15 && options.smoothZoom != 0) {
        w = options.smoothZoom * (w - 1) + 1;
        h = options.smoothZoom * (h - 1) + 1;
    }
    const bool refusedUnseen = announced.isValid() && w * h > filter::MaxResultPixels;
    if (announced.isValid() && !refusedUnseen && w * h > kLargestResultTried)
        return 0;

    const filter::FilterResult result = filter::filterImage(bytes, options);
    if (refusedUnseen)
        require(!result.ok, "a result above the limit is refused");
    require(result.ok == result.error.empty(), "an error text exactly when it failed");
    if (!result.ok) {
        require(result.image.isEmpty(), "no image on failure");
        return 0;
    }
    require(!result.image.isEmpty(), "an image on success");
    require(options.probe == !result.probeText.empty(), "probe text exactly when asked for");
    if (options.squintPosition == 15 && options.smoothZoom != 0) {
        require((result.image.width() - 1) % options.smoothZoom == 0 &&
                    (result.image.height() - 1) % options.smoothZoom == 0,
                "smooth result is ZOOM*(W-1)+1 by ZOOM*(H-1)+1");
    }
    return 0;
}
