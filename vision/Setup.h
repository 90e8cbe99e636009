// "Setup Your Vision": the red-green colour-blind options and the squint
// slider. It keeps no settings of its own: every choice goes straight into
// the lens window's fields.
#pragma once

#include "platform/Controls.h"
#include "platform/Forms.h"

class TForm3 : public platform::TForm {
public:
    explicit TForm3(TComponent* owner);
    ~TForm3() override;

    platform::TGroupBox* GroupBox1 = nullptr;
    platform::TGroupBox* GroupBox2 = nullptr;
    platform::TTrackBar* TrackBar1 = nullptr;
    platform::TLabel* Label1 = nullptr;
    platform::TLabel* Label2 = nullptr;
    platform::TCheckBox* CheckBox1 = nullptr;
    platform::TCheckBox* CheckBox2 = nullptr;
    platform::TButton* BitBtn1 = nullptr;
    platform::TRadioButton* RadioButton1 = nullptr;
    platform::TRadioButton* RadioButton2 = nullptr;
    platform::TRadioButton* RadioButton3 = nullptr;
    platform::TButton* Button1 = nullptr;
    platform::TButton* Button3 = nullptr;

    float TwoPi = 0;
    int SquintHalfWidth = 0;
    int SquintHalfHeight = 0;

    int ShowSetup();

    void BitBtn1Click(QObject* sender);
    void CheckBox1Click(QObject* sender);
    void RadioButton1Click(QObject* sender);
    void RadioButton2Click(QObject* sender);
    void RadioButton3Click(QObject* sender);
    void Button1Click(QObject* sender);
    void Button3Click(QObject* sender);
    void CheckBox2Click(QObject* sender);
    void TrackBar1Change(QObject* sender);
};

extern TForm3* Form3;
