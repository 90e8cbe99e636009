#include "lens/vistrelUnit.h"

#include "app/About.h"
#include "lens/ColourStage.h"
#include "lens/FrameGeometry.h"
#include "lens/PlaneCopy.h"
#include "lens/ProbeText.h"
#include "lens/SevereCorrection.h"
#include "lens/SmoothEnlarge.h"
#include "lens/SquintRotation.h"
#include "platform/Application.h"
#include "platform/FontResolution.h"
#include "platform/HelpEngine.h"
#include "platform/MessageBox.h"
#include "platform/QtSetup.h"
#include "platform/Screen.h"
#include "vision/ColourCache.h"
#include "vision/ColourVision.h"
#include "vision/HueCurve.h"
#include "vision/Setup.h"

#include <cstring>

using namespace platform;

TForm1* Form1 = nullptr;

namespace {
// The lens window is laid out for a client area of this size; creation
// resizes it to two fifths of the screen width.
constexpr int kDesignClientSize = 400;
constexpr int kDesignLeft = 527;
constexpr int kDesignTop = 135;
// At the largest zoom a lens this small still captures one pixel each way:
// no window size leaves a frame with nothing to probe or enlarge.
constexpr int kMinimumClientSize = 12;
// The probe box's place as laid out for a 409-pixel lens.
constexpr int kProbeLeft = 104;
constexpr int kProbeTop = 15;
constexpr int kProbeLayoutSize = 409;

constexpr TColor kRingColour = RGBColor(0, 0, 128);
constexpr TColor kControlRingColour = RGBColor(128, 0, 0);
} // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner, FormBorder::HiddenFrame) {
    Form1 = this;
    SetName("Form1");
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setBackground(this, clWhite);
    setBackground(ClientArea(), clWhite);
    setFont(uiFont(11));
    SetCaption(QStringLiteral("Screen Capture & Zoom     by the Vistrel team"));
    move(kDesignLeft, kDesignTop);
    SetClientSize(kDesignClientSize, kDesignClientSize);
    SetMinimumClientSize(kMinimumClientSize, kMinimumClientSize);
    createControls();
    ScaleLayoutToFontResolution();
    OnResize = [this] { FormResize(this); };
    OnClose = [this](TCloseAction& action) { FormClose(this, action); };
    // The window's first size reaches the resize handler too, so the panel
    // is centred even when creation keeps the design size.
    FormResize(this);
    FormCreate(this);
}

