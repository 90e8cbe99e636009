// The three windows at the system font resolution: each control's place,
// size and font height, and the dialogs' sizes, are their 96-dpi layout
// scaled as the window is loaded; the lens keeps two fifths of the screen;
// no text is cut off.
#include "LensFixture.h"

#include "platform/FontResolution.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

namespace {

using platform::ScaledToFontResolution;

struct Resolution {
    int dpi;
    int screenWidth;
    QPoint probeBox; // worked by hand from the layout rule for a large lens
};

std::ostream& operator<<(std::ostream& os, const Resolution& r) {
    return os << r.dpi << " dpi, " << r.screenWidth << " wide";
}

struct Control {
    QWidget* widget;
    QRect geometry;
    int fontPixels;
};

// Every control of the three windows, in the order they were made.
std::vector<Control> controlsOfAllWindows() {
    std::vector<Control> out;
    for (platform::TForm* form : {static_cast<platform::TForm*>(Form1), static_cast<platform::TForm*>(Form2),
                                  static_cast<platform::TForm*>(Form3)})
        for (QWidget* w : form->ClientArea()->findChildren<QWidget*>())
            out.push_back({w, w->geometry(), w->font().pixelSize()});
    return out;
}

// Where a control draws its text, and in which font; an empty text where it has none.
struct TextRoom {
    QString text;
    QRect room;
    QFont font;
};

TextRoom textRoomOf(QWidget* w) {
    if (auto* button = dynamic_cast<platform::TButton*>(w))
        return {button->text(), button->CaptionRect(), button->CaptionFont()};
    if (auto* box = dynamic_cast<QAbstractButton*>(w)) { // check boxes and radio buttons
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const bool radio = dynamic_cast<QRadioButton*>(w) != nullptr;
        const QRect room = w->style()->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, w);
        return {box->text(), room, w->font()};
    }
    if (auto* group = dynamic_cast<QGroupBox*>(w)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        // The title runs from where the style puts it to the box's right edge.
        const QRect label =
            w->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, w);
        return {group->title(), QRect(label.left(), label.top(), w->width() - label.left(), label.height()),
                w->font()};
    }
    if (auto* label = dynamic_cast<platform::TLabel*>(w))
        return {label->text(), label->contentsRect(), label->CaptionFont()};
    if (auto* panel = dynamic_cast<platform::TPanel*>(w))
        return {panel->Caption(), panel->rect(), w->font()};
    return {};
}

class FontResolutionLayout : public LensTest, public ::testing::WithParamInterface<Resolution> {
protected:
    void SetUp() override {
        platform::SetFontResolutionForTesting(96);
        start(1024, 768);
        design = controlsOfAllWindows();
        stop();
        // Read from the screen where it has this resolution (the runs on an
        // offscreen screen made so, where Qt's style scales its own parts as
        // on such a desktop), set otherwise.
        platform::SetFontResolutionForTesting(0);
        if (platform::FontResolution() != GetParam().dpi)
            platform::SetFontResolutionForTesting(GetParam().dpi);
        start(GetParam().screenWidth, GetParam().screenWidth * 9 / 16);
    }
    void TearDown() override {
        LensTest::TearDown();
        platform::SetFontResolutionForTesting(0);
    }
    std::vector<Control> design; // at 96 dpi
};

