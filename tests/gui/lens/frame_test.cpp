// Whole frames on the in-memory screen: the mode decision, the enlargement,
// the screen edges, the probe, the colour stage, smoothing and rotation, and
// a failing capture.
#include "LensFixture.h"

#include "lens/SmoothEnlarge.h"
#include "lens/SquintRotation.h"

namespace {

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kNavy{0, 0, 128};

Rgb lensPixel(int x, int y) {
    return pixelOf(Form1->Image1->Picture(), x, y);
}

// The lens picture must show the screen square around (cx, cy) stretched by
// nearest neighbour; checked over a block well inside the ellipse and away
// from the cross-hair.
void expectStretchOfScreen(const QImage& screen, int cx, int cy) {
    const int zoom = Form1->ZoomFactor;
    const int half = static_cast<int>(Form1->HalfSpanX);
    const int sw = Form1->CaptureBitmap->width(), sh = Form1->CaptureBitmap->height();
    const int dw = Form1->DisplayWidth, dh = Form1->DisplayHeight;
    int checked = 0;
    for (int j = dh / 4; j < dh * 3 / 4; j += 3) {
        for (int k = dw / 4; k < dw * 3 / 4; k += 3) {
            if (k == Form1->DisplayCentreX || j == Form1->DisplayCentreY)
                continue;
            const int sx = k * sw / dw, sy = j * sh / dh;
            if (sx >= 2 * half || sy >= 2 * half)
                continue; // not reached by the capture
            ASSERT_EQ(lensPixel(k, j), pixelOf(screen, cx - half + sx, cy - half + sy))
                << "zoom " << zoom << " at (" << k << ", " << j << ")";
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

TEST_F(LensTest, CursorOverTheWindowRectangleShowsTheControlPanel) {
    struct Case {
        int x, y;
        bool control;
    };
    // The window's outer rectangle is (607, 135)-(1024, 571).
    const Case cases[] = {
        {607, 135, true},   {606, 135, false}, {607, 134, false}, {1023, 570, true},
        {1024, 300, false}, {700, 571, false}, {610, 138, true}, // a corner the ellipse cuts away
        {1020, 568, true},
    };
    for (const Case& c : cases) {
        cursorAt(c.x, c.y);
        frame();
        EXPECT_EQ(Form1->Panel1->isHidden(), !c.control) << c.x << "," << c.y;
        EXPECT_EQ(Form1->Image1->isHidden(), c.control) << c.x << "," << c.y;
        EXPECT_EQ(Form1->Image1->HasPicture(), !c.control);
    }
    EXPECT_EQ(*Form1->LensScreenRect, (TRect{607, 135, 1024, 571}));
}

TEST_F(LensTest, ControlModeDrawsTheMaroonRingOnTheWindow) {
    cursorAt(800, 300);
    frame();
    EXPECT_EQ(Form1->ZoomFactor, 0) << "control mode reads no zoom";
    EXPECT_EQ(screen->captureCount(), 0);
    // On the form's own surface, an 8-pixel maroon pen around the box
    // (7, 7, 401, 381): its left and top edges, and nothing at the centre.
    const QImage* surface = Form1->FormCanvas().target();
    ASSERT_NE(surface, nullptr);
    const Rgb kMaroon{128, 0, 0};
    EXPECT_EQ(pixelOf(*surface, 8, 194), kMaroon);
    EXPECT_EQ(pixelOf(*surface, 204, 8), kMaroon);
    EXPECT_EQ(pixelOf(*surface, 204, 378), kMaroon);
    EXPECT_EQ(qAlpha(surface->pixel(204, 194)), 0);
    EXPECT_EQ(qAlpha(surface->pixel(2, 2)), 0);
}

TEST_F(LensTest, ZoomFollowsTheTrackBar) {
    const int zoom[] = {2, 4, 6, 8, 12};
    cursorAt(300, 300);
    for (int position = 1; position <= 5; ++position) {
        Form1->TrackBar1->SetPosition(position);
        frame();
        EXPECT_EQ(Form1->ZoomFactor, zoom[position - 1]);
        expectStretchOfScreen(picture, 300, 300);
    }
}

TEST_F(LensTest, GeometryOfA409PixelDisplay) {
    struct Case {
        int position, half, width;
    };
    const Case cases[] = {{1, 102, 204}, {2, 51, 102}, {3, 34, 68}, {4, 25, 51}, {5, 17, 34}};
    cursorAt(500, 400);
    for (const Case& c : cases) {
        Form1->TrackBar1->SetPosition(c.position);
        frame();
        EXPECT_EQ(Form1->HalfSpanX, static_cast<float>(c.half));
        EXPECT_EQ(Form1->SourceWidth, c.width);
        EXPECT_EQ(Form1->CaptureBitmap->width(), c.width);
        EXPECT_EQ(Form1->SourceRect, (TRect{500 - c.half, 400 - c.half, 500 + c.half, 400 + c.half}));
        EXPECT_EQ(Form1->CaptureRect, (TRect{0, 0, 2 * c.half, 2 * c.half}));
    }
}

TEST_F(LensTest, Zoom8LeavesTheLastColumnAndRowUncaptured) {
    Form1->TrackBar1->SetPosition(4);
    cursorAt(300, 300);
    frame();
    ASSERT_EQ(Form1->CaptureBitmap->width(), 51);
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 50, 10), kBlack);
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 10, 50), kBlack);
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 49, 49), pixelOf(picture, 300 - 25 + 49, 300 - 25 + 49));
    // In the lens the uncaptured column shows at the right: display columns
    // whose source column is 50.
    EXPECT_EQ(lensPixel(405, 200), kBlack);
    // The next frame keeps what the column held, whatever that was.
    const Rgb kept{30, 60, 200};
    for (int y = 0; y < 51; ++y) {
        std::uint8_t* p = Form1->CaptureBitmap->scanLine(y) + 3 * 50;
        p[0] = static_cast<std::uint8_t>(kept.b), p[1] = static_cast<std::uint8_t>(kept.g);
        p[2] = static_cast<std::uint8_t>(kept.r);
    }
    cursorAt(320, 310);
    frame();
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 50, 10), kept);
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 49, 10), pixelOf(picture, 320 - 25 + 49, 310 - 25 + 10));
}

