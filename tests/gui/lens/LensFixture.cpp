#include "LensFixture.h"

#include "platform/MessageBox.h"
#include "platform/QtSetup.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

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

namespace {
std::string bytesHash(const void* data, std::size_t size) {
    return std::to_string(
        std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(data), size)));
}
std::string bitmapHash(const platform::Bitmap24* b) {
    if (!b)
        return "none";
    std::size_t h = 0;
    for (int y = 0; y < b->height(); ++y)
        h = h * 1099511628211u ^
            std::hash<std::string_view>{}(
                std::string_view(reinterpret_cast<const char*>(b->scanLine(y)), 3 * std::size_t(b->width())));
    return std::to_string(b->width()) + "x" + std::to_string(b->height()) + " " + std::to_string(h);
}
std::string imageHash(const QImage& image) {
    if (image.isNull())
        return "none";
    return std::to_string(image.width()) + "x" + std::to_string(image.height()) + " " +
           bytesHash(image.constBits(), static_cast<std::size_t>(image.sizeInBytes()));
}
std::string bitsOf(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return std::to_string(bits);
}
std::string rectOf(const TRect& r) {
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom);
}
} // namespace

LensState lensState(const std::vector<std::string>& boxes) {
    Form1->FillPlanes();
    const TForm1& f = *Form1;
    LensState s;
    auto n = [&](const char* name, long long v) { s[name] = std::to_string(v); };
    auto real = [&](const char* name, float v) { s[name] = bitsOf(v); };
    s["LensScreenRect"] = f.LensScreenRect ? rectOf(*f.LensScreenRect) : "none";
    s["SourceRect"] = rectOf(f.SourceRect);
    s["DisplayRect"] = rectOf(f.DisplayRect);
    s["CaptureRect"] = rectOf(f.CaptureRect);
    s["LensRegion"] = rectOf(f.LensRegion);
    s["CursorPos"] =
        f.CursorPos ? std::to_string(f.CursorPos->x) + "," + std::to_string(f.CursorPos->y) : "none";
    n("DisplayWidth", f.DisplayWidth), n("DisplayHeight", f.DisplayHeight);
    n("DisplayCentreX", f.DisplayCentreX), n("DisplayCentreY", f.DisplayCentreY);
    real("HalfSpanX", f.HalfSpanX), real("HalfSpanY", f.HalfSpanY);
    real("RotatedX", f.RotatedX), real("RotatedY", f.RotatedY);
    n("CursorX", f.CursorX), n("CursorY", f.CursorY);
    n("DragStartX", f.DragStartX), n("DragStartY", f.DragStartY);
    n("DragDeltaX", f.DragDeltaX), n("DragDeltaY", f.DragDeltaY), n("Dragging", f.Dragging);
    n("SourceWidth", f.SourceWidth), n("SourceHeight", f.SourceHeight);
    n("ProbeRed", f.ProbeRed), n("ProbeGreen", f.ProbeGreen), n("ProbeBlue", f.ProbeBlue);
    n("SmoothOn", f.SmoothOn), n("CorrectionOn", f.CorrectionOn), n("YellowBlueOn", f.YellowBlueOn);
    n("SquintPosition", f.SquintPosition), n("ZoomFactor", f.ZoomFactor);
    n("ColourBlindLevel", f.ColourBlindLevel), n("SimulationOn", f.SimulationOn);
    real("SquintAngle", f.SquintAngle), real("SquintCentreX", f.SquintCentreX);
    real("SquintCentreY", f.SquintCentreY);
    // ScanLine by the row of CaptureBitmap it points at, if any.
    s["ScanLine"] = "elsewhere";
    if (!f.ScanLine)
        s["ScanLine"] = "none";
    for (int y = 0; f.CaptureBitmap && y < f.CaptureBitmap->height(); ++y)
        if (f.ScanLine == std::as_const(*f.CaptureBitmap).scanLine(y)) // a read keeps the image key
            s["ScanLine"] = "row " + std::to_string(y);
    s["CaptureBitmap"] = bitmapHash(f.CaptureBitmap.get());
    s["SmoothBitmap"] = bitmapHash(f.SmoothBitmap.get());
    // The planes as far as the frames have written them.
    const std::size_t plane =
        f.CaptureBitmap ? static_cast<std::size_t>(f.CaptureBitmap->width()) * f.CaptureBitmap->height() : 0;
    s["RedPlane"] = f.RedPlane ? bytesHash(f.RedPlane.get(), plane) : "none";
    s["GreenPlane"] = f.GreenPlane ? bytesHash(f.GreenPlane.get(), plane) : "none";
    s["BluePlane"] = f.BluePlane ? bytesHash(f.BluePlane.get(), plane) : "none";
    s["Image1.picture"] = imageHash(f.Image1->Picture());
    n("Image1.hidden", f.Image1->isHidden()), n("Panel1.hidden", f.Panel1->isHidden());
    n("Panel3.hidden", f.Panel3->isHidden()), n("Panel4.colour", f.Panel4->Color());
    s["Label6"] = f.Label6->text().toStdString(), s["Label8"] = f.Label8->text().toStdString();
    s["Label9"] = f.Label9->text().toStdString(), s["Label10"] = f.Label10->text().toStdString();
    n("CheckBox1", f.CheckBox1->Checked()), n("CheckBox2", f.CheckBox2->Checked());
    n("TrackBar1", f.TrackBar1->Position());
    s["Form1.geometry"] = std::to_string(f.Left()) + "," + std::to_string(f.Top()) + " " +
                          std::to_string(f.Width()) + "x" + std::to_string(f.Height());
    n("Form3.hidden", Form3->isHidden()), n("Form3.CheckBox1", Form3->CheckBox1->Checked());
    n("Form3.CheckBox2", Form3->CheckBox2->Checked()), n("Form3.TrackBar1", Form3->TrackBar1->Position());
    n("Form3.RadioButton1", Form3->RadioButton1->Checked());
    n("Form3.RadioButton2", Form3->RadioButton2->Checked());
    n("Form3.RadioButton3", Form3->RadioButton3->Checked());
    real("Form3.TwoPi", Form3->TwoPi);
    n("Form3.SquintHalfWidth", Form3->SquintHalfWidth), n("Form3.SquintHalfHeight", Form3->SquintHalfHeight);
    std::string shown;
    for (const std::string& box : boxes)
        shown += box + "|";
    s["boxes"] = shown;
    return s;
}

std::string stateDifferences(const LensState& a, const LensState& b) {
    std::string out;
    for (const auto& [name, value] : a) {
        const auto other = b.find(name);
        if (other == b.end() || other->second != value)
            out += name + ": " + value + " / " + (other == b.end() ? "missing" : other->second) + "\n";
    }
    return out;
}

void LensTest::start(int screenWidth, int screenHeight, int desktopWidth) {
    picture = patternScreen(std::max(screenWidth, desktopWidth), screenHeight);
    auto owned = std::make_unique<platform::MemoryScreen>(picture, QSize(screenWidth, screenHeight));
    screen = owned.get();
    platform::setCurrentScreen(std::move(owned));
    boxes.clear();
    platform::SetMessageBoxHook([this](const std::string& text, const std::string&, platform::MessageIcon) {
        boxes.push_back(text);
    });
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
