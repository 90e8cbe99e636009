#include "tools/FilterCore.h"

#include "lens/PlaneCopy.h"
#include "lens/ProbeText.h"
#include "lens/SmoothEnlarge.h"
#include "lens/SquintRotation.h"
#include "lens/ColourStage.h"
#include "vision/ColourVision.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <cstdio>
#include <exception>
#include <new>
#include <ostream>
#include <vector>

#if defined(__unix__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace filter {

namespace {

// Some decoders write their complaints straight to the standard error stream
// (libpng's "libpng error: …"); while a picture is decoded, that stream goes
// to /dev/null, so that the command's own one-line message is the only one.
class QuietStandardError {
public:
    QuietStandardError() {
#if defined(__unix__)
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
#endif
    }
    ~QuietStandardError() {
#if defined(__unix__)
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
#endif
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int m_saved = -1;
};

FilterResult failed(std::string message) {
    FilterResult r;
    r.error = std::move(message);
    return r;
}

// The result's size before any work, so that a refusal costs nothing.
std::int64_t resultPixels(std::int64_t width, std::int64_t height, int smoothZoom) {
    if (smoothZoom != 0) {
        width = smoothZoom * (width - 1) + 1;
        height = smoothZoom * (height - 1) + 1;
    }
    return width * height;
}

// The decoded picture as 24 bits: every format through non-premultiplied
// ARGB, whose colour channels are taken as they are and whose alpha is dropped.
void toBitmap24(const QImage& decoded, platform::Bitmap24& bitmap) {
    const QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull())
        throw std::bad_alloc();
    bitmap.setSize(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        std::uint8_t* out = bitmap.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            out[3 * x] = static_cast<std::uint8_t>(qBlue(in[x]));
            out[3 * x + 1] = static_cast<std::uint8_t>(qGreen(in[x]));
            out[3 * x + 2] = static_cast<std::uint8_t>(qRed(in[x]));
        }
    }
}

std::string probeCaptions(const platform::Bitmap24& bitmap) {
    const std::uint8_t* pixel = bitmap.scanLine(bitmap.height() / 2) + 3 * (bitmap.width() / 2);
    const int red = pixel[2];
    const int green = pixel[1];
    const int blue = pixel[0];
    return ColourToIdent(ColourValue(red, green, blue)) + "\n" + ProbeCaption("R = ", red) + "\n" +
           ProbeCaption("G = ", green) + "\n" + ProbeCaption("B = ", blue) + "\n";
}

void applyColour(ColourMode mode, platform::Bitmap24& bitmap) {
    int red = 0, green = 0, blue = 0;
    switch (mode) {
    case ColourMode::None:
        return;
    case ColourMode::Simulate:
        ApplyColourStage(ColourStage::SimulateRedGreen, bitmap, red, green, blue);
        return;
    case ColourMode::Low:
        // The curve the lens window builds at its creation.
        BuildLensHueCurve();
        ApplyColourStage(ColourStage::LowLevel, bitmap, red, green, blue);
        return;
    case ColourMode::High:
        ApplyColourStage(ColourStage::HighLevel, bitmap, red, green, blue);
        return;
    case ColourMode::Severe:
        ApplyColourStage(ColourStage::Severe, bitmap, red, green, blue);
        return;
    }
}

// As the frame rotates, with the squint half sizes taken from the image
// itself (width div 2, height div 2).
void applySquint(int position, platform::Bitmap24& bitmap) {
    const int width = bitmap.width();
    const int height = bitmap.height();
    const SquintValues squint = ComputeSquint(position, HsiTwoPi, width, height, 1);
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> red(count), green(count), blue(count);
    CopyToPlanes(bitmap, width, red.data(), green.data(), blue.data());
    float rotatedX = 0, rotatedY = 0;
    int probeRed = 0, probeGreen = 0, probeBlue = 0;
    RotateSquint(bitmap, width, height, red.data(), green.data(), blue.data(), squint.SquintAngle,
                 squint.SquintCentreX, squint.SquintCentreY, rotatedX, rotatedY, probeRed, probeGreen,
                 probeBlue);
}

} // namespace

FilterResult filterImage(const QByteArray& bytes, const FilterOptions& options) {
    if (bytes.isEmpty())
        return failed("the input is empty");

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize announced = reader.size();
    if (announced.isValid() &&
        resultPixels(announced.width(), announced.height(), options.smoothZoom) > MaxResultPixels)
        return failed("the result would exceed 100 million pixels");

    QImage decoded;
    if (!reader.read(&decoded))
        return failed("cannot decode the image: " + reader.errorString().toStdString());
    if (decoded.width() <= 0 || decoded.height() <= 0)
        return failed("the image is empty");
    if (resultPixels(decoded.width(), decoded.height(), options.smoothZoom) > MaxResultPixels)
        return failed("the result would exceed 100 million pixels");

    FilterResult result;
    try {
        platform::Bitmap24 bitmap;
        toBitmap24(decoded, bitmap);
        decoded = QImage();

        if (options.probe)
            result.probeText = probeCaptions(bitmap);
        applyColour(options.colour, bitmap);
        if (options.squintPosition != 15) {
            applySquint(options.squintPosition, bitmap);
            result.image.assign(bitmap);
        } else if (options.smoothZoom != 0) {
            const int zoom = options.smoothZoom;
            const int width = zoom * (bitmap.width() - 1) + 1;
            const int height = zoom * (bitmap.height() - 1) + 1;
            result.image.setSize(width, height);
            SmoothEnlargeInto(bitmap, zoom, width, height, result.image);
        } else {
            result.image.assign(bitmap);
        }
    } catch (const std::bad_alloc&) {
        result.image = platform::Bitmap24();
        result.error = "out of memory";
        return result;
    }
    result.ok = true;
    return result;
}

bool writePngAtomically(const QString& path, const platform::Bitmap24& image, std::string& error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write '" + path.toStdString() + "': " + file.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image.image())) {
        error = "cannot write '" + path.toStdString() + "': " + writer.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = "cannot write '" + path.toStdString() + "': " + file.errorString().toStdString();
        return false;
    }
    return true;
}

int runFilterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedArguments parsed = parseArguments(args);
    if (!parsed.ok) {
        err << "vistrel-filter: " << parsed.error << " (see --help)\n";
        return 2;
    }
    const FilterOptions& options = parsed.options;
    if (options.help) {
        out << usageText();
        return 0;
    }

    const QString inputPath = QString::fromStdString(options.input);
    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly)) {
        err << "vistrel-filter: cannot read '" << options.input << "': " << input.errorString().toStdString()
            << "\n";
        return 1;
    }
    const QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError) {
        err << "vistrel-filter: cannot read '" << options.input << "': " << input.errorString().toStdString()
            << "\n";
        return 1;
    }
    input.close();

    FilterResult result;
    {
        QuietStandardError quiet;
        result = filterImage(bytes, options);
    }
    out << result.probeText;
    out.flush();
    if (!result.ok) {
        err << "vistrel-filter: " << options.input << ": " << result.error << "\n";
        return 1;
    }
    if (options.output.empty())
        return 0;
    std::string error;
    if (!writePngAtomically(QString::fromStdString(options.output), result.image, error)) {
        err << "vistrel-filter: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace filter
