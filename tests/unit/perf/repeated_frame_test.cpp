// Frames that repeat the one before leave the lens as it is; everything a
// frame leaves behind (picture, CaptureBitmap, fields) is what a frame that
// did the work would have left. And frames split over two threads leave what
// frames in one piece leave.
#include "../../gui/lens/LensFixture.h"
#include "lens/ColourStage.h"
#include "platform/RowSplit.h"
#include "vision/ColourCache.h"

#include <QImage>

using platform::Bitmap24;

namespace {

Bitmap24 copyOf(const Bitmap24& b) {
    Bitmap24 c;
    c.assign(b);
    return c;
}

bool sameBitmap(const Bitmap24& a, const Bitmap24& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.scanLine(y), b.scanLine(y), 3 * static_cast<std::size_t>(a.width())) != 0)
            return false;
    return true;
}

// The screen vouches for what has not changed since a capture, as X Damage
// lets the real one do.
struct RepeatedFrames : LensTest {
    void SetUp() override {
        LensTest::SetUp();
        screen->trackChanges(true);
    }
};

} // namespace

TEST_F(RepeatedFrames, AStillScreenLeavesWhatTheFullFrameLeft) {
    const struct {
        int simulation, correction, level;
        bool smooth;
        int squint;
    } table[] = {{0, 0, 0, false, 15}, {0, 0, 0, true, 15}, {1, 0, 0, true, 15},
                 {0, 1, 2, false, 15}, {0, 1, 3, true, 15}, {0, 0, 0, true, 16}};
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "simulation " << row.simulation << " level " << row.level
                                        << " smooth " << row.smooth << " squint " << row.squint);
        Form1->SimulationOn = row.simulation;
        Form1->CorrectionOn = row.correction;
        Form1->ColourBlindLevel = row.level;
        Form1->SmoothOn = row.smooth;
        Form1->SquintPosition = row.squint;
        Form1->SquintAngle = 0.3f;
        cursorAt(300 + row.level, 200); // a fresh square for each row
        // The severe correction and the rotation leave new probe values
        // behind, which the next frame starts from: it runs in full too.
        frame();
        frame();
        std::uint64_t repeated = Form1->RepeatedFrames();
        const QImage shown = Form1->Image1->Picture().copy();
        const Bitmap24 capture = copyOf(*Form1->CaptureBitmap);
        const int sourceWidth = Form1->SourceWidth, probeRed = Form1->ProbeRed;
        // Once a repeat has shown the capture settled, the frames after it
        // need none.
        for (bool settled : {false, true}) {
            const int before = screen->captureCount();
            frame();
            if (settled)
                EXPECT_EQ(screen->captureCount(), before);
            EXPECT_EQ(Form1->RepeatedFrames(), ++repeated);
            EXPECT_EQ(Form1->Image1->Picture(), shown);
            EXPECT_TRUE(sameBitmap(*Form1->CaptureBitmap, capture));
            EXPECT_EQ(Form1->SourceWidth, sourceWidth);
            EXPECT_EQ(Form1->ProbeRed, probeRed);
        }
    }
}

