#include "LensFixture.h"

#include "platform/MessageBox.h"
#include "platform/QtSetup.h"

#include <QCoreApplication>
#include <QTimer>
#include <memory>

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

QImage patternScreen(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb((x * 7 + y) & 0xFF, (y * 5 + x * 3) & 0xFF, (x * 11 + y * 13) & 0xFF);
    }
    return image;
}

Rgb pixelOf(const QImage& image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return Rgb{qRed(p), qGreen(p), qBlue(p)};
}

Rgb bitmapPixel(const platform::Bitmap24& bitmap, int x, int y) {
    const std::uint8_t* row = bitmap.scanLine(y);
    return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
}

void LensTest::start(int screenWidth, int screenHeight) {
    picture = patternScreen(screenWidth, screenHeight);
    auto owned = std::make_unique<platform::MemoryScreen>(picture);
    screen = owned.get();
    platform::setCurrentScreen(std::move(owned));
    boxes.clear();
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&, platform::MessageIcon) { boxes.push_back(text); });
    Application = new TApplication;
    platform::InstallWidgetHooks();
    Application->HelpFile = "Help\\VISTREL_HELP.HLP";
    Application->Title = "VISTREL";
    Application->MainForm = new TForm1(Application);
    new TForm2(Application);
    new TForm3(Application);
    Form1->AnimTimer1->SetEnabled(false);
    cursorAt(100, 100);
}

void LensTest::stop() {
    delete Application;
    platform::SetMessageBoxHook({});
    // A test that ended the program left Qt's quit flag set, which would end
    // every later modal loop at once; a pass through exec() clears it.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

void LensTest::whenModal(std::function<void()> action, int delayMs) {
    QTimer::singleShot(delayMs, [action = std::move(action)] { action(); });
}
