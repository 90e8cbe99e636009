// The lens window: size, shape and place on screens of several widths, the
// control panel's layout, the Move handle, the check boxes and the two ways
// of ending.
#include "LensFixture.h"

#include "platform/HelpEngine.h"
#include "platform/QtSetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QtTest/QTest>
#include <stdexcept>

namespace {

struct ScreenCase {
    int screenWidth;
    int S;
};

class LensGeometry : public LensTest, public ::testing::WithParamInterface<ScreenCase> {
protected:
    void SetUp() override { start(GetParam().screenWidth, 768); }
};

TEST_P(LensGeometry, LensIsTwoFifthsOfTheScreenAtTheRightEdge) {
    const int S = GetParam().S;
    EXPECT_EQ(Form1->ClientWidth(), S);
    EXPECT_EQ(Form1->ClientHeight(), S);
    EXPECT_EQ(Form1->Width(), S + 8);
    EXPECT_EQ(Form1->Height(), S + 27);
    EXPECT_EQ(Form1->Left() + Form1->Width(), GetParam().screenWidth);
    EXPECT_EQ(Form1->Top(), 135);
    EXPECT_EQ(Form1->Image1->width(), S);
    EXPECT_EQ(Form1->SourceWidth, S);
    EXPECT_EQ(Form1->PlaneCapacity(), static_cast<size_t>(S) * S);
    EXPECT_EQ(Form1->SmoothBitmap->width(), S);
    EXPECT_EQ(Form1->SmoothBitmap->height(), S);
    EXPECT_EQ(Form1->RegionBox(), (TRect{8, 27, S, S}));
}

INSTANTIATE_TEST_SUITE_P(Widths, LensGeometry,
                         ::testing::Values(ScreenCase{800, 320}, ScreenCase{1024, 409}, ScreenCase{1280, 512},
                                           ScreenCase{1920, 768}));

TEST_F(LensTest, WorkedExampleOfA1024PixelScreen) {
    EXPECT_EQ(Form1->Width(), 417);
    EXPECT_EQ(Form1->Height(), 436);
    EXPECT_EQ(Form1->Left(), 607);
    EXPECT_EQ(Form1->Top(), 135);
    EXPECT_EQ(Form1->LensRegion, (TRect{8, 27, 409, 409}));
    // The region box is 401 × 382 pixels: right and bottom are exclusive.
    EXPECT_EQ(Form1->LensRegion.width(), 401);
    EXPECT_EQ(Form1->LensRegion.height(), 382);
    EXPECT_EQ(Form1->Panel1->x(), 76);
    EXPECT_EQ(Form1->Panel1->y(), 111);
    EXPECT_EQ(Form1->windowTitle(), QStringLiteral("VISTREL"));
}

TEST_F(LensTest, CreationStateBeforeTheFirstFrame) {
    EXPECT_EQ(Form1->ZoomFactor, 0);
    EXPECT_EQ(Form1->SquintPosition, 15);
    EXPECT_EQ(Form1->CorrectionOn, 0);
    EXPECT_EQ(Form1->SimulationOn, 0);
    EXPECT_EQ(Form1->ColourBlindLevel, 0);
    EXPECT_FALSE(Form1->SmoothOn);
    EXPECT_EQ(Form1->TrackBar1->Position(), 1);
    EXPECT_TRUE(Form1->Panel3->isHidden());
    EXPECT_FALSE(Form1->Panel1->isHidden());
    EXPECT_FALSE(Form1->Image1->isHidden());
    EXPECT_TRUE(Form1->CaptureBitmap->isEmpty());
    EXPECT_TRUE(Form1->AnimTimer1 != nullptr);
    EXPECT_EQ(Form1->AnimTimer1->Interval(), 10u);
    EXPECT_EQ(Form1->ScreenCanvas, &platform::currentScreen());
}

// Every lens size centres the panel, the design size (screens 1000 to 1002
// wide) included, where creation changes no size.
TEST_F(LensTest, ControlPanelIsCentredForEveryLensSize) {
    for (int width = 795; width <= 1030; ++width) {
        stop();
        start(width, 768);
        const int S = width * 2 / 5;
        ASSERT_EQ(Form1->Panel1->pos(), QPoint(S / 2 - 257 / 2, S / 2 - 186 / 2)) << "screen " << width;
    }
}

TEST_F(LensTest, ProbeBoxLiesAboveTheControlPanel) {
    stop();
    start(800, 600);
    Form1->CheckBox1->SetChecked(true);
    // On a 320-pixel lens the panel overlaps the probe box's R, G, B row.
    const QRect overlap = Form1->Panel1->geometry() & Form1->Panel3->geometry();
    const QRect rgbRow(Form1->Panel3->mapTo(Form1->ClientArea(), Form1->Label9->pos()),
                       Form1->Label9->size());
    ASSERT_TRUE(overlap.intersects(rgbRow));
    const QWidget* top = Form1->ClientArea()->childAt((overlap & rgbRow).center());
    EXPECT_TRUE(top == Form1->Panel3 || Form1->Panel3->isAncestorOf(top));
    const QObjectList& order = Form1->ClientArea()->children();
    EXPECT_LT(order.indexOf(Form1->Image1), order.indexOf(Form1->Panel1));
}

TEST_F(LensTest, ProbeBoxKeepsItsPlaceOnSmallLensesAndMovesOutOnLargeOnes) {
    EXPECT_EQ(Form1->Panel3->pos(), QPoint(104, 15));
    stop();
    start(1920, 1080);
    EXPECT_EQ(Form1->Panel3->pos(), QPoint(104 * 768 / 409, 15 * 768 / 409));
}

TEST_F(LensTest, ResizeRecentresThePanelAndStretchesThePicture) {
    Form1->SetClientSize(500, 300);
    EXPECT_EQ(Form1->Panel1->pos(), QPoint(500 / 2 - 257 / 2, 300 / 2 - 186 / 2));
    EXPECT_EQ(Form1->Image1->size(), QSize(500, 300));
    EXPECT_FALSE(Form1->Image1->HasPicture());
    // The region, the planes and SmoothBitmap keep their creation sizes.
    EXPECT_EQ(Form1->RegionBox(), (TRect{8, 27, 409, 409}));
    EXPECT_EQ(Form1->SmoothBitmap->width(), 409);
}

TEST_F(LensTest, MoveHandleDragsTheWindowFromThePressPoint) {
    const QPoint start = Form1->pos();
    Form1->Panel2MouseDown(Form1->Panel2, platform::MouseButton::Right, 10, 12);
    EXPECT_EQ(Form1->Dragging, 1);
    Form1->Panel2MouseMove(Form1->Panel2, 15, 9);
    EXPECT_EQ(Form1->pos(), start + QPoint(5, -3));
    Form1->Panel2MouseUp(Form1->Panel2, platform::MouseButton::Right, 99, 99);
    // The release repeats the last offset; its own position is not used.
    EXPECT_EQ(Form1->pos(), start + QPoint(10, -6));
    EXPECT_EQ(Form1->Dragging, 0);

    // Motion and release without a press move nothing.
    Form1->Panel2MouseMove(Form1->Panel2, 40, 40);
    Form1->Panel2MouseUp(Form1->Panel2, platform::MouseButton::Left, 40, 40);
    EXPECT_EQ(Form1->pos(), start + QPoint(10, -6));
}

TEST_F(LensTest, MoveHandleReceivesRealMouseEvents) {
    QTest::mousePress(Form1->Panel2, Qt::LeftButton, {}, QPoint(5, 6));
    EXPECT_EQ(Form1->Dragging, 1);
    EXPECT_EQ(Form1->DragStartX, 5);
    EXPECT_EQ(Form1->DragStartY, 6);
    QTest::mouseRelease(Form1->Panel2, Qt::LeftButton, {}, QPoint(5, 6));
    EXPECT_EQ(Form1->Dragging, 0);

    // Motion with no button held is measured too, so a press and release
    // without motion moves the window by the hover offset.
    QMouseEvent hover(QEvent::MouseMove, QPointF(12, 10), Form1->Panel2->mapToGlobal(QPointF(12, 10)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form1->Panel2, &hover);
    EXPECT_EQ(Form1->DragDeltaX, 7);
    EXPECT_EQ(Form1->DragDeltaY, 4);
    const QPoint before = Form1->pos();
    QTest::mousePress(Form1->Panel2, Qt::LeftButton, {}, QPoint(12, 10));
    QTest::mouseRelease(Form1->Panel2, Qt::LeftButton, {}, QPoint(12, 10));
    EXPECT_EQ(Form1->pos(), before + QPoint(7, 4));
}

TEST_F(LensTest, CheckBoxesShowTheProbeAndSwitchSmoothing) {
    Form1->CheckBox1->SetChecked(true);
    EXPECT_FALSE(Form1->Panel3->isHidden());
    Form1->CheckBox1->SetChecked(false);
    EXPECT_TRUE(Form1->Panel3->isHidden());
    Form1->CheckBox2->SetChecked(true);
    EXPECT_TRUE(Form1->SmoothOn);
    Form1->CheckBox2->SetChecked(false);
    EXPECT_FALSE(Form1->SmoothOn);
}

TEST_F(LensTest, ExitEndsWithoutTheCloseHandler) {
    Form1->BitBtn2->click();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(Form1->FrameResourcesReleased());
    EXPECT_NE(Form1->CaptureBitmap, nullptr);
    EXPECT_EQ(platform::ExitStatus(), 0);
}

TEST_F(LensTest, CloseRequestReleasesTheFrameResourcesAndStopsFrames) {
    cursorAt(100, 100);
    frame();
    const int captures = screen->captureCount();
    Form1->close();
    EXPECT_TRUE(Form1->FrameResourcesReleased());
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(Form1->CaptureBitmap, nullptr);
    EXPECT_EQ(Form1->RedPlane, nullptr);
    EXPECT_EQ(Form1->LensScreenRect, nullptr);
    // A tick that still arrives runs no frame.
    frame();
    EXPECT_EQ(screen->captureCount(), captures);
}

TEST_F(LensTest, HelpOpensTheGuideOrSaysWhichFileIsMissing) {
    std::vector<std::string> launched;
    platform::SetHelpLauncher([&](const std::string& path) {
        launched.push_back(path);
        return true;
    });
    qputenv("VISTREL_DATA_DIR", "/nonexistent");
    const QString dir = QCoreApplication::applicationDirPath() + "/Help";
    QFile::remove(dir + "/VISTREL_HELP.html");
    Form1->BitBtn4->click();
    EXPECT_TRUE(launched.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Help/VISTREL_HELP.html"), std::string::npos);

    QDir().mkpath(dir);
    QFile f(dir + "/VISTREL_HELP.html");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html></html>");
    f.close();
    Form1->BitBtn4->click();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0], (dir + "/VISTREL_HELP.html").toStdString());
    QFile::remove(dir + "/VISTREL_HELP.html");
    platform::SetHelpLauncher({});
}

TEST_F(LensTest, AnExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
    Form1->CheckBox2->OnClick = [](QObject*) { throw std::runtime_error("Cannot smooth"); };
    Form1->CheckBox2->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Cannot smooth.");
    Form1->CheckBox1->click();
    EXPECT_FALSE(Form1->Panel3->isHidden());
}

TEST(HelpPaths, HelpFileNameMapsToItsHtmlGuide) {
    EXPECT_EQ(platform::HtmlHelpPath("Help\\VISTREL_HELP.HLP"), "Help/VISTREL_HELP.html");
    EXPECT_EQ(platform::HtmlHelpPath("guide"), "guide.html");
    EXPECT_EQ(platform::HtmlHelpPath("a.b\\guide"), "a.b/guide.html");
}

TEST(ExceptionBox, FullStopAppendedAfterLettersOnly) {
    EXPECT_EQ(exceptionBoxText("Out of memory"), "Out of memory.");
    EXPECT_EQ(exceptionBoxText("Done."), "Done.");
    EXPECT_EQ(exceptionBoxText("Why?"), "Why?.");
    EXPECT_EQ(exceptionBoxText("Stop!"), "Stop!");
    EXPECT_EQ(exceptionBoxText(""), "");
}

} // namespace
