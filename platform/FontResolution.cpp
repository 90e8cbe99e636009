#include "platform/FontResolution.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>

namespace platform {

namespace {
int g_resolution = 0; // 0 until read

int readFromScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    // With Qt's own scaling off, the logical DPI is what the desktop set
    // (Xft.dpi on X11) or the platform's 96; it is a whole number there.
    const int dpi = screen ? static_cast<int>(screen->logicalDotsPerInchX()) : 0;
    return dpi > 0 ? dpi : kLayoutFontResolution;
}
} // namespace

int FontResolution() {
    if (g_resolution == 0)
        g_resolution = readFromScreen();
    return g_resolution;
}

int ScaledToFontResolution(int value) {
    // In integers, so that a half is exactly a half.
    const long long scaled = 2LL * std::llabs(value) * FontResolution();
    const long long rounded = (scaled + kLayoutFontResolution) / (2 * kLayoutFontResolution);
    return static_cast<int>(value < 0 ? -rounded : rounded);
}

void SetFontResolutionForTesting(int dpi) {
    g_resolution = dpi;
}

} // namespace platform
