// Every control of the control panel and of the two dialogs has a name a
// screen reader can speak; the zoom slider speaks its zoom; a disabled
// control takes no change from a screen reader.
#include "LensFixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QtTest/QTest>

namespace {

QString accessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

TEST_F(LensTest, EveryControlHasASpokenName) {
    struct Case {
        QWidget* widget;
        const char* name;
    };
    const Case cases[] = {
        {Form1->CheckBox1, "Select -- To see  colour value"},
        {Form1->Panel2, "Move"},
        {Form1->CheckBox2, "Smooth"},
        {Form1->BitBtn3, "Setup Vision"},
        {Form1->TrackBar1, "Zoom Factor"},
        {Form1->BitBtn1, "About Program"},
        {Form1->BitBtn4, "Help"},
        {Form1->BitBtn2, "Exit"},
        {Form1->Image1, "Enlarged picture"},
        {Form1->Panel3, "Colour probe"},
        {Form1->Label6, "Colour : "},
        {Form3->Button1, "Simulation Red-Green Colour Blind"},
        {Form3->Button3, "Normal Color"},
        {Form3->CheckBox1, "Red-Green colour blind"},
        {Form3->RadioButton1, "Low Level"},
        {Form3->RadioButton2, "High Level"},
        {Form3->RadioButton3, "Severe - Unknown"},
        {Form3->CheckBox2, "Yellow-Blue colour blind"},
        {Form3->BitBtn1, "Close"},
        {Form3->TrackBar1, "Squint"},
        {Form2->Button1, "Close"},
        {Form3, "Setup Your Vision"},
        {Form2, "About Program"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(accessibleName(c.widget).trimmed().toStdString(), QString(c.name).trimmed().toStdString());
}

TEST_F(LensTest, ZoomSliderSpeaksItsZoom) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(Form1->TrackBar1);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Slider);
    const char* spoken[] = {"x 2", "x 4", "x 6", "x 8", "x 12"};
    for (int position = 1; position <= 5; ++position) {
        Form1->TrackBar1->SetPosition(position);
        EXPECT_EQ(iface->text(QAccessible::Value).toStdString(), spoken[position - 1]);
        EXPECT_EQ(iface->text(QAccessible::Description).toStdString(), spoken[position - 1]);
    }
    QAccessibleValueInterface* value = iface->valueInterface();
    ASSERT_NE(value, nullptr);
    value->setCurrentValue(3);
    EXPECT_EQ(Form1->TrackBar1->Position(), 3);
    EXPECT_EQ(value->maximumValue().toInt(), 5);
}

TEST_F(LensTest, DisabledControlsRefuseWhatAScreenReaderAsks) {
    // Every action a control offers, and the common ones it might not list.
    auto everyAction = [](QAccessibleInterface* iface) {
        QAccessibleActionInterface* actions = iface->actionInterface();
        ASSERT_NE(actions, nullptr);
        QStringList names = actions->actionNames();
        names << QAccessibleActionInterface::pressAction() << QAccessibleActionInterface::toggleAction()
              << QAccessibleActionInterface::setFocusAction() << QAccessibleActionInterface::increaseAction()
              << QAccessibleActionInterface::decreaseAction() << QAccessibleActionInterface::showMenuAction();
        for (const QString& name : names)
            actions->doAction(name);
    };
    // With the dialog closed, and then open.
    QAccessibleInterface* squint = QAccessible::queryAccessibleInterface(Form3->TrackBar1);
    ASSERT_NE(squint, nullptr);
    ASSERT_FALSE(Form3->TrackBar1->isEnabled());
    ASSERT_NE(squint->valueInterface(), nullptr);
    squint->valueInterface()->setCurrentValue(25);
    EXPECT_EQ(Form1->SquintPosition, 15);
    Form3->show();
    QTest::qWait(50);
    QWidget* focused = QApplication::focusWidget();
    squint->valueInterface()->setCurrentValue(0);
    squint->setText(QAccessible::Value, QStringLiteral("25"));
    for (QWidget* w : {static_cast<QWidget*>(Form3->TrackBar1), static_cast<QWidget*>(Form3->RadioButton3),
                       static_cast<QWidget*>(Form3->CheckBox2)}) {
        ASSERT_FALSE(w->isEnabled());
        everyAction(QAccessible::queryAccessibleInterface(w));
    }
    QTest::qWait(200); // a press is animated
    EXPECT_EQ(Form3->TrackBar1->Position(), 15);
    EXPECT_EQ(squint->valueInterface()->currentValue().toInt(), 15);
    EXPECT_EQ(Form1->SquintPosition, 15);
    EXPECT_EQ(Form1->SquintAngle, 0.0f);
    EXPECT_FALSE(Form3->RadioButton3->Checked());
    EXPECT_EQ(Form1->ColourBlindLevel, 0);
    EXPECT_FALSE(Form3->CheckBox2->Checked());
    EXPECT_EQ(Form1->YellowBlueOn, 0);
    EXPECT_EQ(QApplication::focusWidget(), focused);

    // The same requests reach an enabled control.
    QAccessible::queryAccessibleInterface(Form1->CheckBox2)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(Form1->SmoothOn);
    Form3->hide();
}

} // namespace
