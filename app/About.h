// The About box: a borderless credits window with a picture, three credit
// lines and a Close button.
#pragma once

#include "platform/Controls.h"
#include "platform/Forms.h"

class TForm2 : public platform::TForm {
public:
    explicit TForm2(TComponent* owner);
    ~TForm2() override;

    platform::TImage* Image1 = nullptr;
    platform::TLabel* Label2 = nullptr;
    platform::TLabel* Label1 = nullptr;
    platform::TLabel* Label3 = nullptr;
    platform::TButton* Button1 = nullptr;

    // Centred on the primary screen at its first showing, kept there after.
    int ShowModal();

    void Button1Click(QObject* sender);

private:
    bool m_placed = false;
};

extern TForm2* Form2;
