#include "vision/Setup.h"

#include "lens/SquintRotation.h"
#include "lens/vistrelUnit.h"
#include "platform/Accessibility.h"

using namespace platform;

TForm3* Form3 = nullptr;

namespace {
constexpr float kTwoPi = 6.283185f;
}

TForm3::TForm3(TComponent* owner) : TForm(owner, FormBorder::Decorated) {
    Form3 = this;
    SetName("Form3");
    SetCaption(QStringLiteral("Setup Your Vision"));
    ExposeAsDialog(this, QStringLiteral("Setup Your Vision"));
    setBackground(this, clWhite);
    setBackground(ClientArea(), clWhite);
    setFont(uiFont(11));
    // Outer 390 × 216 at (592, 284); the client area is that less the frame and caption.
    SetClientSize(390 - 2 * kFrameWidth, 216 - 2 * kFrameWidth - kCaptionHeight);
    move(592, 284);

    QWidget* client = ClientArea();
    const QFont bold12 = uiFont(12, true);
    Button1 = new TButton(client, 8, 8, 185, 33, QStringLiteral("Simulation Red-Green Colour Blind"));
    Button3 = new TButton(client, 8, 48, 185, 33, QStringLiteral("Normal Color"));
    GroupBox1 = new TGroupBox(client, 0, 89, 191, 64, QStringLiteral("สำหรับผู้ที่ตาเหล่"));
    GroupBox1->setFont(bold12);
    TrackBar1 = new TTrackBar(GroupBox1, 9, 18, 173, 18, 0, 30, 15);
    TrackBar1->setEnabled(false);
    TrackBar1->setAccessibleName(QStringLiteral("Squint"));
    TrackBar1->ValueText = [](int position) { return QStringLiteral("%1 degrees").arg(position - 15); };
    Label1 = new TLabel(GroupBox1, 9, 43, 20, 13, QStringLiteral("ซ้าย"));
    Label2 = new TLabel(GroupBox1, 164, 43, 19, 13, QStringLiteral("ขวา"));
    Label1->setFont(uiFont(11));
    Label2->setFont(uiFont(11));
    BitBtn1 = new TButton(client, 0, 158, 191, 26, QStringLiteral("Close"));
    BitBtn1->setFont(bold12);
    BitBtn1->Cancel = true;
    GroupBox2 = new TGroupBox(client, 198, 9, 182, 176, QStringLiteral("Colour-blind"));
    GroupBox2->setFont(bold12);
    CheckBox1 = new TCheckBox(GroupBox2, 9, 26, 160, 19, QStringLiteral("Red-Green colour blind"));
    RadioButton1 = new TRadioButton(GroupBox2, 32, 56, 113, 17, QStringLiteral("Low Level"));
    RadioButton2 = new TRadioButton(GroupBox2, 32, 80, 113, 17, QStringLiteral("High Level"));
    RadioButton3 = new TRadioButton(GroupBox2, 32, 104, 137, 17, QStringLiteral("Severe - Unknown"));
    RadioButton3->setEnabled(false);
    CheckBox2 = new TCheckBox(GroupBox2, 9, 148, 168, 19, QStringLiteral("Yellow-Blue colour blind"));
    CheckBox2->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBox1, RadioButton1, RadioButton2, RadioButton3, CheckBox2})
        w->setFont(uiFont(11));

    BitBtn1->OnClick = [this](QObject* s) { BitBtn1Click(s); };
    CheckBox1->OnClick = [this](QObject* s) { CheckBox1Click(s); };
    RadioButton1->OnClick = [this](QObject* s) { RadioButton1Click(s); };
    RadioButton2->OnClick = [this](QObject* s) { RadioButton2Click(s); };
    RadioButton3->OnClick = [this](QObject* s) { RadioButton3Click(s); };
    Button1->OnClick = [this](QObject* s) { Button1Click(s); };
    Button3->OnClick = [this](QObject* s) { Button3Click(s); };
    CheckBox2->OnClick = [this](QObject* s) { CheckBox2Click(s); };
    TrackBar1->OnChange = [this](QObject* s) { TrackBar1Change(s); };
    ScaleLayoutToFontResolution();
}

TForm3::~TForm3() {
    if (Form3 == this)
        Form3 = nullptr;
}

int TForm3::ShowSetup() {
    TwoPi = kTwoPi;
    return ShowModal();
}

void TForm3::BitBtn1Click(QObject*) { Close(); }

void TForm3::CheckBox1Click(QObject*) {
    if (CheckBox1->Checked()) {
        Form1->CorrectionOn = 1;
        Form1->SimulationOn = 0;
        RadioButton1->SetChecked(true);
        Form1->ColourBlindLevel = 1;
    } else {
        Form1->CorrectionOn = 0;
    }
}

void TForm3::RadioButton1Click(QObject*) {
    if (RadioButton1->Checked())
        Form1->ColourBlindLevel = 1;
    Close();
}

void TForm3::RadioButton2Click(QObject*) {
    if (RadioButton2->Checked())
        Form1->ColourBlindLevel = 2;
    Close();
}

void TForm3::RadioButton3Click(QObject*) {
    if (RadioButton3->Checked())
        Form1->ColourBlindLevel = 3;
    Close();
}

void TForm3::Button1Click(QObject*) {
    Form1->SimulationOn = 1;
    CheckBox1->SetChecked(false);
    Form1->CorrectionOn = 0;
    Close();
}

void TForm3::Button3Click(QObject*) {
    Form1->SimulationOn = 0;
    Form1->ColourBlindLevel = 0;
    CheckBox1->SetChecked(false);
    Form1->CorrectionOn = 0;
    Close();
}

void TForm3::CheckBox2Click(QObject*) { Form1->YellowBlueOn = CheckBox2->Checked() ? 1 : 0; }

void TForm3::TrackBar1Change(QObject*) {
    const SquintValues v =
        ComputeSquint(TrackBar1->Position(), TwoPi, Form1->Image1->width(), Form1->Image1->height(), Form1->ZoomFactor);
    SquintHalfWidth = v.SquintHalfWidth;
    SquintHalfHeight = v.SquintHalfHeight;
    Form1->SquintPosition = v.SquintPosition;
    Form1->SquintAngle = v.SquintAngle;
    Form1->SquintCentreX = v.SquintCentreX;
    Form1->SquintCentreY = v.SquintCentreY;
}
