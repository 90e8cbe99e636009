// The whole lens frame, capture to painted lens, and its stages one by one.
//
//   bench_frame [--screen memory|x11] [--frames N] [--headline N] [--size WxH]
//               [--zoom Z] [--split never|auto]
//
// memory (default): an in-memory screen of each width 1024, 1920, 3840 (or
// the one --size names) on Qt's offscreen platform. x11: the running display
// (run it under Xvfb of the size wanted) captured through the X11 screen,
// painted through xcb. For every zoom, colour mode and Smooth off/on it runs
// N frames (default 100) with the cursor moving a pixel each frame, so every
// frame does its full work, and prints medians and 99th percentiles in ms:
// the whole frame as AnimTimer1Timer runs it, then the stages of the same
// frame timed apart (capture, colour stage, plane copy, smoothing, stretch
// into the lens picture). Zoom 2 with Smooth on is run again for --headline
// frames (default 1000), and once with the cursor still (repeated frames).
// --zoom runs that zoom only; --split never keeps every stage on one thread.
#include "app/About.h"
#include "lens/FrameGeometry.h"
#include "lens/PlaneCopy.h"
#include "platform/RowSplit.h"
#include "lens/SmoothEnlargeFast.h"
#include "lens/vistrelUnit.h"
#include "platform/Application.h"
#include "platform/Canvas.h"
#include "platform/MessageBox.h"
#include "platform/QtSetup.h"
#include "platform/Screen.h"
#include "vision/ColourCache.h"
#include "vision/Setup.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using platform::Bitmap24;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Stats {
    double median = 0, p99 = 0;
};
Stats statsOf(std::vector<double> v) {
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// A desktop-like picture: flat panels, text-like strokes, gradients and a
// photo-like noisy area, so the colour cache meets both few and many colours.
QImage desktopPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t seed = 99;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int band = (x / 97 + y / 61) % 4;
            QRgb c;
            if (band == 0)
                c = ((x / 3 + y / 7) % 5 == 0) ? qRgb(20, 20, 30) : qRgb(240, 240, 235); // text on paper
            else if (band == 1)
                c = qRgb((x * 255 / width), (y * 255 / height), 128); // gradient
            else if (band == 2)
                c = qRgb(200, 40, 40 + (x / 50) % 3 * 60); // red panels
            else
                c = qRgb((x + (seed >> 28)) & 255, (y * 2 + (seed >> 27)) & 255,
                         ((x ^ y) + (seed >> 26)) & 255);
            row[x] = c;
        }
    }
    return image;
}

