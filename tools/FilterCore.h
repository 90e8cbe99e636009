// vistrel-filter: the lens's colour stage, squint rotation and smooth
// enlargement applied to image files. The reading, processing and writing
// live here so that tests and fuzzers can drive them without a process.
#pragma once

#include "platform/Bitmap24.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace filter {

enum class ColourMode { None, Simulate, Low, High, Severe };

struct FilterOptions {
    ColourMode colour = ColourMode::None;
    int squintPosition = 15; // 0..30; 15 leaves the image as it is
    int smoothZoom = 0;      // 0 for none, else 2, 4, 6, 8 or 12
    bool probe = false;
    bool help = false;
    std::string input;
    std::string output; // may be empty with probe
};

// Results larger than this many pixels are refused.
constexpr std::int64_t MaxResultPixels = 100'000'000;

struct ParsedArguments {
    bool ok = false;
    FilterOptions options;
    std::string error; // one line, when !ok
};

// Options take their value as the next argument or after '='; options and
// operands may be mixed; "--" ends the options.
ParsedArguments parseArguments(const std::vector<std::string>& args);
std::string usageText();

struct FilterResult {
    bool ok = false;
    platform::Bitmap24 image;
    std::string probeText; // the four probe captions, one a line, when asked for
    std::string error;     // one line, when !ok
};

// Decodes `bytes` (any format Qt reads; alpha dropped) and runs the stages of
// `options` in the frame's order: probe, colour, then squint or smooth.
FilterResult filterImage(const QByteArray& bytes, const FilterOptions& options);

// Writes `image` as PNG through a temporary file renamed into place, so that a
// failure leaves neither a partial file nor a damaged old one.
bool writePngAtomically(const QString& path, const platform::Bitmap24& image, std::string& error);

// The whole command: 0 on success, 2 for a usage error, 1 for anything else.
int runFilterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace filter
