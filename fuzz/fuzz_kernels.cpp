// The frame's pixel kernels over random sizes, zooms and positions, in the
// order a frame runs them: geometry, capture from an in-memory screen with the
// off-screen ellipse, colour stage, plane copy, rotation or smoothing, stretch
// into the lens picture, cross-hair and ring. Besides the sanitizers' checks
// (every read and write inside its buffer, no undefined arithmetic), each run
// holds the kernels to properties that do not depend on the input:
//   - the fast colour stages equal their step-by-step reference to the bit;
//   - smoothing reproduces every source pixel at the grid points it samples;
//   - the stretch puts source pixel (k·sw div dw, j·sh div dh) at (k, j).
#include "lens/FrameGeometry.h"
#include "lens/PlaneCopy.h"
#include "lens/SevereCorrection.h"
#include "lens/SmoothEnlarge.h"
#include "lens/SquintRotation.h"
#include "platform/Bitmap24.h"
#include "platform/Canvas.h"
#include "platform/Screen.h"
#include "lens/ColourStage.h"
#include "vision/ColourVision.h"
#include "vision/HueCurve.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

void fillFrom(FuzzedDataProvider& in, platform::Bitmap24& bitmap) {
    for (int y = 0; y < bitmap.height(); ++y) {
        std::uint8_t* row = bitmap.scanLine(y);
        const std::size_t bytes = static_cast<std::size_t>(3 * bitmap.width());
        const std::vector<std::uint8_t> data = in.ConsumeBytes<std::uint8_t>(bytes);
        if (!data.empty())
            std::memcpy(row, data.data(), data.size());
    }
}