TEST_P(FontResolutionLayout, EveryWindowIsItsDesignLayoutScaled) {
    auto s = [](int v) { return ScaledToFontResolution(v); };
    const int S = GetParam().screenWidth * 2 / 5;

    // The lens keeps its size, frame metrics and region; the control panel is centred.
    EXPECT_EQ(Form1->ClientWidth(), S);
    EXPECT_EQ(Form1->Width(), S + 8);
    EXPECT_EQ(Form1->Height(), S + 27);
    EXPECT_EQ(Form1->RegionBox(), (TRect{8, 27, S, S}));
    EXPECT_EQ(Form1->Image1->geometry(), QRect(0, 0, S, S));
    EXPECT_EQ(Form1->Panel1->size(), QSize(s(257), s(186)));
    EXPECT_EQ(Form1->Panel1->pos(), QPoint(S / 2 - s(257) / 2, S / 2 - s(186) / 2));
    EXPECT_EQ(Form1->Panel3->pos(), GetParam().probeBox);
    EXPECT_EQ(Form1->PlaneCapacity(), static_cast<size_t>(S) * S);

    // The dialogs: About's client area and Setup's outer size scale; Setup keeps its place.
    EXPECT_EQ(Form2->ClientWidth(), s(304));
    EXPECT_EQ(Form2->ClientHeight(), s(294));
    EXPECT_EQ(Form3->Width(), s(390));
    EXPECT_EQ(Form3->Height(), s(216));
    EXPECT_EQ(Form3->ClientWidth(), s(390) - 8);
    EXPECT_EQ(Form3->ClientHeight(), s(216) - 27);
    EXPECT_EQ(Form3->pos(), QPoint(592, 284));

    // Every other control: place, size and font height scaled; a label that
    // sizes itself to its text keeps doing so.
    const std::vector<Control> now = controlsOfAllWindows();
    ASSERT_EQ(now.size(), design.size());
    for (size_t i = 0; i < now.size(); ++i) {
        QWidget* w = now[i].widget;
        const QRect d = design[i].geometry;
        SCOPED_TRACE(w->metaObject()->className() + (" " + w->accessibleName().toStdString()) + " " +
                     textRoomOf(w).text.toStdString());
        EXPECT_EQ(now[i].fontPixels, s(design[i].fontPixels));
        if (w == Form1->Image1 || w == Form1->Panel1 || w == Form1->Panel3)
            continue;
        EXPECT_EQ(w->pos(), QPoint(s(d.x()), s(d.y())));
        auto* label = dynamic_cast<platform::TLabel*>(w);
        if (label && label->AutoSize())
            EXPECT_EQ(w->size(), w->sizeHint());
        else
            EXPECT_EQ(w->size(), QSize(s(d.width()), s(d.height())));
    }
}

TEST_P(FontResolutionLayout, NoTextIsCutOff) {
    for (const Control& c : controlsOfAllWindows()) {
        const TextRoom t = textRoomOf(c.widget);
        if (t.text.isEmpty())
            continue;
        SCOPED_TRACE(t.text.toStdString());
        const QFontMetrics metrics(t.font);
        EXPECT_LE(metrics.horizontalAdvance(t.text), t.room.width()) << c.widget->metaObject()->className();
        EXPECT_LE(metrics.height(), t.room.height()) << c.widget->metaObject()->className();
        // Nor does the control run out of the panel or group box it lies in.
        QWidget* parent = c.widget->parentWidget();
        if (dynamic_cast<QGroupBox*>(parent) || dynamic_cast<platform::TPanel*>(parent)) {
            const QRect r = c.widget->geometry();
            EXPECT_TRUE(parent->rect().contains(r))
                << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << " in "
                << parent->width() << " x " << parent->height();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, FontResolutionLayout,
                         ::testing::Values(Resolution{96, 1024, {104, 15}}, Resolution{120, 1280, {130, 19}},
                                           Resolution{144, 1920, {195, 28}},
                                           Resolution{192, 3840, {390, 56}}),
                         [](const ::testing::TestParamInfo<Resolution>& info) {
                             return "dpi" + std::to_string(info.param.dpi);
                         });

TEST(FontResolution, ScalingRoundsHalvesAwayFromZero) {
    struct Case {
        int dpi, value, scaled;
    };
    for (const Case& c : {Case{96, 257, 257}, Case{120, 15, 19}, Case{120, 9, 11}, Case{144, 15, 23},
                          Case{144, -15, -23}, Case{144, 409, 614}, Case{192, 186, 372}, Case{72, 3, 2}}) {
        platform::SetFontResolutionForTesting(c.dpi);
        EXPECT_EQ(ScaledToFontResolution(c.value), c.scaled) << c.dpi << " " << c.value;
    }
    platform::SetFontResolutionForTesting(0);
}

TEST(FontResolution, IsThePrimaryScreensLogicalResolution) {
    // 96 on a plain offscreen or X screen; what the desktop or the test set elsewhere.
    platform::SetFontResolutionForTesting(0);
    EXPECT_EQ(platform::FontResolution(),
              static_cast<int>(QGuiApplication::primaryScreen()->logicalDotsPerInchX()));
    EXPECT_GT(platform::FontResolution(), 0);
}

} // namespace
