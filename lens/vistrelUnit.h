// The lens window: its controls, the lens state record shared with the
// frame stages and the vision setup dialog, and the frame itself.
#pragma once

#include "animtimer/Animtimer.h"
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

    // The lens state record, in declaration order.
    TRect* LensScreenRect = nullptr;
    TRect SourceRect;
    TRect DisplayRect;
    TRect CaptureRect;
    std::int32_t DisplayWidth = 0, DisplayHeight = 0;
    std::int32_t DisplayCentreX = 0, DisplayCentreY = 0;
    float HalfSpanX = 0, HalfSpanY = 0;
    float RotatedX = 0, RotatedY = 0;
    platform::Screen* ScreenCanvas = nullptr;
    std::int32_t CursorX = 0, CursorY = 0;
    TPoint* CursorPos = nullptr;
    TRect LensRegion;
    std::int32_t DragStartX = 0, DragStartY = 0;
    std::int32_t DragDeltaX = 0, DragDeltaY = 0;
    std::int32_t Dragging = 0;
    std::int32_t SourceWidth = 0, SourceHeight = 0;
    std::int32_t ProbeRed = 0, ProbeGreen = 0, ProbeBlue = 0;
    platform::Bitmap24* CaptureBitmap = nullptr;
    platform::Bitmap24* SmoothBitmap = nullptr;
    std::uint8_t* ScanLine = nullptr;
    std::uint8_t* RedPlane = nullptr;
    std::uint8_t* GreenPlane = nullptr;
    std::uint8_t* BluePlane = nullptr;
    std::int32_t* RedSamples = nullptr;
    std::int32_t* GreenSamples = nullptr;
    std::int32_t* BlueSamples = nullptr;
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

    void SmoothEnlarge();
    int BilinearSample(const std::int32_t* samples, float x, float y);

    // True once FormClose has released the frame resources.
    bool FrameResourcesReleased() const { return m_released; }
    // Bytes each plane holds.
    std::size_t PlaneCapacity() const { return m_planeCapacity; }
    // Lens frames that found the screen and every input as the frame before
    // and so left what was shown alone.
    std::uint64_t RepeatedFrames() const { return m_repeatedFrames; }

private:
    void createControls();
    void lensFrame();
    bool guardedProcessing();
    void colourStage();
    bool smoothEnlargeAndPaint(platform::Canvas& image);
    void ensurePlaneCapacity(std::size_t bytes);
    void scaleProbeBox();
    void releaseFrameResources();

    // What a lens frame reads besides the screen, as it stood at its capture.
    struct FrameInputs {
        std::int32_t cursorX, cursorY;
        TRect lensRect;
        std::int32_t displayWidth, displayHeight, zoomFactor, sourceWidth, sourceHeight;
        bool smoothOn, probeOn;
        std::int32_t correctionOn, colourBlindLevel, simulationOn, squintPosition;
        float squintAngle, squintCentreX, squintCentreY;
        std::int32_t probeRed, probeGreen, probeBlue;
        float rotatedX, rotatedY;
        CubicCoefficients hueCurve;
    };
    FrameInputs currentInputs() const;
    bool repeatsShownFrame();
    void rememberProcessedFrame();

    bool m_released = false;
    std::size_t m_planeCapacity = 0;
    SmoothEnlarger m_smoother;

    // The last frame shown: its inputs and capture, what its processing left
    // in the fields, and the picture's key once its overlay was drawn.
    bool m_shownValid = false;
    FrameInputs m_shownInputs{};
    platform::Bitmap24 m_shownCapture, m_shownResult;
    bool m_shownResultIsCapture = false;
    std::int32_t m_shownSourceWidth = 0, m_shownSourceHeight = 0;
    std::int32_t m_shownProbeRed = 0, m_shownProbeGreen = 0, m_shownProbeBlue = 0;
    float m_shownRotatedX = 0, m_shownRotatedY = 0;
    std::uint8_t* m_shownScanLine = nullptr;
    qint64 m_shownPicture = 0;
    std::uint64_t m_repeatedFrames = 0;
};

extern TForm1* Form1;
