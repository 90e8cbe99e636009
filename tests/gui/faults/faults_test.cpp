// Faults a lens that runs all day meets: a capture that fails for a while (also
// under a dialog), a cursor far from every screen, a screen that changes size
// under the running lens, and a close request arriving inside a frame. Under
// ASan these also check that nothing is read or written out of bounds and
// nothing leaks.
#include "../lens/LensFixture.h"

#include "platform/MessageBox.h"
#include "platform/QtSetup.h"

#include <QCoreApplication>
#include <QResizeEvent>
#include <QTimer>
#include <algorithm>

namespace {

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kNavy{0, 0, 128};
const char kCaptureError[] = "Could not capture screen";

QImage lensPicture() {
    return Form1->Image1->Picture().copy();
}
Rgb lensPixel(int x, int y) {
    return pixelOf(Form1->Image1->Picture(), x, y);
}

// The cross-hair and the ring of a 409-pixel lens.
void expectOverlay(const char* when) {
    EXPECT_EQ(lensPixel(204, 150), kBlack) << when;
    EXPECT_EQ(lensPixel(150, 204), kBlack) << when;
    EXPECT_EQ(lensPixel(204, 10), kNavy) << when;
    EXPECT_EQ(lensPixel(204, 380), kNavy) << when;
}

// Capture pixel (x, y) must come from screen pixel (left + x, top + y)
// wherever that lies on the screen and within the captured square.
void expectCaptureOf(const QImage& screenPicture, const char* when) {
    const TRect& src = Form1->SourceRect;
    const platform::Bitmap24& cap = *Form1->CaptureBitmap;
    const int x0 = std::max(0, -src.Left), x1 = std::min(src.width(), screenPicture.width() - src.Left);
    const int y0 = std::max(0, -src.Top), y1 = std::min(src.height(), screenPicture.height() - src.Top);
    ASSERT_LT(x0, x1) << when << ": the square misses the screen";
    ASSERT_LT(y0, y1) << when << ": the square misses the screen";
    for (int y = y0; y < y1; y += 3)
        for (int x = x0; x < x1; x += 3)
            ASSERT_EQ(bitmapPixel(cap, x, y), pixelOf(screenPicture, src.Left + x, src.Top + y))
                << when << " at " << x << "," << y;
}

TEST_F(LensTest, CaptureFailingForSeveralTicksUnderEveryStageRecovers) {
    struct Stages {
        const char* name;
        bool smooth;
        int simulation, correction, level, squint, zoomPosition;
    };
    const Stages cases[] = {
        {"plain zoom 2", false, 0, 0, 0, 15, 1},      {"smooth zoom 4", true, 0, 0, 0, 15, 2},
        {"simulation smooth", true, 1, 0, 0, 15, 1},  {"low level zoom 6", false, 0, 1, 1, 15, 3},
        {"high level zoom 12", true, 0, 1, 2, 15, 5}, {"severe squint", false, 0, 1, 3, 20, 2},
    };
    for (const Stages& c : cases) {
        Form1->CheckBox2->SetChecked(c.smooth);
        Form1->SimulationOn = c.simulation;
        Form1->CorrectionOn = c.correction;
        Form1->ColourBlindLevel = c.level;
        Form1->SquintPosition = c.squint;
        Form1->TrackBar1->SetPosition(c.zoomPosition);
        cursorAt(300, 300);
        frame();
        const QImage healthy = lensPicture();
        ASSERT_TRUE(boxes.empty()) << c.name << ": " << boxes.front();

        // Failing at another place: every tick says so once and still draws
        // the overlay over the picture it had.
        screen->setFailing(true);
        cursorAt(450, 500);
        const int failingTicks = 4;
        for (int i = 0; i < failingTicks; ++i) {
            frame();
            expectOverlay(c.name);
        }
        ASSERT_EQ(boxes.size(), static_cast<std::size_t>(failingTicks)) << c.name;
        for (const std::string& text : boxes)
            EXPECT_EQ(text, kCaptureError);

        // Recovered: the lens follows the cursor again, and back at the first
        // place shows the same picture as before.
        screen->setFailing(false);
        frame();
        EXPECT_FALSE(lensPicture() == healthy) << c.name << ": the lens did not move on";
        cursorAt(300, 300);
        frame();
        frame();
        EXPECT_EQ(boxes.size(), static_cast<std::size_t>(failingTicks)) << c.name;
        EXPECT_TRUE(lensPicture() == healthy) << c.name << ": the recovered frame differs";
        boxes.clear();
    }
}

TEST_F(LensTest, CaptureFailingWhileTheSetupDialogIsUp) {
    cursorAt(300, 300);
    frame();
    std::size_t boxesWhileUp = 0;
    bool dialogVisible = false;
    whenModal([&] {
        dialogVisible = Form3->isVisible();
        screen->setFailing(true);
        frame();
        frame();
        frame();
        boxesWhileUp = boxes.size();
        screen->setFailing(false);
        frame();
        Form3->BitBtn1->click();
    });
    Form1->BitBtn3->click();
    EXPECT_TRUE(dialogVisible);
    EXPECT_EQ(boxesWhileUp, 3u);
    EXPECT_EQ(boxes.size(), 3u) << "the recovered frame under the dialog shows no box";
    EXPECT_TRUE(Form3->isHidden());
    // The dialog's close changed nothing, and frames carry on normally.
    EXPECT_EQ(Form1->CorrectionOn, 0);
    EXPECT_EQ(Form1->SimulationOn, 0);
    frame();
    expectCaptureOf(picture, "after the dialog");
    EXPECT_EQ(boxes.size(), 3u);
}

TEST_F(LensTest, CaptureFailingUnderTheRunningTimerShowsOneBoxPerFailedTick) {
    cursorAt(300, 300);
    Form1->AnimTimer1->SetEnabled(true);
    int failedCaptures = 0;
    std::size_t boxesWhileFailing = 0;
    whenModal([&] {
        const int before = screen->captureCount();
        screen->setFailing(true);
        QTimer::singleShot(300, [&, before] {
            screen->setFailing(false);
            failedCaptures = screen->captureCount() - before;
            boxesWhileFailing = boxes.size();
            QTimer::singleShot(200, [] { Form3->BitBtn1->click(); });
        });
    });
    Form1->BitBtn3->click();
    Form1->AnimTimer1->SetEnabled(false);
    EXPECT_GT(failedCaptures, 5);
    // The switch flips between frames (frames never overlap): every failed
    // capture, and only those, showed its box.
    EXPECT_EQ(static_cast<int>(boxesWhileFailing), failedCaptures);
    EXPECT_EQ(static_cast<int>(boxes.size()), failedCaptures);
}

TEST_F(LensTest, CursorFarOutsideEveryScreen) {
    const TPoint cursors[] = {{-1, -1},         {-103, 300},    {300, -103},         {1024 + 103, 300},
                              {300, 768 + 103}, {-5000, -5000}, {5000, 5000},        {-32768, -32768},
                              {32767, -32768},  {32767, 32767}, {-1000000, 1000000}, {1000000, 20}};
    for (const bool smooth : {false, true}) {
        Form1->CheckBox2->SetChecked(smooth);
        for (int position = 1; position <= 5; ++position) {
            Form1->TrackBar1->SetPosition(position);
            for (const TPoint& at : cursors) {
                cursorAt(at.x, at.y);
                frame();
                ASSERT_TRUE(boxes.empty()) << at.x << "," << at.y << ": " << boxes.front();
                // The whole square lies off the screen: the centre of the
                // capture is the white filling of the off-screen ellipse.
                const int cw = Form1->CaptureBitmap->width(), ch = Form1->CaptureBitmap->height();
                EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, cw / 2 - 1, ch / 2 - 1), kWhite)
                    << at.x << "," << at.y << " zoom position " << position;
                EXPECT_EQ(lensPixel(150, 150), kWhite) << at.x << "," << at.y << " smooth " << smooth;
                expectOverlay("off every screen");
            }
        }
    }
    // And straight back onto the screen.
    Form1->CheckBox2->SetChecked(false);
    Form1->TrackBar1->SetPosition(1);
    cursorAt(200, 200);
    frame();
    expectCaptureOf(picture, "back on the screen");
}

