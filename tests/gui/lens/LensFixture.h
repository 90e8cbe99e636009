// A running program without its message loop: the application object, the
// three windows on an in-memory screen, message boxes recorded, the timer
// stopped so that each test runs its frames itself.
#pragma once

#include "app/About.h"
#include "lens/vistrelUnit.h"
#include "platform/Application.h"
#include "platform/Screen.h"
#include "vision/Setup.h"

#include <QImage>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c);

// A screen picture in which neighbouring pixels differ in every channel.
QImage patternScreen(int width, int height);
Rgb pixelOf(const QImage& image, int x, int y);
Rgb bitmapPixel(const platform::Bitmap24& bitmap, int x, int y);

class LensTest : public ::testing::Test {
protected:
    void SetUp() override { start(1024, 768); }
    void TearDown() override { stop(); }

    void start(int screenWidth, int screenHeight);
    void stop();
    void frame() { Form1->AnimTimer1Timer(Form1->AnimTimer1); }
    void cursorAt(int x, int y) { screen->setCursor(TPoint{x, y}); }
    // Runs `action` once the next modal loop is running.
    void whenModal(std::function<void()> action, int delayMs = 0);

    platform::MemoryScreen* screen = nullptr;
    QImage picture;
    std::vector<std::string> boxes;
};