// The same frames run with the shortcut and without it: every frame must
// leave exactly what the frame that did its work leaves.
TEST_F(RepeatedFrames, EveryKindOfFrameLeavesWhatDoingItsWorkLeaves) {
    std::uint64_t repeated = 0;
    int captures = 0;
    auto run = [&](bool shortcut) {
        stop();
        start(1024, 768);
        screen->trackChanges(true);
        Form1->RepeatedFrameShortcut().setEnabled(shortcut);
        std::vector<LensState> states;
        auto frames = [&](int count) {
            for (int i = 0; i < count; ++i) {
                frame();
                states.push_back(lensState(boxes));
            }
        };
        const struct {
            int simulation, correction, level;
            bool smooth, probe;
            int squint, position;
        } modes[] = {
            {0, 0, 0, false, false, 15, 1}, {0, 0, 0, true, true, 15, 2}, {1, 0, 0, true, false, 15, 1},
            {1, 1, 2, false, true, 15, 3},  {0, 1, 1, true, true, 15, 1}, {0, 1, 2, false, false, 15, 5},
            {0, 1, 3, true, true, 15, 4},   {0, 0, 0, true, true, 20, 2}, {0, 1, 3, false, true, 22, 1}};
        int step = 0;
        for (const auto& m : modes) {
            Form1->SimulationOn = m.simulation;
            Form1->CorrectionOn = m.correction;
            Form1->ColourBlindLevel = m.level;
            Form1->SmoothOn = m.smooth;
            Form1->CheckBox1->SetChecked(m.probe);
            Form1->SquintPosition = m.squint;
            Form1->SquintAngle = m.squint == 15 ? 0.0f : 0.05f * static_cast<float>(m.squint);
            Form1->TrackBar1->SetPosition(m.position);
            cursorAt(200 + 11 * step, 150 + 7 * step);
            ++step;
            frames(3);
        }
        // A lens moving frame after frame, which keeps no capture, then
        // stopping.
        for (int i = 0; i < 4; ++i) {
            cursorAt(420 + 3 * i, 310);
            frames(1);
        }
        frames(3);
        // The fallback to Low Level, and a handler putting the level back to
        // none while the screen stays still.
        Form1->SimulationOn = 0;
        Form1->CorrectionOn = 1;
        for (int i = 0; i < 3; ++i) {
            Form1->ColourBlindLevel = 0;
            frames(1);
        }
        frames(2);
        // A failing capture and its recovery, at an edge of the screen.
        cursorAt(3, 5);
        screen->setFailing(true);
        frames(2);
        screen->setFailing(false);
        frames(3);
        // Control mode and back.
        cursorAt(800, 300);
        frames(1);
        cursorAt(3, 5);
        frames(3);
        repeated = Form1->RepeatedFrames();
        captures = screen->captureCount();
        return states;
    };
    const std::vector<LensState> with = run(true);
    EXPECT_GE(repeated, 12u) << "the shortcut was taken";
    const int capturesWith = captures;
    const std::vector<LensState> without = run(false);
    EXPECT_EQ(repeated, 0u);
    EXPECT_LT(capturesWith, captures) << "settled frames were still captured";
    ASSERT_EQ(with.size(), without.size());
    for (std::size_t i = 0; i < with.size(); ++i)
        EXPECT_EQ(stateDifferences(with[i], without[i]), "") << "frame " << i;
}

TEST_F(RepeatedFrames, AnyChangeRunsTheFrameAgain) {
    frame();
    frame();
    std::uint64_t repeated = Form1->RepeatedFrames();
    ASSERT_EQ(repeated, 1u);
    const std::function<void()> changes[] = {
        [this] { cursorAt(101, 100); },
        [] { Form1->SmoothOn = true; },
        [] { Form1->TrackBar1->SetPosition(2); },
        [] { Form1->SimulationOn = 1; },
        [this] {
            picture.setPixel(101, 100, qRgb(1, 2, 3));
            screen->setPicture(picture);
        },
        [] { Form1->Image1->GetCanvas().Ellipse(0, 0, 10, 10); }, // someone drew on the picture
        [] { Form1->Image1->ClearPicture(); },
    };
    for (const auto& change : changes) {
        change();
        frame();
        EXPECT_EQ(Form1->RepeatedFrames(), repeated);
        frame();
        EXPECT_EQ(Form1->RepeatedFrames(), ++repeated);
    }
}