TEST_F(LensTest, ScreenSizeChangesUnderTheRunningLens) {
    const QSize sizes[] = {{640, 480}, {3840, 2160}, {300, 200}, {1, 1}, {1024, 768}, {2560, 1440}};
    const std::size_t planes = Form1->PlaneCapacity();
    for (const QSize& size : sizes) {
        const QImage shot = patternScreen(size.width(), size.height());
        screen->setPicture(shot);
        const TPoint cursors[] = {{0, 0},
                                  {size.width() / 2, size.height() / 2},
                                  {size.width() - 1, size.height() - 1},
                                  {size.width() + 50, 10},
                                  {150, size.height() - 20}};
        for (const bool smooth : {false, true}) {
            Form1->CheckBox2->SetChecked(smooth);
            for (int position = 1; position <= 5; ++position) {
                Form1->TrackBar1->SetPosition(position);
                for (const TPoint& at : cursors) {
                    // The lens window itself stays where it was created.
                    if (PtInRect(TRect{607, 135, 1024, 571}, at))
                        continue;
                    cursorAt(at.x, at.y);
                    frame();
                    ASSERT_TRUE(boxes.empty()) << size.width() << "x" << size.height();
                    const TRect& src = Form1->SourceRect;
                    if (src.Right > 0 && src.Bottom > 0 && src.Left < size.width() && src.Top < size.height())
                        expectCaptureOf(shot, "after the screen changed size");
                }
            }
        }
        // What the lens was created with stays as it was.
        EXPECT_EQ(Form1->PlaneCapacity(), planes);
        EXPECT_EQ(Form1->SmoothBitmap->width(), 409);
        EXPECT_EQ(Form1->SmoothBitmap->height(), 409);
        EXPECT_EQ(Form1->Image1->width(), 409);
    }
}

