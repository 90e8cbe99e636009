// The form framework's controls as Qt widgets made in code: geometry in the
// parent's client pixels, texts, fonts and colours as the window layouts give
// them. A programmatic check or select fires the click handler, as the
// handlers expect.
#pragma once

#include "platform/Canvas.h"
#include "platform/SharedPictureX11.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>
#include <functional>
#include <string>

namespace platform {

using TColor = std::int32_t;

// Colour values as controls take them: red + 256·green + 65536·blue.
QColor toQColor(TColor colour);
constexpr TColor RGBColor(int red, int green, int blue) {
    return red + 256 * green + 65536 * blue;
}
constexpr TColor clNavy = RGBColor(0, 0, 128);
constexpr TColor clTeal = RGBColor(0, 128, 128);
constexpr TColor clWhite = RGBColor(255, 255, 255);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clGreen = RGBColor(0, 128, 0);
constexpr TColor clBlue = RGBColor(0, 0, 255);

// "MS Sans Serif" where installed, otherwise a sans-serif of the same pixel height.
QFont uiFont(int pixelHeight, bool bold = false);

void setTextColour(QWidget* widget, TColor colour);
void setBackground(QWidget* widget, TColor colour);

using TNotifyHandler = std::function<void(QObject* sender)>;
enum class MouseButton { Left, Right, Middle };
using TMouseHandler = std::function<void(QObject* sender, MouseButton button, int x, int y)>;
using TMouseMoveHandler = std::function<void(QObject* sender, int x, int y)>;

class TPanel : public QFrame {
public:
    enum class Bevel { None, Raised, Lowered };

    TPanel(QWidget* parent, int left, int top, int width, int height, const QString& caption = {});

    void SetColor(TColor colour);
    TColor Color() const { return m_colour; }
    void SetCaption(const QString& caption);
    QString Caption() const { return m_caption; }
    void SetBevels(Bevel inner, Bevel outer, bool borderLine);

    TMouseHandler OnMouseDown;
    TMouseMoveHandler OnMouseMove;
    TMouseHandler OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TColor m_colour = RGBColor(192, 192, 192);
    QString m_caption;
    Bevel m_inner = Bevel::None;
    Bevel m_outer = Bevel::Raised;
    bool m_borderLine = false;
};

class TGroupBox : public QGroupBox {
public:
    TGroupBox(QWidget* parent, int left, int top, int width, int height, const QString& caption);
};

class TCheckBox : public QCheckBox {
public:
    TCheckBox(QWidget* parent, int left, int top, int width, int height, const QString& caption);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked) { setChecked(checked); }
    TNotifyHandler OnClick;
};

class TRadioButton : public QRadioButton {
public:
    TRadioButton(QWidget* parent, int left, int top, int width, int height, const QString& caption);
    bool Checked() const { return isChecked(); }
    // Selecting one that was not selected unselects its siblings and fires OnClick.
    void SetChecked(bool checked) { setChecked(checked); }
    TNotifyHandler OnClick;
};

class TButton : public QPushButton {
public:
    TButton(QWidget* parent, int left, int top, int width, int height, const QString& caption);
    TNotifyHandler OnClick;
    // Where the caption is drawn, and in which font.
    QRect CaptionRect() const { return rect().adjusted(2, 2, -2, -2); }
    QFont CaptionFont() const;
    // Escape anywhere on the button's form clicks it (TForm handles the key).
    bool Cancel = false;

protected:
    // Enter presses the focused button; no button is ever a default one.
    void keyPressEvent(QKeyEvent* event) override;
    // The caption may use the whole face inside a two-pixel bevel, as the
    // layouts assume; the style's wider padding would clip it.
    void paintEvent(QPaintEvent* event) override;
};

class TTrackBar : public QSlider {
public:
    TTrackBar(QWidget* parent, int left, int top, int width, int height, int min, int max, int position);
    int Position() const { return value(); }
    void SetPosition(int position) { setValue(position); }
    TNotifyHandler OnChange;
    // What a position stands for, as a screen reader speaks it.
    std::function<QString(int position)> ValueText;
};

// An auto-sized label: its size follows its text. One given a size keeps it.
class TLabel : public QLabel {
public:
    TLabel(QWidget* parent, int left, int top, const QString& caption);
    TLabel(QWidget* parent, int left, int top, int width, int height, const QString& caption);
    void SetCaption(const QString& caption);
    QString Caption() const { return text(); }
    bool AutoSize() const { return m_autoSize; }
    // The font the caption is drawn in: a label of fixed size narrows it
    // where the caption would not fit, as a button does.
    QFont CaptionFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_autoSize = true;
};

// A picture control: shows its picture at its own size from the top-left
// corner. Drawing through Canvas() on an empty picture first gives it a fresh
// bitmap of the control's current size in the display's pixel format.
class TImage : public QWidget {
public:
    TImage(QWidget* parent, int left, int top, int width, int height);

    void ClearPicture();
    bool HasPicture() const { return !m_picture.isNull(); }
    Canvas& GetCanvas();
    const QImage& Picture() const { return m_picture; }
    void SetPicture(const QImage& picture);

    // Asks that what is drawn on the picture reach the window straight
    // through memory the X server shares, where the display allows it; Qt
    // paints it otherwise, and on every expose either way.
    void SetDirectPresentation(bool direct) { m_wantDirect = direct; }
    bool PresentsDirectly() const { return m_shared != nullptr; }
    // Shows what has been drawn on the picture.
    void Present();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool putShown();

    QImage m_picture;
    Canvas m_canvas;
    bool m_wantDirect = false;
    bool m_triedDirect = false;
    std::unique_ptr<SharedPictureX11> m_shared;
};

} // namespace platform