bool samePixels(const platform::Bitmap24& a, const platform::Bitmap24& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.scanLine(y), b.scanLine(y), static_cast<std::size_t>(3 * a.width())) != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const bool curveBuilt = (BuildLensHueCurve(), true);
    (void)curveBuilt;

    // The screen, the display (Image1) and the zoom. Cursor positions reach
    // far beyond any screen: X reports 16-bit coordinates, other systems wider.
    const int screenW = in.ConsumeIntegralInRange(1, 160);
    const int screenH = in.ConsumeIntegralInRange(1, 160);
    const int displayW = in.ConsumeIntegralInRange(1, 200);
    const int displayH = in.ConsumeIntegralInRange(1, 200);
    const int zoom =
        in.ConsumeBool() ? ZoomFromTrackBar(in.ConsumeIntegral<int>()) : in.ConsumeIntegralInRange(1, 16);
    const int cursorX = in.ConsumeIntegralInRange(-1'000'000, 1'000'000);
    const int cursorY = in.ConsumeIntegralInRange(-1'000'000, 1'000'000);

    const FrameGeometry g = ComputeFrameGeometry(displayW, displayH, zoom, cursorX, cursorY);
    require(g.SourceWidth >= g.CaptureRect.Right && g.SourceHeight >= g.CaptureRect.Bottom,
            "the capture lands inside CaptureBitmap");
    require(g.SourceRect.width() == g.CaptureRect.Right && g.SourceRect.height() == g.CaptureRect.Bottom,
            "source square and capture rectangle have one size");

    QImage screenPicture(screenW, screenH, QImage::Format_RGB32);
    for (int y = 0; y < screenH; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(screenPicture.scanLine(y));
        for (int x = 0; x < screenW; ++x)
            row[x] = 0xFF000000u | in.ConsumeIntegral<std::uint32_t>();
    }
    platform::MemoryScreen screen(screenPicture);

    platform::Bitmap24 capture;
    capture.setWidth(g.SourceWidth);
    capture.setHeight(g.SourceHeight);
    const OffscreenEdges edges = TestOffscreen(g.SourceRect, screen.width(), screen.height());
    if (edges.count() > 0 && !capture.isEmpty()) {
        platform::Canvas c(&capture.image());
        c.Ellipse(0, 0, capture.width(), capture.height());
    }
    require(screen.copyTo(g.SourceRect, capture, g.CaptureRect.Left, g.CaptureRect.Top), "memory capture");
    if (capture.isEmpty())
        return 0;
    // Any picture at all from here on, not only what a screen shows.
    if (in.ConsumeBool())
        fillFrom(in, capture);
    const int W = capture.width(), H = capture.height();

    int probeRed = 0, probeGreen = 0, probeBlue = 0;
    const int stage = in.ConsumeIntegralInRange(0, 4);
    if (stage < 4) {
        const auto kind = static_cast<ColourStage>(stage);
        platform::Bitmap24 reference;
        reference.assign(capture);
        int rr = 0, rg = 0, rb = 0;
        ApplyColourStageReference(kind, reference, rr, rg, rb);
        ApplyColourStage(kind, capture, probeRed, probeGreen, probeBlue);
        require(samePixels(capture, reference), "fast colour stage equals the reference");
        require(probeRed == rr && probeGreen == rg && probeBlue == rb, "probe values of the colour stage");
    }
    // The severe correction clips a size larger than the bitmap.
    SevereCorrect(capture, W + in.ConsumeIntegralInRange(0, 3), H + in.ConsumeIntegralInRange(0, 3), probeRed,
                  probeGreen, probeBlue);

    const std::size_t count = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    std::vector<std::uint8_t> red(count), green(count), blue(count);
    CopyToPlanes(capture, W, red.data(), green.data(), blue.data());

    platform::Bitmap24 shown;
    const int squint = in.ConsumeIntegralInRange(0, 30);
    if (squint != 15) {
        const SquintValues s = ComputeSquint(squint, HsiTwoPi, displayW, displayH, zoom);
        float rx = 0, ry = 0;
        RotateSquint(capture, W, H, red.data(), green.data(), blue.data(), s.SquintAngle, s.SquintCentreX,
                     s.SquintCentreY, rx, ry, probeRed, probeGreen, probeBlue);
        shown.assign(capture);
    } else {
        // SmoothBitmap keeps its creation size while the display may have grown.
        const int smoothW = in.ConsumeIntegralInRange(1, 200);
        const int smoothH = in.ConsumeIntegralInRange(1, 200);
        platform::Bitmap24 smooth(smoothW, smoothH);
        SmoothEnlargeInto(capture, zoom, displayW, displayH, smooth);
        for (int y = 0; y < H && zoom * y < std::min(displayH, smoothH); ++y) {
            for (int x = 0; x < W && zoom * x < std::min(displayW, smoothW); ++x) {
                const std::uint8_t* s = smooth.scanLine(zoom * y) + 3 * zoom * x;
                const std::uint8_t* c = capture.scanLine(y) + 3 * x;
                require(std::memcmp(s, c, 3) == 0, "smoothing keeps source pixels at grid points");
            }
        }
        shown.assign(smooth);
    }

    // Into a lens picture whose size need not match the display rectangle.
    QImage lens(in.ConsumeIntegralInRange(1, 200), in.ConsumeIntegralInRange(1, 200), QImage::Format_RGB32);
    lens.fill(Qt::white);
    platform::Canvas canvas(&lens);
    const TRect displayRect{0, 0, displayW, displayH};
    canvas.StretchDraw(displayRect, shown);
    const int k = in.ConsumeIntegralInRange(0, displayW - 1);
    const int j = in.ConsumeIntegralInRange(0, displayH - 1);
    if (k < lens.width() && j < lens.height()) {
        const std::uint8_t* src =
            shown.scanLine(j * shown.height() / displayH) + 3 * (k * shown.width() / displayW);
        const QRgb got = lens.pixel(k, j);
        require(qBlue(got) == src[0] && qGreen(got) == src[1] && qRed(got) == src[2],
                "nearest-neighbour stretch");
    }
    canvas.PenColor = 0;
    canvas.PenWidth = 1;
    canvas.MoveTo(displayW / 2 - displayW / 4, displayH / 2);
    canvas.LineTo(displayW / 2 + displayW / 4, displayH / 2);
    canvas.PenWidth = 8;
    canvas.Brush = platform::BrushStyle::Clear;
    canvas.Ellipse(7, 7, lens.width() - 8, lens.height() - 28);
    return 0;
}
