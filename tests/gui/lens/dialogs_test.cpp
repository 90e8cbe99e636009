// "Setup Your Vision" and the About box, shown modally as the user sees
// them, and the lens going on while they are up.
#include "LensFixture.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <cmath>

namespace {

using platform::TForm;

// Shows the setup dialog and, once it is up, does `action`; if the dialog is
// still open afterwards, records that and closes it with its Close button.
bool showSetupAndDo(std::function<void()> action) {
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        action();
        stillOpen = Form3->IsModal();
        if (stillOpen)
            Form3->BitBtn1->click();
    });
    Form1->BitBtn3->click();
    return stillOpen;
}

class SetupDialog : public LensTest {};

TEST_F(SetupDialog, DialogLayout) {
    EXPECT_EQ(Form3->Width(), 390);
    EXPECT_EQ(Form3->Height(), 216);
    EXPECT_EQ(Form3->ClientWidth(), 382);
    EXPECT_EQ(Form3->ClientHeight(), 189);
    EXPECT_EQ(Form3->windowTitle(), QStringLiteral("Setup Your Vision"));
    EXPECT_FALSE(Form3->TrackBar1->isEnabled());
    EXPECT_FALSE(Form3->RadioButton3->isEnabled());
    EXPECT_FALSE(Form3->CheckBox2->isEnabled());
    EXPECT_EQ(Form3->TrackBar1->Position(), 15);
    EXPECT_EQ(Form3->GroupBox1->title(), QStringLiteral("สำหรับผู้ที่ตาเหล่"));
    EXPECT_EQ(Form3->TwoPi, 0.0f);
}

TEST_F(SetupDialog, TickingRedGreenSelectsLowLevelAndCloses) {
    EXPECT_FALSE(showSetupAndDo([] { Form3->CheckBox1->click(); }));
    EXPECT_EQ(Form3->TwoPi, 6.283185f);
    EXPECT_EQ(Form1->CorrectionOn, 1);
    EXPECT_EQ(Form1->SimulationOn, 0);
    EXPECT_EQ(Form1->ColourBlindLevel, 1);
    EXPECT_TRUE(Form3->RadioButton1->Checked());

    // Unticking switches correction off and leaves the dialog open.
    EXPECT_TRUE(showSetupAndDo([] { Form3->CheckBox1->click(); }));
    EXPECT_EQ(Form1->CorrectionOn, 0);
    EXPECT_EQ(Form1->ColourBlindLevel, 1);
    EXPECT_TRUE(Form3->RadioButton1->Checked());

    // Ticking again with Low Level still selected: same values, dialog stays.
    EXPECT_TRUE(showSetupAndDo([] { Form3->CheckBox1->click(); }));
    EXPECT_EQ(Form1->CorrectionOn, 1);
    EXPECT_EQ(Form1->ColourBlindLevel, 1);
}

TEST_F(SetupDialog, HighLevelIsStoredButActsOnlyWithCorrectionOn) {
    EXPECT_FALSE(showSetupAndDo([] { Form3->RadioButton2->click(); }));
    EXPECT_EQ(Form1->ColourBlindLevel, 2);
    EXPECT_EQ(Form1->CorrectionOn, 0);
    // Ticking the box now resets the level to 1 and selects Low Level.
    EXPECT_FALSE(showSetupAndDo([] { Form3->CheckBox1->click(); }));
    EXPECT_EQ(Form1->ColourBlindLevel, 1);
    EXPECT_TRUE(Form3->RadioButton1->Checked());
    EXPECT_FALSE(Form3->RadioButton2->Checked());
    // With the box ticked, High Level takes effect.
    EXPECT_FALSE(showSetupAndDo([] { Form3->RadioButton2->click(); }));
    EXPECT_EQ(Form1->ColourBlindLevel, 2);
    EXPECT_EQ(Form1->CorrectionOn, 1);
}

TEST_F(SetupDialog, SimulationSwitchesCorrectionOff) {
    showSetupAndDo([] { Form3->CheckBox1->click(); });
    EXPECT_FALSE(showSetupAndDo([] { Form3->Button1->click(); }));
    EXPECT_EQ(Form1->SimulationOn, 1);
    EXPECT_EQ(Form1->CorrectionOn, 0);
    EXPECT_FALSE(Form3->CheckBox1->Checked());
    EXPECT_EQ(Form1->ColourBlindLevel, 1);
    EXPECT_TRUE(Form3->RadioButton1->Checked());
}

TEST_F(SetupDialog, NormalColourSwitchesEverythingOffAndKeepsTheLevelButton) {
    showSetupAndDo([] { Form3->CheckBox1->click(); });
    showSetupAndDo([] { Form3->RadioButton2->click(); });
    EXPECT_FALSE(showSetupAndDo([] { Form3->Button3->click(); }));
    EXPECT_EQ(Form1->SimulationOn, 0);
    EXPECT_EQ(Form1->CorrectionOn, 0);
    EXPECT_EQ(Form1->ColourBlindLevel, 0);
    EXPECT_FALSE(Form3->CheckBox1->Checked());
    EXPECT_TRUE(Form3->RadioButton2->Checked());
}