TForm1::~TForm1() {
    // Ended through the Exit button, the close handler never ran: the owned
    // buffers go with the window, the colour stage's result bitmap here.
    if (!m_released)
        FreeHsiResultBitmap();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::createControls() {
    QWidget* client = ClientArea();
    Image1 = new TImage(client, 0, 0, ClientWidth(), ClientHeight());
    Image1->SetDirectPresentation(true);

    Panel1 = new TPanel(client, 0, 0, 257, 186, QStringLiteral("Panel1"));
    Panel1->SetColor(clNavy);
    GroupBox1 = new TGroupBox(Panel1, 8, 8, 241, 169, QStringLiteral("Zoom Function"));
    setBackground(GroupBox1, clWhite);
    setTextColour(GroupBox1, clNavy);
    GroupBox1->setFont(uiFont(11, true));

    CheckBox1 = new TCheckBox(GroupBox1, 15, 22, 216, 16, QStringLiteral("Select -- To see  colour value"));
    Panel2 = new TPanel(GroupBox1, 8, 46, 73, 34, QStringLiteral("Move"));
    Panel2->SetColor(clTeal);
    setTextColour(Panel2, clWhite);
    Panel2->setFont(uiFont(11, true));
    CheckBox2 = new TCheckBox(GroupBox1, 88, 56, 65, 17, QStringLiteral("Smooth"));
    BitBtn3 = new TButton(GroupBox1, 152, 46, 81, 34, QStringLiteral("Setup Vision"));
    TrackBar1 = new TTrackBar(GroupBox1, 8, 87, 225, 17, 1, 5, 1);
    Label1 = new TLabel(GroupBox1, 8, 103, QStringLiteral("x 2"));
    Label2 = new TLabel(GroupBox1, 56, 103, QStringLiteral("x 4"));
    Label3 = new TLabel(GroupBox1, 104, 103, QStringLiteral("x 6"));
    Label4 = new TLabel(GroupBox1, 160, 103, QStringLiteral("x 8"));
    Label5 = new TLabel(GroupBox1, 208, 103, QStringLiteral("x 12"));
    Label7 = new TLabel(GroupBox1, 96, 120, QStringLiteral("Zoom Factor"));
    BitBtn1 = new TButton(GroupBox1, 8, 136, 75, 25, QStringLiteral("About Program"));
    BitBtn4 = new TButton(GroupBox1, 89, 136, 70, 25, QStringLiteral("Help"));
    BitBtn2 = new TButton(GroupBox1, 163, 136, 70, 25, QStringLiteral("Exit"));

    Panel3 = new TPanel(client, kProbeLeft, kProbeTop, 164, 68);
    Panel3->SetColor(clWhite);
    Panel3->SetBevels(TPanel::Bevel::Raised, TPanel::Bevel::None, true);
    setTextColour(Panel3, clNavy);
    Panel3->setFont(uiFont(9, true));
    Panel4 = new TPanel(Panel3, 0, 0, 68, 38);
    Panel4->SetBevels(TPanel::Bevel::None, TPanel::Bevel::None, false);
    Label11 = new TLabel(Panel3, 74, 0, QStringLiteral("Normal colour"));
    Label6 = new TLabel(Panel3, 74, 22, QStringLiteral("Colour : "));
    Label8 = new TLabel(Panel3, 7, 45, QStringLiteral("R ="));
    Label9 = new TLabel(Panel3, 59, 45, QStringLiteral("G ="));
    Label10 = new TLabel(Panel3, 111, 45, QStringLiteral("B ="));
    setTextColour(Label8, clRed);
    setTextColour(Label9, clGreen);
    setTextColour(Label10, clBlue);

    // What a screen reader calls the controls that have no text of their own.
    Image1->setAccessibleName(QStringLiteral("Enlarged picture"));
    Panel1->setAccessibleName(QStringLiteral("Lens controls"));
    Panel2->setAccessibleDescription(QStringLiteral("Hold a mouse button here and drag to move the lens"));
    TrackBar1->setAccessibleName(QStringLiteral("Zoom Factor"));
    TrackBar1->ValueText = [](int position) {
        return QStringLiteral("x %1").arg(ZoomFromTrackBar(position));
    };
    Panel3->setAccessibleName(QStringLiteral("Colour probe"));
    Panel4->setAccessibleName(QStringLiteral("Colour swatch"));

    // Later controls lie above earlier ones: the probe box above the
    // control panel, and Image1 under both.
    Image1->lower();
    Panel1->raise();
    Panel3->raise();

    QWidget::setTabOrder(TrackBar1, BitBtn1);
    QWidget::setTabOrder(BitBtn1, BitBtn2);
    QWidget::setTabOrder(BitBtn2, Panel2);
    QWidget::setTabOrder(Panel2, BitBtn3);
    QWidget::setTabOrder(BitBtn3, CheckBox1);
    QWidget::setTabOrder(CheckBox1, BitBtn4);
    QWidget::setTabOrder(BitBtn4, CheckBox2);
    Panel2->setFocusPolicy(Qt::TabFocus);

    CheckBox1->OnClick = [this](QObject* s) { CheckBox1Click(s); };
    CheckBox2->OnClick = [this](QObject* s) { CheckBox2Click(s); };
    BitBtn1->OnClick = [this](QObject* s) { BitBtn1Click(s); };
    BitBtn2->OnClick = [this](QObject* s) { BitBtn2Click(s); };
    BitBtn3->OnClick = [this](QObject* s) { BitBtn3Click(s); };
    BitBtn4->OnClick = [this](QObject* s) { BitBtn4Click(s); };
    Panel2->OnMouseDown = [this](QObject* s, MouseButton b, int x, int y) { Panel2MouseDown(s, b, x, y); };
    Panel2->OnMouseMove = [this](QObject* s, int x, int y) { Panel2MouseMove(s, x, y); };
    Panel2->OnMouseUp = [this](QObject* s, MouseButton b, int x, int y) { Panel2MouseUp(s, b, x, y); };

    AnimTimer1 = new TAnimTimer(this);
    AnimTimer1->SetName("AnimTimer1");
    AnimTimer1->SetEnabled(false);
    // An error that escapes a frame outside its guarded steps is shown like
    // any handler's; the timer's window itself has no catch.
    AnimTimer1->SetOnTimer([this](TComponent* sender) { RunHandler([&] { AnimTimer1Timer(sender); }); });
}

void TForm1::FormCreate(QObject*) {
    AnimTimer1->SetEnabled(true);
    const int screenWidth = currentScreen().width();
    const int S = (screenWidth * 2) / 5;
    SetClientSize(S, S);
    Image1->resize(S, S);
    LensRegion = TRect{Width() - ClientWidth(), Height() - ClientHeight(), S, S};
    SetWindowRgn(LensRegion);
    LensScreenRect = std::make_unique<TRect>();
    CursorPos = std::make_unique<TPoint>();
    ScreenCanvas = &currentScreen();
    Dragging = 0;
    SetLeft(screenWidth - Width());
    YellowBlueOn = 0;
    CorrectionOn = 0;
    SquintPosition = 15;
    SourceWidth = Image1->width();
    SourceHeight = Image1->height();
    CaptureBitmap = std::make_unique<Bitmap24>();
    m_planeCapacity = static_cast<std::size_t>(SourceWidth) * static_cast<std::size_t>(SourceHeight);
    RedPlane.reset(new std::uint8_t[m_planeCapacity]);
    GreenPlane.reset(new std::uint8_t[m_planeCapacity]);
    BluePlane.reset(new std::uint8_t[m_planeCapacity]);
    TrackBar1->SetPosition(1);
    ColourBlindLevel = 0;
    SimulationOn = 0;
    Panel3->hide();
    SmoothBitmap = std::make_unique<Bitmap24>(Image1->width(), Image1->height());
    SmoothOn = false;
    // The hue correction curve; vision/HueCurve.h says what its points do.
    BuildHueCurve(0, -100, 180, 180, 300, 300, 360, 460);
    scaleProbeBox();
    // The colour stages' tables, sized once for the largest source (zoom 2),
    // so that the running lens's memory stays as it starts.
    ReserveColourCaches(static_cast<std::size_t>(S / 2 + 1) * static_cast<std::size_t>(S / 2 + 1));
}

// Laid out for a small lens, the probe box would fall outside the visible
// ellipse of a large one; it moves out with the lens so it always shows
// where it does on a 1024-pixel screen. The layout, and with it the lens size
// it was made for, scales with the system font resolution.
void TForm1::scaleProbeBox() {
    const int S = ClientWidth();
    const int layoutSize = ScaledToFontResolution(kProbeLayoutSize);
    if (S <= layoutSize)
        return;
    Panel3->move(ScaledToFontResolution(kProbeLeft) * S / layoutSize,
                 ScaledToFontResolution(kProbeTop) * S / layoutSize);
}

void TForm1::FormResize(QObject*) {
    Panel1->move(ClientWidth() / 2 - Panel1->width() / 2, ClientHeight() / 2 - Panel1->height() / 2);
    Image1->ClearPicture();
    Image1->resize(ClientWidth(), ClientHeight());
}

void TForm1::FormClose(QObject*, TCloseAction&) {
    releaseFrameResources();
}

void TForm1::releaseFrameResources() {
    m_released = true;
    ScreenCanvas = nullptr;
    LensScreenRect.reset();
    CursorPos.reset();
    CaptureBitmap.reset();
    SmoothBitmap.reset();
    RedPlane.reset();
    GreenPlane.reset();
    BluePlane.reset();
    m_planeCapacity = 0;
    m_planesFrom = 0;
    FreeHsiResultBitmap();
}

void TForm1::Panel2MouseDown(QObject*, MouseButton, int x, int y) {
    DragStartX = x;
    DragStartY = y;
    Dragging = 1;
}

void TForm1::Panel2MouseMove(QObject*, int x, int y) {
    DragDeltaX = x - DragStartX;
    DragDeltaY = y - DragStartY;
    if (Dragging == 1)
        move(Left() + DragDeltaX, Top() + DragDeltaY);
}

void TForm1::Panel2MouseUp(QObject*, MouseButton, int, int) {
    if (Dragging == 1) {
        move(Left() + DragDeltaX, Top() + DragDeltaY);
        Dragging = 0;
    }
}

void TForm1::CheckBox1Click(QObject*) {
    Panel3->setVisible(CheckBox1->Checked());
}

void TForm1::CheckBox2Click(QObject*) {
    SmoothOn = CheckBox2->Checked();
}

void TForm1::BitBtn1Click(QObject*) {
    Form2->ShowModal();
}

void TForm1::BitBtn2Click(QObject*) {
    ExitProgram(0);
}

void TForm1::BitBtn3Click(QObject*) {
    Form3->ShowSetup();
}

void TForm1::BitBtn4Click(QObject*) {
    Application->HelpCommand(HELP_FINDER, 0);
}

void TForm1::AnimTimer1Timer(TComponent*) {
    // Ticks may still arrive after the close handler has released what a
    // frame works with; from then on no frame runs.
    if (m_released)
        return;
    readCursorAndWindow();
    if (PtInRect(*LensScreenRect, TPoint{CursorX, CursorY})) {
        showControlPanel();
        return;
    }
    showLensPicture();
    computeGeometry();
    Image1->GetCanvas().Brush = BrushStyle::Solid;
    paintOffScreenParts();
    bool repeated = false;
    try {
        repeated = processFrame();
    } catch (...) {
        m_repeatedFrame.forget();
        ShowMessageBox("Could not capture screen");
    }
    // A repeated frame would draw the very same picture: what is shown stays.
    if (!repeated) {
        drawOverlay(Image1->GetCanvas());
        Image1->Present();
        m_repeatedFrame.shown(Image1->Picture().cacheKey());
    }
    Application->ProcessMessages();
}

void TForm1::readCursorAndWindow() {
    TPoint cursor;
    if (ScreenCanvas->cursorPos(cursor))
        *CursorPos = cursor;
    CursorX = CursorPos->x;
    CursorY = CursorPos->y;
    *LensScreenRect = TRect{Left(), Top(), Left() + Width(), Top() + Height()};
}

void TForm1::showControlPanel() {
    Image1->ClearPicture();
    if (Panel1->isHidden())
        Panel1->show();
    if (!Image1->isHidden())
        Image1->hide();
    drawRing(FormCanvas(), kControlRingColour);
}

void TForm1::showLensPicture() {
    if (!Panel1->isHidden())
        Panel1->hide();
    if (Image1->isHidden())
        Image1->show();
}

void TForm1::computeGeometry() {
    DisplayWidth = Image1->width();
    DisplayHeight = Image1->height();
    DisplayRect = TRect{0, 0, DisplayWidth, DisplayHeight};
    ZoomFactor = ZoomFromTrackBar(TrackBar1->Position());
    const FrameGeometry g = ComputeFrameGeometry(DisplayWidth, DisplayHeight, ZoomFactor, CursorX, CursorY);
    HalfSpanX = g.HalfSpanX;
    HalfSpanY = g.HalfSpanY;
    SourceWidth = g.SourceWidth;
    SourceHeight = g.SourceHeight;
    CaptureBitmap->setWidth(SourceWidth);
    CaptureBitmap->setHeight(SourceHeight);
    SourceRect = g.SourceRect;
    CaptureRect = g.CaptureRect;
}

// Where the square leaves the screen, the capture writes nothing: the part
// beyond shows white inside the square's inscribed ellipse, once per edge.
void TForm1::paintOffScreenParts() {
    const OffscreenEdges edges = TestOffscreen(SourceRect, ScreenCanvas->width(), ScreenCanvas->height());
    if (edges.count() == 0)
        return;
    Canvas capture(&CaptureBitmap->image());
    capture.PenColor = 0;
    capture.PenWidth = 1;
    capture.Brush = BrushStyle::Solid;
    capture.BrushColor = clWhite;
    for (int i = 0; i < edges.count(); ++i)
        capture.Ellipse(0, 0, CaptureBitmap->width(), CaptureBitmap->height());
}

namespace {
struct CaptureFailed : std::exception {
    const char* what() const noexcept override { return "screen capture failed"; }
};
} // namespace

// The guarded steps, from the capture to the enlarged picture; true when the
// frame repeated the one on show and so drew nothing.
bool TForm1::processFrame() {
    const ColourStage stage = StageFor(SimulationOn, CorrectionOn, ColourBlindLevel);
    // The fallback changes the settings: such a frame is never a repeat.
    const bool mayRepeat = stage != ColourStage::LowLevelFallback;
    FrameOutputs left;
    if (mayRepeat &&
        m_repeatedFrame.repeatsUnread(frameInputs(), Image1->Picture().cacheKey(), CaptureBitmap->key(),
                                      ScreenCanvas->unchangedSinceCopy(SourceRect), left)) {
        outputFields() = left;
        return true;
    }
    if (!ScreenCanvas->copyTo(SourceRect, *CaptureBitmap, CaptureRect.Left, CaptureRect.Top))
        throw CaptureFailed();
    if (mayRepeat &&
        m_repeatedFrame.repeats(frameInputs(), Image1->Picture().cacheKey(), *CaptureBitmap, left)) {
        outputFields() = left;
        // The capture holds again what the frame that did its work left.
        if (m_planesFrom != 0)
            m_planesFrom = CaptureBitmap->key();
        m_repeatedFrame.settled(CaptureBitmap->key());
        return true;
    }
    if (CheckBox1->Checked())
        probeColour();
    applyColourStage(stage);
    ensurePlaneCapacity(static_cast<std::size_t>(CaptureBitmap->width()) *
                        static_cast<std::size_t>(CaptureBitmap->height()));
    m_planeStride = SourceWidth;
    m_planesFrom = CaptureBitmap->key();
    enlarge(Image1->GetCanvas());
    if (stage == ColourStage::LowLevelFallback)
        m_repeatedFrame.forget();
    else
        m_repeatedFrame.remember(*CaptureBitmap, RewritesCapture(stage) || SquintPosition != 15,
                                 outputFields());
    m_repeatedFrame.settled(CaptureBitmap->key());
    return false;
}

void TForm1::probeColour() {
    ScanLine = CaptureBitmap->scanLine(SourceHeight / 2);
    const int x = SourceWidth / 2;
    ProbeRed = ScanLine[3 * x + 2];
    ProbeGreen = ScanLine[3 * x + 1];
    ProbeBlue = ScanLine[3 * x];
    const TColor colour = ProbeRed + 256 * ProbeGreen + 65536 * ProbeBlue;
    Panel4->SetColor(colour);
    Label6->SetCaption(QString::fromStdString(ColourToIdent(colour)));
    Label8->SetCaption(QString::fromStdString(ProbeCaption("R = ", ProbeRed)));
    Label9->SetCaption(QString::fromStdString(ProbeCaption("G = ", ProbeGreen)));
    Label10->SetCaption(QString::fromStdString(ProbeCaption("B = ", ProbeBlue)));
}

void TForm1::applyColourStage(ColourStage stage) {
    if (stage == ColourStage::LowLevelFallback) {
        Form3->RadioButton1->SetChecked(true);
        ColourBlindLevel = 1;
        return;
    }
    ApplyColourStage(stage, *CaptureBitmap, ProbeRed, ProbeGreen, ProbeBlue, SourceRect.Left, SourceRect.Top);
}

// Rotated for squint compensation, or smoothed, or as it is, stretched over
// the lens picture.
void TForm1::enlarge(Canvas& image) {
    if (SquintPosition != 15) {
        FillPlanes();
        RotateSquint(*CaptureBitmap, SourceWidth, SourceHeight, RedPlane.get(), GreenPlane.get(),
                     BluePlane.get(), SquintAngle, SquintCentreX, SquintCentreY, RotatedX, RotatedY, ProbeRed,
                     ProbeGreen, ProbeBlue);
        image.StretchDraw(DisplayRect, *CaptureBitmap);
    } else if (SmoothOn) {
        if (!smoothEnlargeAndPaint(image))
            image.StretchDraw(DisplayRect, *SmoothBitmap);
    } else {
        image.StretchDraw(DisplayRect, *CaptureBitmap);
    }
}

void TForm1::drawOverlay(Canvas& overlay) {
    DisplayCentreX = DisplayWidth / 2;
    DisplayCentreY = DisplayHeight / 2;
    overlay.PenColor = 0;
    overlay.PenWidth = 1;
    overlay.MoveTo(DisplayCentreX - DisplayWidth / 4, DisplayCentreY);
    overlay.LineTo(DisplayCentreX + DisplayWidth / 4, DisplayCentreY);
    overlay.MoveTo(DisplayCentreX, DisplayCentreY - DisplayHeight / 4);
    overlay.LineTo(DisplayCentreX, DisplayCentreY + DisplayHeight / 4);
    drawRing(overlay, kRingColour);
}

// The ring of both modes: on the lens picture in navy, on the form in maroon.
void TForm1::drawRing(Canvas& canvas, TColor colour) {
    canvas.PenColor = colour;
    canvas.PenWidth = 8;
    canvas.Brush = BrushStyle::Clear;
    canvas.Ellipse(7, 7, Image1->width() - 8, Image1->height() - 28);
}

FrameInputs TForm1::frameInputs() const {
    FrameInputs in;
    in.cursorX = CursorX;
    in.cursorY = CursorY;
    in.lensRect = *LensScreenRect;
    in.displayWidth = DisplayWidth;
    in.displayHeight = DisplayHeight;
    in.zoomFactor = ZoomFactor;
    in.sourceWidth = SourceWidth;
    in.sourceHeight = SourceHeight;
    in.smoothOn = SmoothOn ? 1 : 0;
    in.probeOn = CheckBox1->Checked() ? 1 : 0;
    in.correctionOn = CorrectionOn;
    in.colourBlindLevel = ColourBlindLevel;
    in.simulationOn = SimulationOn;
    in.squintPosition = SquintPosition;
    in.squintAngle = BitsOf(SquintAngle);
    in.squintCentreX = BitsOf(SquintCentreX);
    in.squintCentreY = BitsOf(SquintCentreY);
    in.probeRed = ProbeRed;
    in.probeGreen = ProbeGreen;
    in.probeBlue = ProbeBlue;
    in.rotatedX = BitsOf(RotatedX);
    in.rotatedY = BitsOf(RotatedY);
    in.hueCurve[0] = BitsOf(HueCurve.A);
    in.hueCurve[1] = BitsOf(HueCurve.B);
    in.hueCurve[2] = BitsOf(HueCurve.C);
    in.hueCurve[3] = BitsOf(HueCurve.D);
    return in;
}

// The planes are sized for the lens at creation; a window made larger in
// code would need more, so they grow rather than overflow.
void TForm1::ensurePlaneCapacity(std::size_t bytes) {
    if (bytes <= m_planeCapacity)
        return;
    std::unique_ptr<std::uint8_t[]> red(new std::uint8_t[bytes]);
    std::unique_ptr<std::uint8_t[]> green(new std::uint8_t[bytes]);
    std::unique_ptr<std::uint8_t[]> blue(new std::uint8_t[bytes]);
    RedPlane = std::move(red);
    GreenPlane = std::move(green);
    BluePlane = std::move(blue);
    m_planeCapacity = bytes;
}

void TForm1::FillPlanes() {
    // Once the capture has changed (a frame that failed half-way), what the
    // planes were to hold is gone.
    if (m_planesFrom == 0 || !CaptureBitmap || CaptureBitmap->key() != m_planesFrom)
        return;
    m_planesFrom = 0;
    CopyToPlanes(*CaptureBitmap, m_planeStride, RedPlane.get(), GreenPlane.get(), BluePlane.get());
}

// SmoothEnlarge, with the lens picture painted from SmoothBitmap in the same
// pass when the StretchDraw that follows would copy it one to one; false
// when that StretchDraw is still to be done.
bool TForm1::smoothEnlargeAndPaint(Canvas& image) {
    SourceWidth = Image1->width();
    SourceHeight = Image1->height();
    QImage* lens = image.target();
    const bool oneToOne = lens && DisplayRect.Left == 0 && DisplayRect.Top == 0 &&
                          DisplayRect.Right == SourceWidth && DisplayRect.Bottom == SourceHeight;
    if (oneToOne)
        return m_smoother.enlargeAndPaint(*CaptureBitmap, ZoomFactor, SourceWidth, SourceHeight,
                                          *SmoothBitmap, *lens);
    m_smoother.enlarge(*CaptureBitmap, ZoomFactor, SourceWidth, SourceHeight, *SmoothBitmap);
    return false;
}
