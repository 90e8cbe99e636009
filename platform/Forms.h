// A form: a Qt top-level window that is also a component. The window
// layouts are given as outer sizes with a frame and caption around the
// client area; the form reports those metrics (4 and 19 at 96 dpi) so that
// positions, regions and hit tests come out as the layouts intend.
#pragma once

#include "platform/Canvas.h"
#include "platform/Component.h"
#include "platform/Geometry.h"

#include <QImage>
#include <QWidget>
#include <functional>

class QEventLoop;

namespace platform {

enum class FormBorder {
    // A sizeable frame with caption that the window's region hides: we draw
    // no frame but keep its place, so the client area sits inside the outer
    // window at the frame and caption offsets.
    HiddenFrame,
    // An ordinary decorated window: the window manager draws the frame and
    // caption; the Qt window is the client area.
    Decorated,
    // No frame and no caption: the outer window is the client area.
    None,
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Frame and caption metrics at 96 dpi.
constexpr int kFrameWidth = 4;
constexpr int kCaptionHeight = 19;

// The first form made becomes the application's main form. Every later form
// is a dialog that the main form owns: the window manager keeps it above its
// owner (even an always-on-top one) and gives it no taskbar entry.
class TForm : public QWidget, public TComponent {
public:
    TForm(TComponent* owner, FormBorder border);
    ~TForm() override;

    // The parent of the form's controls.
    QWidget* ClientArea();

    int Left() const;
    int Top() const;
    int Width() const { return m_clientWidth + 2 * frameX(); }
    int Height() const { return m_clientHeight + 2 * frameX() + captionY(); }
    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }

    void SetLeft(int left);
    void SetTop(int top);
    // Sizes below the minimum, asked for in code or by the window manager,
    // are refused: the client area keeps at least this size.
    void SetClientSize(int width, int height);
    void SetMinimumClientSize(int width, int height);
    void SetCaption(const QString& caption);

    // The window is loaded: called once its controls exist. Layouts are made
    // for 96 dpi; at another system font resolution this scales the form's
    // outer size and every control's place, size and font height in
    // proportion. The form's place and its frame and caption metrics stay.
    void ScaleLayoutToFontResolution();

    // The window region in window coordinates (origin at the outer top-left);
    // the box's right and bottom are exclusive.
    void SetWindowRgn(const TRect& box);
    bool HasRegion() const { return m_hasRegion; }
    TRect RegionBox() const { return m_region; }

    // The form's own drawing surface: what is drawn here stays until replaced.
    Canvas& FormCanvas();

    int ShowModal();
    // Shown modally and not yet asked to close.
    bool IsModal() const { return m_modalLoop != nullptr && m_modalResult == mrNone; }
    int ModalResult() const { return m_modalResult; }
    // Closes the form: ends a modal showing with the cancel result, otherwise
    // runs OnClose and hides it (ending the application if it is the main form).
    void Close();

    std::function<void()> OnResize;
    std::function<void(TCloseAction&)> OnClose;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Escape clicks the form's Cancel button, if it has one.
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Client;
    int frameX() const { return m_border == FormBorder::None ? 0 : kFrameWidth; }
    int captionY() const { return m_border == FormBorder::None ? 0 : kCaptionHeight; }
    bool closeRequested();
    void applyRegion();
    void attachToOwnerWindow();

    FormBorder m_border;
    TForm* m_ownerWindow = nullptr; // the main form, for every other form
    Client* m_client = nullptr;
    int m_clientWidth = 0;
    int m_clientHeight = 0;
    int m_minClientWidth = 0;
    int m_minClientHeight = 0;
    bool m_hasRegion = false;
    TRect m_region;
    QImage m_surface;
    Canvas m_surfaceCanvas;
    QEventLoop* m_modalLoop = nullptr;
    int m_modalResult = mrNone;

    friend class Client;
};

} // namespace platform