// The one-minute load average, to say how busy the machine was.
double loadAverage() {
    double load = -1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

enum class Mode { Plain, Simulation, Level1, Level2 };
const char* nameOf(Mode m) {
    switch (m) {
    case Mode::Plain:
        return "plain";
    case Mode::Simulation:
        return "simulate";
    case Mode::Level1:
        return "level1";
    case Mode::Level2:
        return "level2";
    }
    return "?";
}

void setMode(Mode m, bool smooth) {
    Form1->SimulationOn = m == Mode::Simulation ? 1 : 0;
    Form1->CorrectionOn = (m == Mode::Level1 || m == Mode::Level2) ? 1 : 0;
    Form1->ColourBlindLevel = m == Mode::Level2 ? 2 : 1;
    Form1->CheckBox2->SetChecked(smooth);
    Form1->SmoothOn = smooth;
}

struct Bench {
    platform::Screen* screen = nullptr;
    platform::MemoryScreen* memory = nullptr; // set for the in-memory screen
    int centreX = 0, centreY = 0;

    void cursorAt(int x, int y) {
        if (memory)
            memory->setCursor(TPoint{x, y});
        else
            std::system(("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y)).c_str());
    }

    // Whole frames, the cursor moving one pixel to and fro (or still).
    std::vector<double> frames(int count, bool still) {
        std::vector<double> times;
        times.reserve(static_cast<std::size_t>(count));
        if (!memory) // the real pointer: moved once, then the frames follow it by a pixel each
            cursorAt(centreX, centreY);
        for (int i = 0; i < count + 20; ++i) {
            if (memory && !still)
                cursorAt(centreX + (i % 2), centreY);
            else if (!memory && !still)
                moveRealPointer(i % 2 ? 1 : -1);
            const auto start = Clock::now();
            Form1->AnimTimer1Timer(Form1->AnimTimer1);
            const double t = msSince(start);
            if (i >= 20) // the first frames fill the caches
                times.push_back(t);
        }
        return times;
    }

    void moveRealPointer(int dx);

    // The stages of a frame timed apart, on the frame's own bitmaps.
    struct StageTimes {
        std::vector<double> capture, colour, planes, smooth, stretch;
    };
    StageTimes stages(int count, Mode mode, bool smooth) {
        StageTimes s;
        // The frame's own geometry (after a smoothed frame SourceWidth holds
        // the display size).
        const int zoom = Form1->ZoomFactor;
        const int display = Form1->DisplayWidth;
        const FrameGeometry g = ComputeFrameGeometry(display, Form1->DisplayHeight, zoom, centreX, centreY);
        Bitmap24 capture(g.SourceWidth, g.SourceHeight);
        const int side = capture.width();
        Bitmap24 smoothBitmap(display, display);
        QImage lens(display, display, QImage::Format_RGB32);
        platform::Canvas canvas(&lens);
        std::vector<std::uint8_t> red(capture.width() * capture.height()), green(red.size()),
            blue(red.size());
        SmoothEnlarger enlarger;
        for (int i = 0; i < count + 5; ++i) {
            const int left = centreX - side / 2 + (i % 2);
            const TRect source{left, centreY - side / 2, left + side, centreY - side / 2 + side};
            auto t = Clock::now();
            screen->copyTo(source, capture, 0, 0);
            const double tCapture = msSince(t);
            t = Clock::now();
            if (mode == Mode::Simulation)
                SimulateRedGreenFast(capture);
            else if (mode == Mode::Level1)
                CorrectLowLevelFast(capture, HueCurve);
            else if (mode == Mode::Level2)
                CorrectHighLevelFast(capture);
            const double tColour = msSince(t);
            t = Clock::now();
            CopyToPlanes(capture, capture.width(), red.data(), green.data(), blue.data());
            const double tPlanes = msSince(t);
            // Smoothing paints the lens in its own pass where it can, as the
            // frame does; the stretch is then what is left of painting.
            t = Clock::now();
            const bool painted =
                smooth && enlarger.enlargeAndPaint(capture, zoom, display, display, smoothBitmap, lens);
            const double tSmooth = msSince(t);
            t = Clock::now();
            if (!painted)
                canvas.StretchDraw(TRect{0, 0, display, display}, smooth ? smoothBitmap : capture);
            const double tStretch = msSince(t);
            if (i < 5)
                continue;
            s.capture.push_back(tCapture);
            s.colour.push_back(tColour);
            s.planes.push_back(tPlanes);
            s.smooth.push_back(tSmooth);
            s.stretch.push_back(tStretch);
        }
        return s;
    }
};

void Bench::moveRealPointer(int dx) {
    std::system(("xdotool mousemove_relative -- " + std::to_string(dx) + " 0").c_str());
}

void printRow(int screenWidth, int zoom, Mode mode, bool smooth, const std::vector<double>& whole,
              const Bench::StageTimes& s) {
    const Stats w = statsOf(whole), c = statsOf(s.capture), k = statsOf(s.colour), p = statsOf(s.planes),
                m = statsOf(s.smooth), t = statsOf(s.stretch);
    std::printf(
        "%6d %4d %-8s %-6s | %7.3f %7.3f | %6.3f %6.3f %6.3f %6.3f %6.3f | %7.3f %7.3f %7.3f %7.3f %7.3f\n",
        screenWidth, zoom, nameOf(mode), smooth ? "smooth" : "-", w.median, w.p99, c.median, k.median,
        p.median, m.median, t.median, c.p99, k.p99, p.p99, m.p99, t.p99);
    std::fflush(stdout);
}

int zoomPosition(int zoom) {
    switch (zoom) {
    case 2:
        return 1;
    case 4:
        return 2;
    case 6:
        return 3;
    case 8:
        return 4;
    default:
        return 5;
    }
}

std::vector<int> benchZooms = {2, 4, 6, 8, 12};

int runOne(int argc, char** argv, bool x11, int width, int height, int count, int headline) {
    platform::PrepareQtEnvironment();
    QApplication app(argc, argv);
    Bench bench;
    if (x11) {
        bench.screen = &platform::currentScreen();
        width = bench.screen->width();
        height = bench.screen->height();
    } else {
        auto owned = std::make_unique<platform::MemoryScreen>(desktopPicture(width, height));
        bench.memory = owned.get();
        bench.screen = owned.get();
        platform::setCurrentScreen(std::move(owned));
    }
    platform::SetMessageBoxHook([](const std::string& text, const std::string&, platform::MessageIcon) {
        std::fprintf(stderr, "message box: %s\n", text.c_str());
    });
    Application = new TApplication;
    platform::InstallWidgetHooks();
    Application->MainForm = new TForm1(Application);
    new TForm2(Application);
    new TForm3(Application);
    Form1->AnimTimer1->SetEnabled(false);
    Form1->show();
    // The cursor left of the lens, which sits at the right edge.
    bench.centreX = width / 4;
    bench.centreY = height / 2;
    bench.cursorAt(bench.centreX, bench.centreY);

    std::printf("screen %dx%d (%s), lens %d, %d frames per row, %s, load %.2f\n", width, height,
                x11 ? "X11" : "in memory", Form1->ClientWidth(), count,
                CurrentRowSplitMode() == RowSplitMode::Never ? "one thread" : "rows split over two threads",
                loadAverage());
    std::printf("%6s %4s %-8s %-6s | %15s | %34s | %s\n", "screen", "zoom", "mode", "smooth", "frame med p99",
                "median: capture colour planes smooth stretch", "p99 of the same");
    for (int zoom : benchZooms)
        for (Mode mode : {Mode::Plain, Mode::Simulation, Mode::Level1, Mode::Level2})
            for (bool smooth : {false, true}) {
                Form1->TrackBar1->SetPosition(zoomPosition(zoom));
                setMode(mode, smooth);
                const std::vector<double> whole = bench.frames(count, false);
                printRow(width, zoom, mode, smooth, whole, bench.stages(count, mode, smooth));
            }
    std::printf("headline: zoom 2, Smooth on, %d frames\n", headline);
    Form1->TrackBar1->SetPosition(1);
    for (Mode mode : {Mode::Plain, Mode::Simulation, Mode::Level1, Mode::Level2}) {
        setMode(mode, true);
        const Stats moving = statsOf(bench.frames(headline, false));
        const Stats still = statsOf(bench.frames(headline / 4, true));
        std::printf("%6d    2 %-8s smooth | moving %7.3f p99 %7.3f | still %7.3f p99 %7.3f\n", width,
                    nameOf(mode), moving.median, moving.p99, still.median, still.p99);
        std::fflush(stdout);
    }
    const ColourCacheUsage usage = ColourCacheUsageNow();
    std::printf("colour cache: %zu + %zu + %zu colours, %.1f MiB written\n", usage.simulationColours,
                usage.lowLevelColours, usage.highLevelColours, usage.residentBytes / 1048576.0);
    std::printf("repeated frames: %llu\n", static_cast<unsigned long long>(Form1->RepeatedFrames()));
    delete Application;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bool x11 = false;
    int count = 100, headline = 1000;
    std::string passOn; // the options each size's child takes too
    std::vector<std::pair<int, int>> sizes = {{1024, 768}, {1920, 1080}, {3840, 2160}};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--zoom" || option == "--split")
            passOn += " " + option + " " + argv[i + 1];
        if (option == "--screen")
            x11 = std::strcmp(argv[i + 1], "x11") == 0;
        else if (option == "--frames")
            count = std::atoi(argv[i + 1]);
        else if (option == "--headline")
            headline = std::atoi(argv[i + 1]);
        else if (option == "--zoom")
            benchZooms = {std::atoi(argv[i + 1])};
        else if (option == "--split")
            SetRowSplitMode(std::strcmp(argv[i + 1], "never") == 0 ? RowSplitMode::Never
                                                                   : RowSplitMode::Auto);
        else if (option == "--size") {
            int w = 0, h = 0;
            if (std::sscanf(argv[i + 1], "%dx%d", &w, &h) == 2)
                sizes = {{w, h}};
        }
    }
    if (x11) {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            std::puts("bench_frame: skipped, no display (DISPLAY is not set)");
            return 0;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        return runOne(argc, argv, true, 0, 0, count, headline);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // One QApplication per process: each size runs in a child of its own.
    if (sizes.size() == 1)
        return runOne(argc, argv, false, sizes[0].first, sizes[0].second, count, headline);
    int status = 0;
    for (const auto& size : sizes) {
        const std::string command = std::string(argv[0]) + " --size " + std::to_string(size.first) + "x" +
                                    std::to_string(size.second) + " --frames " + std::to_string(count) +
                                    " --headline " + std::to_string(headline) + passOn;
        status |= std::system(command.c_str());
    }
    return status == 0 ? 0 : 1;
}
