// Times one capture of a square around the screen's centre through each path
// of the X11 screen and prints the medians. Needs a display; without one it
// says so and succeeds, so that `make bench` runs anywhere.
#include "platform/ScreenX11.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using platform::Bitmap24;
using platform::X11Screen;

namespace {

// Median milliseconds of `rounds` captures, or a negative value when one fails.
double medianCapture(X11Screen& screen, int side, int rounds) {
    Bitmap24 dst(side, side);
    const int left = screen.width() / 2 - side / 2, top = screen.height() / 2 - side / 2;
    const TRect source{left, top, left + side, top + side};
    if (!screen.copyTo(source, dst, 0, 0)) // warm-up: the shared segment is made here
        return -1;
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!screen.copyTo(source, dst, 0, 0))
            return -1;
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
    return times[static_cast<std::size_t>(rounds / 2)];
}

} // namespace

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::puts("bench_capture: skipped, no display (DISPLAY is not set)");
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);

    X11Screen shm(X11Screen::Connection::Application, X11Screen::Capture::SharedMemory);
    X11Screen qt(X11Screen::Connection::Application, X11Screen::Capture::Qt);
    std::printf("bench_capture: display %s, %dx%d, MIT-SHM %s\n", display, shm.width(), shm.height(),
                shm.hasSharedMemory() ? "available" : "not available");
    std::printf("%8s %14s %14s\n", "square", "MIT-SHM ms", "Qt grab ms");
    for (const int side : {204, 384, 768}) {
        const double a = shm.hasSharedMemory() ? medianCapture(shm, side, 200) : -1;
        const double b = medianCapture(qt, side, 50);
        std::printf("%5d^2  %14.3f %14.3f\n", side, a, b);
    }
    std::puts("(negative: that path failed)");
    return 0;
}
