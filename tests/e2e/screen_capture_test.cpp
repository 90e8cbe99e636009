// The X11 screen on a real server: squares of the painted test desktop,
// inside and past every edge, through each capture path; and the cursor.
#include "platform/PointerWatchX11.h"
#include "platform/ScreenX11.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using platform::Bitmap24;
using platform::X11Screen;

namespace {

const QImage& desktop() {
    static const QImage image = [] {
        const char* path = std::getenv("VISTREL_DESKTOP_PPM");
        QImage loaded(path ? QString::fromLocal8Bit(path) : QString());
        return loaded.convertToFormat(QImage::Format_RGB32);
    }();
    return image;
}

struct Variant {
    const char* name;
    X11Screen::Connection connection;
    X11Screen::Capture capture;
    bool expectShm;
};

const Variant variants[] = {
    {"AppConnectionAuto", X11Screen::Connection::Application, X11Screen::Capture::Auto, true},
    {"AppConnectionQt", X11Screen::Connection::Application, X11Screen::Capture::Qt, false},
    {"OwnConnectionShm", X11Screen::Connection::Own, X11Screen::Capture::SharedMemory, true},
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

class Capture : public testing::TestWithParam<Variant> {};

constexpr std::uint8_t untouched = 0xAB;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
void PrintTo(const Rgb& c, std::ostream* os) {
    *os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

} // namespace

TEST_P(Capture, SquaresMatchTheDesktopAndOffScreenPixelsStayUntouched) {
    ASSERT_FALSE(desktop().isNull()) << "VISTREL_DESKTOP_PPM not readable";
    X11Screen screen(GetParam().connection, GetParam().capture);
    ASSERT_TRUE(screen.hasConnection());
    EXPECT_EQ(screen.hasSharedMemory(), GetParam().expectShm);
    const int W = desktop().width(), H = desktop().height();
    ASSERT_EQ(screen.width(), W);
    ASSERT_EQ(screen.height(), H);

    struct Case {
        int left, top, size, dstX, dstY;
    };
    const Case cases[] = {
        {300, 200, 204, 0, 0},         // inside
        {-102, -102, 204, 0, 0},       // cursor at (0, 0): past the left and the top
        {-40, 300, 384, 0, 0},         // past the left edge
        {500, -1, 51, 0, 0},           // one row past the top
        {W - 100, 100, 204, 0, 0},     // past the right edge
        {200, H - 10, 384, 0, 0},      // past the bottom
        {W - 50, H - 60, 204, 0, 0},   // past the bottom-right corner
        {W - 204, H - 204, 204, 0, 0}, // ends exactly at the right and bottom edges
        {W - 203, 20, 204, 0, 0},      // one column further
        {W + 5, 10, 68, 0, 0},         // wholly off the screen
        {-200, -200, 1500, 0, 0},      // larger than the screen
        {100, 100, 60, 7, -3},         // placed at an offset in the bitmap, clipped by it
    };
    for (const Case& c : cases) {
        Bitmap24 dst(c.size, c.size);
        for (int y = 0; y < c.size; ++y)
            std::fill(dst.scanLine(y), dst.scanLine(y) + 3 * c.size, untouched);
        const TRect source{c.left, c.top, c.left + c.size, c.top + c.size};
        ASSERT_TRUE(screen.copyTo(source, dst, c.dstX, c.dstY)) << c.left << "," << c.top;
        for (int y = 0; y < c.size; ++y) {
            const std::uint8_t* row = dst.scanLine(y);
            for (int x = 0; x < c.size; ++x) {
                const int sx = c.left + x - c.dstX, sy = c.top + y - c.dstY;
                const bool inSquare =
                    x >= c.dstX && x - c.dstX < c.size && y >= c.dstY && y - c.dstY < c.size;
                const bool onScreen = sx >= 0 && sx < W && sy >= 0 && sy < H;
                int b = untouched, g = untouched, r = untouched;
                if (inSquare && onScreen) {
                    const QRgb p = reinterpret_cast<const QRgb*>(desktop().constScanLine(sy))[sx];
                    b = qBlue(p);
                    g = qGreen(p);
                    r = qRed(p);
                }
                ASSERT_TRUE(row[3 * x] == b && row[3 * x + 1] == g && row[3 * x + 2] == r)
                    << "square at " << c.left << "," << c.top << " size " << c.size << ": pixel " << x << ","
                    << y << " is " << int(row[3 * x + 2]) << "," << int(row[3 * x + 1]) << ","
                    << int(row[3 * x]) << ", wanted " << r << "," << g << "," << b;
            }
        }
    }
}

TEST_P(Capture, CursorFollowsThePointer) {
    X11Screen screen(GetParam().connection, GetParam().capture);
    for (const TPoint want : {TPoint{321, 234}, TPoint{0, 0}, TPoint{1023, 767}}) {
        const std::string command =
            "xdotool mousemove " + std::to_string(want.x) + " " + std::to_string(want.y);
        ASSERT_EQ(std::system(command.c_str()), 0);
        // Looks a tick apart, far fewer than a still pointer goes unasked:
        // the move must be seen as a move.
        TPoint got{-1, -1};
        for (int look = 0; look < 30; ++look) {
            ASSERT_TRUE(screen.cursorPos(got));
            if (got.x == want.x && got.y == want.y)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
    }
}

TEST(PointerWatch, SeesEachMoveAndThenStillness) {
    // Where nothing is recorded, every look must count as a move.
    platform::OwnedConnection broken(xcb_connect(":999", nullptr));
    platform::PointerWatch blind;
    EXPECT_FALSE(blind.start(broken.get()));
    EXPECT_TRUE(blind.movedSinceLastLook());

    platform::OwnedConnection control(xcb_connect(nullptr, nullptr));
    platform::PointerWatch watch;
    ASSERT_TRUE(watch.start(control.get()));
    EXPECT_FALSE(watch.movedSinceLastLook());
    for (const TPoint to : {TPoint{100, 200}, TPoint{101, 200}, TPoint{0, 0}}) {
        const std::string command = "xdotool mousemove " + std::to_string(to.x) + " " + std::to_string(to.y);
        ASSERT_EQ(std::system(command.c_str()), 0);
        bool seen = false;
        for (int look = 0; look < 100 && !seen; ++look) {
            seen = watch.movedSinceLastLook();
            if (!seen)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(seen) << "the move to " << to.x << "," << to.y;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(watch.movedSinceLastLook()) << "after the move to " << to.x << "," << to.y;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, Capture, testing::ValuesIn(variants),
                         [](const testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.name);
                         });

TEST(SystemScreen, IsTheX11ScreenOnTheApplicationsConnection) {
    std::unique_ptr<platform::Screen> screen = platform::createSystemScreen();
    auto* x11 = dynamic_cast<X11Screen*>(screen.get());
    ASSERT_NE(x11, nullptr);
    EXPECT_TRUE(x11->hasSharedMemory());
    Bitmap24 dst(4, 4);
    EXPECT_TRUE(screen->copyTo(TRect{0, 0, 4, 4}, dst, 0, 0));
    // The program's screen is made on first use and lives until exit, past
    // the application object (which runs the teardown path once).
    EXPECT_TRUE(platform::currentScreen().copyTo(TRect{0, 0, 4, 4}, dst, 0, 0));
}

// One X screen split into two RandR monitors, the primary on the left (run
// by monitors_test.py on such a desktop): the lens's "screen" is the primary
// monitor, the capture reaches over the whole desktop.
TEST(TwoMonitors, QtSeesBothAndTheCaptureSpansTheDesktop) {
    QList<QRect> screens;
    for (const QScreen* s : QGuiApplication::screens())
        screens.append(s->geometry());
    std::sort(screens.begin(), screens.end(), [](const QRect& a, const QRect& b) { return a.x() < b.x(); });
    ASSERT_EQ(screens, (QList<QRect>{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1280, 1024)}));
    EXPECT_EQ(QGuiApplication::primaryScreen()->geometry(), screens[0]);
    ASSERT_EQ(desktop().size(), QSize(2560, 1024));
    for (const Variant& v : variants) {
        X11Screen screen(v.connection, v.capture);
        EXPECT_EQ(screen.width(), v.connection == X11Screen::Connection::Own ? 2560 : 1280) << v.name;
        EXPECT_EQ(screen.height(), 1024) << v.name;
        // Across the border between the monitors, then past the desktop's right edge.
        for (const int left : {1280 - 102, 2560 - 102}) {
            Bitmap24 dst(204, 204);
            for (int y = 0; y < 204; ++y)
                std::fill(dst.scanLine(y), dst.scanLine(y) + 3 * 204, untouched);
            ASSERT_TRUE(screen.copyTo(TRect{left, 400, left + 204, 604}, dst, 0, 0)) << v.name;
            for (const int x : {0, 101, 102, 203}) {
                const std::uint8_t* p = dst.scanLine(50) + 3 * x;
                const Rgb got{p[2], p[1], p[0]};
                Rgb want{untouched, untouched, untouched};
                if (left + x < 2560) {
                    const QRgb d = desktop().pixel(left + x, 450);
                    want = Rgb{qRed(d), qGreen(d), qBlue(d)};
                }
                EXPECT_EQ(got, want) << v.name << " at " << left + x;
            }
        }
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
