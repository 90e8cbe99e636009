// The lens window: its controls, the lens state record shared with the
// frame stages and the vision setup dialog, and the frame itself.
#pragma once

#include "animtimer/Animtimer.h"
#include "lens/ColourStage.h"
#include "lens/RepeatedFrame.h"
#include "lens/SmoothEnlargeFast.h"
#include "platform/Bitmap24.h"
#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Geometry.h"
#include "platform/Screen.h"
#include "vision/HueCurve.h"

#include <cstdint>
#include <memory>

class TForm1 : public platform::TForm {
public:
    explicit TForm1(TComponent* owner);
    ~TForm1() override;

    // Controls.
    platform::TImage* Image1 = nullptr;
    platform::TPanel* Panel1 = nullptr;
    platform::TGroupBox* GroupBox1 = nullptr;
    platform::TCheckBox* CheckBox1 = nullptr;
    platform::TPanel* Panel2 = nullptr;
    platform::TCheckBox* CheckBox2 = nullptr;
    platform::TButton* BitBtn3 = nullptr;
    platform::TTrackBar* TrackBar1 = nullptr;
    platform::TLabel* Label1 = nullptr;
    platform::TLabel* Label2 = nullptr;
    platform::TLabel* Label3 = nullptr;
    platform::TLabel* Label4 = nullptr;
    platform::TLabel* Label5 = nullptr;
    platform::TLabel* Label7 = nullptr;
    platform::TButton* BitBtn1 = nullptr;
    platform::TButton* BitBtn4 = nullptr;
    platform::TButton* BitBtn2 = nullptr;
    platform::TPanel* Panel3 = nullptr;
    platform::TPanel* Panel4 = nullptr;
    platform::TLabel* Label11 = nullptr;
    platform::TLabel* Label6 = nullptr;
    platform::TLabel* Label8 = nullptr;
    platform::TLabel* Label9 = nullptr;
    platform::TLabel* Label10 = nullptr;
    TAnimTimer* AnimTimer1 = nullptr;

    // The lens state record, in declaration order. What the close handler
    // releases is owned here, so nothing outlives the window either way.
    std::unique_ptr<TRect> LensScreenRect;
    TRect SourceRect;
    TRect DisplayRect;
    TRect CaptureRect;
    std::int32_t DisplayWidth = 0, DisplayHeight = 0;
    std::int32_t DisplayCentreX = 0, DisplayCentreY = 0;
    float HalfSpanX = 0, HalfSpanY = 0;
    float RotatedX = 0, RotatedY = 0;
    platform::Screen* ScreenCanvas = nullptr;
    std::int32_t CursorX = 0, CursorY = 0;
    std::unique_ptr<TPoint> CursorPos;
    TRect LensRegion;
    std::int32_t DragStartX = 0, DragStartY = 0;
    std::int32_t DragDeltaX = 0, DragDeltaY = 0;
    std::int32_t Dragging = 0;
    std::int32_t SourceWidth = 0, SourceHeight = 0;
    std::int32_t ProbeRed = 0, ProbeGreen = 0, ProbeBlue = 0;
    std::unique_ptr<platform::Bitmap24> CaptureBitmap;
    std::unique_ptr<platform::Bitmap24> SmoothBitmap;
    std::uint8_t* ScanLine = nullptr;
    std::unique_ptr<std::uint8_t[]> RedPlane, GreenPlane, BluePlane;
    bool SmoothOn = false;
    std::int32_t CorrectionOn = 0;
    std::int32_t YellowBlueOn = 0;
    std::int32_t SquintPosition = 0;
    std::int32_t ZoomFactor = 0;
    std::int32_t ColourBlindLevel = 0;
    std::int32_t SimulationOn = 0;
    float SquintAngle = 0;
    float SquintCentreX = 0, SquintCentreY = 0;

    // Handlers.
    void FormCreate(QObject* sender);
    void FormResize(QObject* sender);
    void FormClose(QObject* sender, platform::TCloseAction& action);
    void Panel2MouseDown(QObject* sender, platform::MouseButton button, int x, int y);
    void Panel2MouseMove(QObject* sender, int x, int y);
    void Panel2MouseUp(QObject* sender, platform::MouseButton button, int x, int y);
    void CheckBox1Click(QObject* sender);
    void CheckBox2Click(QObject* sender);
    void BitBtn1Click(QObject* sender);
    void BitBtn2Click(QObject* sender);
    void BitBtn3Click(QObject* sender);
    void BitBtn4Click(QObject* sender);
    void AnimTimer1Timer(TComponent* sender);

    // True once FormClose has released the frame resources.
    bool FrameResourcesReleased() const { return m_released; }
    // Bytes each plane holds.
    std::size_t PlaneCapacity() const { return m_planeCapacity; }
    // Only squint compensation reads the planes, so a frame without it
    // leaves them to be filled here, from the capture as that frame left
    // it, when something else wants to look at them.
    void FillPlanes();
    // Lens frames that found the screen and every input as the frame before
    // and so left what was shown alone.
    std::uint64_t RepeatedFrames() const { return m_repeatedFrame.count(); }
    // The repeated-frame shortcut; tests switch it off to compare.
    RepeatedFrame& RepeatedFrameShortcut() { return m_repeatedFrame; }

private:
    void createControls();
    void scaleProbeBox();
    void releaseFrameResources();
    void ensurePlaneCapacity(std::size_t bytes);

    // The frame, step by step.
    void readCursorAndWindow();
    void showControlPanel();
    void showLensPicture();
    void computeGeometry();
    void paintOffScreenParts();
    bool processFrame();
    void probeColour();
    void applyColourStage(ColourStage stage);
    void enlarge(platform::Canvas& image);
    bool smoothEnlargeAndPaint(platform::Canvas& image);
    void drawOverlay(platform::Canvas& overlay);
    void drawRing(platform::Canvas& canvas, platform::TColor colour);

    FrameInputs frameInputs() const;
    auto outputFields() {
        return std::tie(SourceWidth, SourceHeight, ProbeRed, ProbeGreen, ProbeBlue, RotatedX, RotatedY,
                        ScanLine);
    }

    bool m_released = false;
    std::size_t m_planeCapacity = 0;
    // While the planes are still to be filled: the key of the capture image
    // they are to be filled from (0 otherwise), and the rows' stride.
    qint64 m_planesFrom = 0;
    int m_planeStride = 0;
    SmoothEnlarger m_smoother;
    RepeatedFrame m_repeatedFrame;
};

extern TForm1* Form1;