// At zoom 8 the capture leaves the last column and row of CaptureBitmap as
// the frame before left them: the comparison covers them too, and the frame
// that follows a change there matches one that did the work.
TEST_F(RepeatedFrames, PixelsTheCaptureLeavesAreComparedToo) {
    Form1->TrackBar1->SetPosition(4);
    Form1->SimulationOn = 1;
    frame();
    frame();
    ASSERT_EQ(Form1->RepeatedFrames(), 1u);
    const int last = Form1->CaptureBitmap->width() - 1;
    std::uint8_t* p = Form1->CaptureBitmap->scanLine(7) + 3 * last;
    p[0] = 30, p[1] = 60, p[2] = 200;
    Bitmap24 expected = copyOf(*Form1->CaptureBitmap);
    ASSERT_TRUE(screen->copyTo(Form1->SourceRect, expected, Form1->CaptureRect.Left, Form1->CaptureRect.Top));
    int r = 0, g = 0, b = 0;
    ApplyColourStageReference(ColourStage::SimulateRedGreen, expected, r, g, b);
    frame();
    EXPECT_EQ(Form1->RepeatedFrames(), 1u);
    EXPECT_TRUE(sameBitmap(*Form1->CaptureBitmap, expected));
}

TEST_F(RepeatedFrames, AFailingCaptureIsNeverARepeat) {
    frame();
    screen->setFailing(true);
    frame();
    frame();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Form1->RepeatedFrames(), 0u);
}

// Whole frames with every per-pixel stage split over two threads leave what
// frames worked in one piece leave: the lens picture (painted in the
// smoothing pass), CaptureBitmap, SmoothBitmap and the planes.
TEST_F(RepeatedFrames, SplitFramesLeaveWhatOneThreadFramesLeave) {
    struct Left {
        QImage shown;
        Bitmap24 capture, smooth;
        std::vector<std::uint8_t> red, blue;
    };
    const std::uint64_t repeatedBefore = Form1->RepeatedFrames();
    auto frames = [&](RowSplitMode mode) {
        SetRowSplitMode(mode);
        ResetColourCaches(); // every colour met cold, as on the first run
        std::vector<Left> left;
        int step = 0;
        for (int position : {1, 3, 5})
            for (int colourMode = 0; colourMode < 4; ++colourMode)
                for (bool smooth : {false, true}) {
                    Form1->TrackBar1->SetPosition(position);
                    Form1->SimulationOn = colourMode == 1 ? 1 : 0;
                    Form1->CorrectionOn = colourMode >= 2 ? 1 : 0;
                    Form1->ColourBlindLevel = colourMode == 3 ? 2 : 1;
                    Form1->SmoothOn = smooth;
                    cursorAt(300 + 7 * step, 200 + 3 * step);
                    ++step;
                    frame();
                    Form1->FillPlanes();
                    const std::size_t plane = static_cast<std::size_t>(Form1->CaptureBitmap->width()) *
                                              Form1->CaptureBitmap->height();
                    left.push_back(
                        {Form1->Image1->Picture().copy(), copyOf(*Form1->CaptureBitmap),
                         copyOf(*Form1->SmoothBitmap),
                         std::vector<std::uint8_t>(Form1->RedPlane.get(), Form1->RedPlane.get() + plane),
                         std::vector<std::uint8_t>(Form1->BluePlane.get(), Form1->BluePlane.get() + plane)});
                }
        SetRowSplitMode(RowSplitMode::Auto);
        return left;
    };
    const std::vector<Left> whole = frames(RowSplitMode::Never);
    const std::vector<Left> split = frames(RowSplitMode::Always);
    ASSERT_EQ(whole.size(), split.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        EXPECT_EQ(whole[i].shown, split[i].shown);
        EXPECT_TRUE(sameBitmap(whole[i].capture, split[i].capture));
        // Without smoothing SmoothBitmap holds what the run before left.
        if (i % 2 == 1)
            EXPECT_TRUE(sameBitmap(whole[i].smooth, split[i].smooth));
        EXPECT_EQ(whole[i].red, split[i].red);
        EXPECT_EQ(whole[i].blue, split[i].blue);
    }
    EXPECT_EQ(Form1->RepeatedFrames(), repeatedBefore); // every frame did its work
}
