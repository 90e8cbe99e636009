#include "app/About.h"

#include "platform/Accessibility.h"
#include "platform/Screen.h"

#include <QImage>

using namespace platform;

TForm2* Form2 = nullptr;

// The pictures live in a static library, whose resources must be registered by hand.
static void loadPictures() { Q_INIT_RESOURCE(vistrel); }

TForm2::TForm2(TComponent* owner) : TForm(owner, FormBorder::None) {
    Form2 = this;
    SetName("Form2");
    SetCaption(QStringLiteral("Form2"));
    // The caption is never seen; a screen reader says what the button that opens it says.
    ExposeAsDialog(this, QStringLiteral("About Program"));
    setBackground(this, clWhite);
    setBackground(ClientArea(), clWhite);
    setFont(uiFont(11));
    SetClientSize(304, 294);

    loadPictures();
    QWidget* client = ClientArea();
    Image1 = new TImage(client, 0, 0, 303, 208);
    setBackground(Image1, clWhite);
    Image1->SetPicture(QImage(QStringLiteral(":/vistrel/about.png")));
    Image1->setAccessibleName(QStringLiteral("Vistrel: a magnifying glass over a page"));

    Label2 = new TLabel(client, 26, 215, 238, 14, QStringLiteral("VISTREL Program เขียนโดย ทีมวิสเทรล"));
    Label1 = new TLabel(client, 17, 233, 253, 14, QStringLiteral("ทีมพัฒนาแว่นขยายวิสเทรล"));
    Label3 = new TLabel(client, 64, 248, 156, 14, QStringLiteral("E-mail: vistrel@example.org"));
    for (TLabel* l : {Label2, Label1})
        l->setFont(uiFont(12));
    Label3->setFont(uiFont(11));
    for (TLabel* l : {Label2, Label1, Label3})
        setTextColour(l, clNavy);

    Button1 = new TButton(client, 0, 266, 303, 27, QStringLiteral("Close"));
    Button1->setFont(uiFont(12, true));
    setTextColour(Button1, clNavy);
    Button1->setFocusPolicy(Qt::StrongFocus);
    Button1->Cancel = true;
    Button1->OnClick = [this](QObject* s) { Button1Click(s); };
    ScaleLayoutToFontResolution();
}

TForm2::~TForm2() {
    if (Form2 == this)
        Form2 = nullptr;
}

int TForm2::ShowModal() {
    if (!m_placed) {
        const Screen& screen = currentScreen();
        move((screen.width() - Width()) / 2, (screen.height() - Height()) / 2);
        m_placed = true;
    }
    Button1->setFocus();
    return TForm::ShowModal();
}

void TForm2::Button1Click(QObject*) { Form2->Close(); }
