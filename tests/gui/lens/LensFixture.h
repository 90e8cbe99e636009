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
#include <map>
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

// Everything a frame or a dialog can leave that a user or a later frame
// could see: the lens fields, bitmaps, planes and picture, the controls of
// the lens and of the setup dialog, and the message boxes shown. Pixels are
// held as hashes; reals as their bits.
using LensState = std::map<std::string, std::string>;
LensState lensState(const std::vector<std::string>& boxes);
// The names of the entries in which two states differ, with both values.
std::string stateDifferences(const LensState& a, const LensState& b);

class LensTest : public ::testing::Test {
protected:
    void SetUp() override { start(1024, 768); }
    void TearDown() override { stop(); }

    // A desktop wider than the screen (0: as wide) holds a second monitor
    // right of the primary one.
    void start(int screenWidth, int screenHeight, int desktopWidth = 0);
    void stop();
    void frame() { Form1->AnimTimer1Timer(Form1->AnimTimer1); }
    void cursorAt(int x, int y) { screen->setCursor(TPoint{x, y}); }
    // Runs `action` once the next modal loop is running.
    void whenModal(std::function<void()> action, int delayMs = 0);

    platform::MemoryScreen* screen = nullptr;
    QImage picture;
    std::vector<std::string> boxes;
};