TEST_F(LensTest, ScreenAndWindowBothGrowUnderTheRunningLens) {
    screen->setPicture(patternScreen(3840, 2160));
    Form1->SetClientSize(1536, 1536);
    for (const bool smooth : {true, false}) {
        Form1->CheckBox2->SetChecked(smooth);
        for (int position = 1; position <= 5; ++position) {
            Form1->TrackBar1->SetPosition(position);
            cursorAt(3000, 1000);
            frame();
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(Form1->DisplayWidth, 1536);
            // Smoothing leaves the display size in SourceWidth; the planes hold the capture.
            const platform::Bitmap24& cap = *Form1->CaptureBitmap;
            EXPECT_GE(Form1->PlaneCapacity(), static_cast<std::size_t>(cap.width()) * cap.height());
        }
    }
    EXPECT_EQ(Form1->SmoothBitmap->width(), 409) << "SmoothBitmap keeps its creation size";
}

// A close request reaches the lens while a frame hands the application its
// pending messages: the frame finishes, the resources are released once, no
// later tick runs a frame, and the program ends with status 0.
TEST_F(LensTest, CloseRequestArrivingInsideAFrame) {
    cursorAt(300, 300);
    Form1->CheckBox2->SetChecked(true);
    Form1->SimulationOn = 1;
    frame();
    QTimer::singleShot(0, [] { Form1->close(); });
    frame();
    EXPECT_TRUE(Form1->FrameResourcesReleased());
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(platform::ExitStatus(), 0);
    const int captures = screen->captureCount();
    frame();
    EXPECT_EQ(screen->captureCount(), captures);
    EXPECT_TRUE(boxes.empty());
}

// The close request arrives while the frame's error box is open: once the box
// is closed the frame draws its overlay and returns without touching what the
// close handler released.
TEST_F(LensTest, CloseRequestArrivingWhileTheErrorBoxIsOpen) {
    cursorAt(300, 300);
    frame();
    platform::SetMessageBoxHook([this](const std::string& text, const std::string&, platform::MessageIcon) {
        boxes.push_back(text);
        Form1->close();
    });
    screen->setFailing(true);
    frame();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(Form1->FrameResourcesReleased());
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(platform::ExitStatus(), 0);
    expectOverlay("after the close");
    frame();
    EXPECT_EQ(boxes.size(), 1u) << "no frame runs after the close";
}

// Whatever size the window is given, down to 1 × 1, is refused below the
// size at which every zoom still captures a pixel each way, and no frame
// fails or crashes in any mode.
TEST_F(LensTest, TinyWindowSizesNeverBreakAFrame) {
    EXPECT_EQ(Form1->minimumSize(), QSize(12 + 8, 12 + 27));
    Form1->CheckBox1->SetChecked(true);
    cursorAt(300, 300);
    int mode = 0;
    for (int w = 1; w <= 24; ++w) {
        for (int h = 1; h <= 24; ++h) {
            // As a window manager that ignores the size hints would give it.
            QResizeEvent given(QSize(w + 8, h + 27), Form1->size());
            QCoreApplication::sendEvent(Form1, &given);
            ASSERT_EQ(Form1->ClientWidth(), std::max(w, 12));
            ASSERT_EQ(Form1->ClientHeight(), std::max(h, 12));
            ASSERT_EQ(Form1->Image1->size(), QSize(Form1->ClientWidth(), Form1->ClientHeight()));
            for (int position = 1; position <= 5; ++position, ++mode) {
                Form1->TrackBar1->SetPosition(position);
                Form1->SmoothOn = mode % 2 == 1;
                Form1->SimulationOn = mode / 2 % 6 == 1;
                Form1->CorrectionOn = mode / 2 % 6 >= 2;
                Form1->ColourBlindLevel = std::max(0, mode / 2 % 6 - 2);
                Form1->SquintPosition = mode / 12 % 2 == 1 ? 20 : 15;
                Form1->SquintAngle = Form1->SquintPosition == 15 ? 0.0f : 0.35f;
                frame();
                ASSERT_GE(Form1->CaptureBitmap->width(), 1) << w << "x" << h << " zoom " << position;
                ASSERT_GE(Form1->CaptureBitmap->height(), 1) << w << "x" << h << " zoom " << position;
            }
        }
    }
    EXPECT_TRUE(boxes.empty());
}

} // namespace