TEST_F(SetupDialog, CloseChangesNothing) {
    Form1->ColourBlindLevel = 2;
    Form1->SimulationOn = 1;
    Form3->RadioButton2->SetChecked(true);
    cursorAt(300, 200);
    frame();
    LensState before;
    EXPECT_FALSE(showSetupAndDo([&] {
        before = lensState(boxes);
        Form3->BitBtn1->click();
    }));
    LensState after = lensState(boxes);
    EXPECT_EQ(after["Form3.hidden"], "1");
    after.erase("Form3.hidden");
    before.erase("Form3.hidden");
    EXPECT_EQ(stateDifferences(before, after), "");
    EXPECT_TRUE(Form3->isHidden());
}

TEST_F(SetupDialog, SquintSliderComputesAngleAndCentre) {
    // Before any frame ZoomFactor is 0: the slider must not divide by zero.
    Form3->TwoPi = 6.283185f;
    Form3->TrackBar1->SetPosition(20);
    EXPECT_EQ(Form1->SquintPosition, 20);
    EXPECT_NEAR(Form1->SquintAngle, 0.0873f, 0.0001f);

    cursorAt(300, 300);
    frame();
    Form3->TrackBar1->SetPosition(15);
    EXPECT_EQ(Form1->SquintAngle, 0.0f);
    EXPECT_EQ(Form1->SquintCentreX, 0.0f);
    EXPECT_EQ(Form1->SquintCentreY, 0.0f);
    Form3->TrackBar1->SetPosition(20);
    EXPECT_EQ(Form3->SquintHalfWidth, 409 / 4);
    const double a = Form1->SquintAngle, w = 102, h = 102;
    EXPECT_EQ(Form1->SquintCentreX, static_cast<float>((w - std::cos(a) * w + std::sin(a) * h) * 0.5));
    EXPECT_EQ(Form1->SquintCentreY, static_cast<float>((h - std::sin(a) * w - std::cos(a) * h) * 0.5));
}

TEST_F(SetupDialog, TheLensKeepsUpdatingWhileADialogIsUp) {
    cursorAt(300, 300);
    Form1->AnimTimer1->SetEnabled(true);
    int capturesWhileModal = -1;
    QTimer::singleShot(0, [&] {
        const int before = screen->captureCount();
        QTimer::singleShot(400, [&, before] {
            capturesWhileModal = screen->captureCount() - before;
            Form3->BitBtn1->click();
        });
    });
    Form1->BitBtn3->click();
    Form1->AnimTimer1->SetEnabled(false);
    // 400 ms at one frame per 10 ms; a loaded machine still manages a dozen.
    EXPECT_GT(capturesWhileModal, 12);
}

// The keyboard in both dialogs: Escape is the Close button wherever the
// focus is, Enter presses the focused push button and nothing else.
struct KeyCase {
    const char* name;
    bool about; // the About box, else "Setup Your Vision"
    std::function<QWidget*()> focused;
    Qt::Key key;
    bool closes;
    int simulationOn, correctionOn, colourBlindLevel;
};
void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class DialogKeys : public LensTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(DialogKeys, KeyOnTheFocusedControl) {
    const KeyCase& c = GetParam();
    Form1->ColourBlindLevel = 2;
    TForm* dialog = c.about ? static_cast<TForm*>(Form2) : static_cast<TForm*>(Form3);
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        QWidget* target = c.focused();
        target->setFocus();
        const Qt::KeyboardModifiers mods = c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(target, c.key, mods);
        stillOpen = dialog->IsModal();
        if (stillOpen)
            dialog->Close();
    });
    (c.about ? Form1->BitBtn1 : Form1->BitBtn3)->click();
    EXPECT_EQ(stillOpen, !c.closes);
    EXPECT_EQ(Form1->SimulationOn, c.simulationOn);
    EXPECT_EQ(Form1->CorrectionOn, c.correctionOn);
    EXPECT_EQ(Form1->ColourBlindLevel, c.colourBlindLevel);
    EXPECT_FALSE(Form3->CheckBox1->Checked());
    EXPECT_FALSE(Form3->RadioButton1->Checked());
    EXPECT_FALSE(Form3->RadioButton2->Checked());
    for (TForm* form : {static_cast<TForm*>(Form2), static_cast<TForm*>(Form3)})
        for (QPushButton* b : form->findChildren<QPushButton*>())
            EXPECT_FALSE(b->isDefault() || b->autoDefault()) << b->text().toStdString();
}