TEST_F(LensTest, OffScreenPartOfTheSquareIsWhiteInsideTheInscribedEllipse) {
    cursorAt(300, 300);
    frame();
    const Rgb earlier = bitmapPixel(*Form1->CaptureBitmap, 1, 1);
    ASSERT_NE(earlier, kBlack);
    cursorAt(0, 0);
    frame();
    EXPECT_EQ(Form1->SourceRect, (TRect{-102, -102, 102, 102}));
    const platform::Bitmap24& cap = *Form1->CaptureBitmap;
    EXPECT_EQ(bitmapPixel(cap, 60, 102), kWhite); // left of the screen, inside the ellipse
    EXPECT_EQ(bitmapPixel(cap, 102, 60), kWhite); // above the screen
    EXPECT_EQ(bitmapPixel(cap, 150, 150), pixelOf(picture, 48, 48));
    EXPECT_EQ(bitmapPixel(cap, 1, 1), earlier); // a corner outside the ellipse keeps earlier content

    // At the bottom-right corner of the screen.
    cursorAt(1023, 767);
    frame();
    EXPECT_EQ(bitmapPixel(cap, 150, 102), kWhite);
    EXPECT_EQ(bitmapPixel(cap, 60, 60), pixelOf(picture, 1023 - 102 + 60, 767 - 102 + 60));
}

TEST_F(LensTest, SquareEndingAtTheScreenEdgeIsNotOffScreen) {
    cursorAt(1024 - 102, 650);
    frame();
    EXPECT_EQ(Form1->SourceRect.Right, 1024);
    // Column 203 of the capture comes from screen column 1023, not from an ellipse.
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 203, 102), pixelOf(picture, 1023, 650));
    cursorAt(1024 - 101, 650);
    frame();
    // Now the last column lies past the edge: the ellipse's outline or filling shows there.
    const Rgb edge = bitmapPixel(*Form1->CaptureBitmap, 203, 102);
    EXPECT_TRUE(edge == kWhite || edge == kBlack) << edge;
    EXPECT_NE(edge, pixelOf(picture, 1023, 650));
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 202, 102), pixelOf(picture, 1023, 650));
}

// A desktop of two monitors side by side, the primary on the left: the lens
// is sized and placed by the primary, whose edges are "the screen" for the
// off-screen paint, while the capture covers the whole desktop. So only
// what lies beyond the desktop stays white.
TEST_F(LensTest, SecondMonitorShowsThroughTheOffScreenPaint) {
    stop();
    start(1280, 1024, 2560);
    EXPECT_EQ(Form1->ClientWidth(), 512);
    EXPECT_EQ(Form1->Left(), 1280 - 520);
    EXPECT_EQ(Form1->Top(), 135);
    struct Case {
        const char* where;
        int x, y;
        bool beyondRight, beyondBottom, beyondLeft;
    };
    const Case cases[] = {
        {"second monitor", 1900, 500, false, false, false},
        {"on the border", 1280, 800, false, false, false},
        {"last primary column", 1279, 800, false, false, false},
        {"desktop's right edge", 2559, 500, true, false, false},
        {"desktop's bottom-right corner", 2559, 1023, true, true, false},
        {"second monitor's bottom", 1900, 1023, false, true, false},
        {"desktop's left edge", 0, 500, false, false, true},
    };
    const int half = 128; // zoom 2 on a 512-pixel lens
    for (const Case& c : cases) {
        cursorAt(c.x, c.y);
        frame();
        const platform::Bitmap24& cap = *Form1->CaptureBitmap;
        // Well inside the square's inscribed ellipse: left of, right of and
        // below the cursor.
        for (const auto [i, j] :
             {std::pair{half - 80, half}, std::pair{half + 80, half}, std::pair{half, half + 80}}) {
            const int sx = c.x - half + i, sy = c.y - half + j;
            const bool beyond = sx < 0 || sx >= 2560 || sy >= 1024;
            EXPECT_EQ(beyond, (i > half && c.beyondRight) || (j > half && c.beyondBottom) ||
                                  (i < half && c.beyondLeft));
            EXPECT_EQ(bitmapPixel(cap, i, j), beyond ? kWhite : pixelOf(picture, sx, sy))
                << c.where << ": capture pixel " << i << "," << j;
        }
    }
}

TEST_F(LensTest, ProbeNamesTheColourUnderTheCursor) {
    Form1->CheckBox1->SetChecked(true);
    struct Case {
        QRgb colour;
        const char* name;
    };
    const Case cases[] = {{qRgb(255, 0, 0), "clRed"},
                          {qRgb(255, 128, 0), "$000080FF"},
                          {qRgb(192, 192, 192), "clSilver"},
                          {qRgb(0, 0, 0), "clBlack"},
                          {qRgb(1, 2, 3), "$00030201"}};
    for (const Case& c : cases) {
        QImage shot = picture;
        shot.setPixel(400, 300, c.colour);
        screen->setPicture(shot);
        cursorAt(400, 300);
        frame();
        const int r = qRed(c.colour), g = qGreen(c.colour), b = qBlue(c.colour);
        EXPECT_EQ(Form1->Panel4->Color(), r + 256 * g + 65536 * b);
        EXPECT_EQ(Form1->Label6->Caption().toStdString(), c.name);
        EXPECT_EQ(Form1->Label8->Caption().toStdString(), "R = " + std::to_string(r));
        EXPECT_EQ(Form1->Label9->Caption().toStdString(), "G = " + std::to_string(g));
        EXPECT_EQ(Form1->Label10->Caption().toStdString(), "B = " + std::to_string(b));
    }
}

TEST_F(LensTest, ProbeReportsTheScreenColourEvenUnderACorrection) {
    Form1->CheckBox1->SetChecked(true);
    Form1->SimulationOn = 1;
    QImage shot = picture;
    shot.setPixel(400, 300, qRgb(255, 0, 0));
    screen->setPicture(shot);
    cursorAt(400, 300);
    frame();
    EXPECT_EQ(Form1->Label6->Caption(), QStringLiteral("clRed"));
}

TEST_F(LensTest, CorrectionWithoutALevelFallsBackToLowLevel) {
    Form1->CorrectionOn = 1;
    Form1->ColourBlindLevel = 0;
    cursorAt(300, 300);
    frame();
    EXPECT_TRUE(Form3->RadioButton1->Checked());
    EXPECT_EQ(Form1->ColourBlindLevel, 1);
    // That frame is shown uncorrected.
    expectStretchOfScreen(picture, 300, 300);
}