const KeyCase keyCases[] = {
    {"EscapeOnSimulation", false, [] { return Form3->Button1; }, Qt::Key_Escape, true, 0, 0, 2},
    {"EscapeOnCheckBox", false, [] { return Form3->CheckBox1; }, Qt::Key_Escape, true, 0, 0, 2},
    {"EscapeOnRadioButton", false, [] { return Form3->RadioButton2; }, Qt::Key_Escape, true, 0, 0, 2},
    {"ReturnOnSimulation", false, [] { return Form3->Button1; }, Qt::Key_Return, true, 1, 0, 2},
    {"KeypadEnterOnNormalColour", false, [] { return Form3->Button3; }, Qt::Key_Enter, true, 0, 0, 0},
    {"ReturnOnClose", false, [] { return Form3->BitBtn1; }, Qt::Key_Return, true, 0, 0, 2},
    {"ReturnOnCheckBox", false, [] { return Form3->CheckBox1; }, Qt::Key_Return, false, 0, 0, 2},
    {"ReturnOnRadioButton", false, [] { return Form3->RadioButton2; }, Qt::Key_Return, false, 0, 0, 2},
    {"SpaceOnCloseStillClicks", false, [] { return Form3->BitBtn1; }, Qt::Key_Space, true, 0, 0, 2},
    {"AboutEscape", true, [] { return Form2->Button1; }, Qt::Key_Escape, true, 0, 0, 2},
    {"AboutReturn", true, [] { return Form2->Button1; }, Qt::Key_Return, true, 0, 0, 2},
    {"AboutTabKeepsItOpen", true, [] { return Form2->Button1; }, Qt::Key_Tab, false, 0, 0, 2},
};

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeys, ::testing::ValuesIn(keyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every window the program opens is a dialog owned by the lens, which the
// window manager then stacks above it: the two forms and the message boxes
// (shown for real here, not recorded).
TEST_F(LensTest, DialogsAreOwnedByTheLens) {
    EXPECT_EQ(Form1->windowType(), Qt::Window);
    EXPECT_TRUE(Form1->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Form2->windowFlags() & Qt::FramelessWindowHint);
    const Qt::WindowFlags titleBar = Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                     Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
    EXPECT_EQ(Form3->windowFlags() & (titleBar | Qt::FramelessWindowHint), titleBar);
    for (TForm* dialog : {static_cast<TForm*>(Form2), static_cast<TForm*>(Form3)}) {
        const QWindow* owner = nullptr;
        QTimer::singleShot(0, [&] {
            owner = dialog->windowHandle()->transientParent();
            dialog->Close();
        });
        (dialog == Form2 ? Form1->BitBtn1 : Form1->BitBtn3)->click();
        EXPECT_EQ(dialog->windowType(), Qt::Dialog) << dialog->Name();
        EXPECT_FALSE(dialog->windowFlags() & Qt::WindowStaysOnTopHint) << dialog->Name();
        ASSERT_NE(owner, nullptr) << dialog->Name();
        EXPECT_EQ(owner, Form1->windowHandle()) << dialog->Name();
    }
}

struct BoxCase {
    const char* name;
    std::string text;
    std::function<void(platform::MemoryScreen&)> show;
};
void PrintTo(const BoxCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageBoxes : public LensTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(MessageBoxes, OwnedByTheLens) {
    platform::SetMessageBoxHook({});
    qputenv("VISTREL_DATA_DIR", "/nonexistent");
    QFile::remove(QCoreApplication::applicationDirPath() + "/Help/VISTREL_HELP.html");
    QString text;
    const QWidget* parent = nullptr;
    const QWindow* owner = nullptr;
    bool dialog = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        parent = box->parentWidget();
        owner = box->windowHandle() ? box->windowHandle()->transientParent() : nullptr;
        dialog = box->windowType() == Qt::Dialog;
        box->accept();
    });
    GetParam().show(*screen);
    EXPECT_EQ(text.toStdString(), GetParam().text);
    EXPECT_EQ(parent, Form1);
    EXPECT_EQ(owner, Form1->windowHandle());
    EXPECT_TRUE(dialog);
}

INSTANTIATE_TEST_SUITE_P(Boxes, MessageBoxes,
                         ::testing::Values(BoxCase{"CaptureFailed", "Could not capture screen",
                                                   [](platform::MemoryScreen& s) {
                                                       s.setCursor(TPoint{300, 300});
                                                       s.setFailing(true);
                                                       Form1->AnimTimer1Timer(Form1->AnimTimer1);
                                                   }},
                                           BoxCase{"HelpFileMissing",
                                                   "Cannot find the help file Help/VISTREL_HELP.html.",
                                                   [](platform::MemoryScreen&) { Form1->BitBtn4->click(); }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LensTest, AboutBoxIsCentredOnceAndKeptThere) {
    EXPECT_EQ(Form2->ClientWidth(), 304);
    EXPECT_EQ(Form2->ClientHeight(), 294);
    EXPECT_TRUE(Form2->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Form2->Image1->Picture().size(), QSize(280, 218));
    QTimer::singleShot(0, [] { Form2->Button1->click(); });
    Form1->BitBtn1->click();
    EXPECT_TRUE(Form2->isHidden());
    EXPECT_EQ(Form2->pos(), QPoint((1024 - 304) / 2, (768 - 294) / 2));
    Form2->move(10, 10);
    QTimer::singleShot(0, [] { Form2->close(); });
    Form1->BitBtn1->click();
    EXPECT_EQ(Form2->pos(), QPoint(10, 10)) << "kept where it was, not centred again";
    EXPECT_EQ(Form1->ColourBlindLevel, 0);
}

} // namespace