TEST_F(LensTest, SimulationTakesPrecedenceOverCorrection) {
    QImage red(1024, 768, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    screen->setPicture(red);
    cursorAt(300, 300);
    Form1->SimulationOn = 1;
    Form1->CorrectionOn = 1;
    Form1->ColourBlindLevel = 1;
    frame();
    const Rgb simulated = bitmapPixel(*Form1->CaptureBitmap, 10, 10);
    Form1->SimulationOn = 0;
    frame();
    const Rgb corrected = bitmapPixel(*Form1->CaptureBitmap, 10, 10);
    EXPECT_NE(simulated, corrected);
    // Simulation makes red olive-yellow; level 1 makes it violet-blue.
    EXPECT_GT(simulated.r, simulated.b);
    EXPECT_GT(corrected.b, corrected.r);
}

TEST_F(LensTest, SevereLevelCorrectsInPlace) {
    QImage flat(1024, 768, QImage::Format_RGB32);
    flat.fill(qRgb(200, 100, 50));
    screen->setPicture(flat);
    cursorAt(300, 300);
    Form1->CorrectionOn = 1;
    Form1->ColourBlindLevel = 3;
    frame();
    EXPECT_EQ(bitmapPixel(*Form1->CaptureBitmap, 5, 5), (Rgb{244, 20, 205}));
    EXPECT_EQ(lensPixel(100, 150), (Rgb{244, 20, 205}));
    Form1->FillPlanes();
    EXPECT_EQ(Form1->RedPlane[0], 244);
}

TEST_F(LensTest, SmoothingAppliesOnlyWithoutSquint) {
    cursorAt(300, 300);
    Form1->CheckBox2->SetChecked(true);
    frame();
    EXPECT_EQ(Form1->SourceWidth, 409) << "smoothing leaves the display size in SourceWidth";
    platform::Bitmap24 expected(409, 409);
    SmoothEnlargeInto(*Form1->CaptureBitmap, 2, 409, 409, expected);
    EXPECT_EQ(lensPixel(101, 150), bitmapPixel(expected, 101, 150));
    EXPECT_EQ(lensPixel(151, 99), bitmapPixel(expected, 151, 99));

    // Squint position 16: rotated and not smoothed.
    Form1->ZoomFactor = 2;
    Form3->TwoPi = 6.283185f;
    Form3->TrackBar1->SetPosition(16);
    EXPECT_EQ(Form1->SquintPosition, 16);
    frame();
    EXPECT_EQ(Form1->SourceWidth, 204);
    platform::Bitmap24 capture(204, 204);
    std::vector<std::uint8_t> r(204 * 204), g(204 * 204), b(204 * 204);
    for (int y = 0; y < 204; ++y)
        for (int x = 0; x < 204; ++x) {
            const Rgb p = pixelOf(picture, 300 - 102 + x, 300 - 102 + y);
            r[y * 204 + x] = p.r, g[y * 204 + x] = p.g, b[y * 204 + x] = p.b;
        }
    float rx, ry;
    int pr, pg, pb;
    RotateSquint(capture, 204, 204, r.data(), g.data(), b.data(), Form1->SquintAngle, Form1->SquintCentreX,
                 Form1->SquintCentreY, rx, ry, pr, pg, pb);
    for (int j = 100; j < 300; j += 7)
        for (int k = 100; k < 300; k += 7)
            if (k != 204 && j != 204)
                ASSERT_EQ(lensPixel(k, j), bitmapPixel(capture, k * 204 / 409, j * 204 / 409))
                    << k << "," << j;
}

TEST_F(LensTest, FailingCaptureShowsTheMessageOncePerTickAndStillDrawsTheOverlay) {
    cursorAt(300, 300);
    frame();
    screen->setFailing(true);
    frame();
    frame();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Could not capture screen");
    EXPECT_EQ(lensPixel(204, 150), kBlack); // vertical cross-hair
    EXPECT_EQ(lensPixel(150, 204), kBlack); // horizontal cross-hair
    EXPECT_EQ(lensPixel(204, 10), kNavy);   // the ring's top
    screen->setFailing(false);
    frame();
    EXPECT_EQ(boxes.size(), 2u);
    expectStretchOfScreen(picture, 300, 300);
}

TEST_F(LensTest, CrossHairAndRingGeometry) {
    QImage flat(1024, 768, QImage::Format_RGB32);
    flat.fill(qRgb(255, 255, 0));
    screen->setPicture(flat);
    cursorAt(300, 300);
    frame();
    // Horizontal line from 204 - 102 to 204 + 102, the end point excluded.
    EXPECT_EQ(lensPixel(102, 204), kBlack);
    EXPECT_EQ(lensPixel(305, 204), kBlack);
    EXPECT_EQ(lensPixel(306, 204), (Rgb{255, 255, 0}));
    EXPECT_EQ(lensPixel(101, 204), (Rgb{255, 255, 0}));
    EXPECT_EQ(lensPixel(204, 306), (Rgb{255, 255, 0}));
    // The ring's box is (7, 7, 401, 381): its bottom runs near row 381.
    EXPECT_EQ(lensPixel(204, 380), kNavy);
    EXPECT_EQ(lensPixel(204, 392), (Rgb{255, 255, 0}));
}

TEST_F(LensTest, ALargerWindowNeverOverrunsThePlanesOrSmoothBitmap) {
    Form1->SetClientSize(1000, 1000);
    Form1->CheckBox2->SetChecked(true);
    cursorAt(300, 300);
    frame();
    EXPECT_GE(Form1->PlaneCapacity(), 500u * 500u);
    EXPECT_EQ(Form1->SmoothBitmap->width(), 409);
    Form1->CheckBox2->SetChecked(false);
    frame();
    EXPECT_TRUE(boxes.empty());
}

} // namespace
