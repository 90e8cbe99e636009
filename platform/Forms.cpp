#include "platform/Forms.h"

#include "platform/Application.h"
#include "platform/Controls.h"
#include "platform/FontResolution.h"
#include "platform/WindowHints.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QWindow>
#include <algorithm>

#include <utility>
#include <vector>

namespace platform {

// The client area: paints the form's background, then what was drawn on the
// form's own surface; the controls lie on top.
class TForm::Client : public QWidget {
public:
    Client(TForm* form, QWidget* parent) : QWidget(parent), m_form(form) {}

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.fillRect(e->rect(), palette().color(QPalette::Window));
        if (!m_form->m_surface.isNull())
            p.drawImage(0, 0, m_form->m_surface);
    }

private:
    TForm* m_form;
};

TForm::TForm(TComponent* owner, FormBorder border) : QWidget(nullptr), TComponent(owner), m_border(border) {
    m_ownerWindow = Application ? dynamic_cast<TForm*>(Application->MainForm) : nullptr;
    Qt::WindowFlags flags = m_ownerWindow ? Qt::Dialog : Qt::Window;
    if (border != FormBorder::Decorated)
        flags |= Qt::FramelessWindowHint;
    else if (m_ownerWindow) // a dialog keeps an ordinary window's title-bar buttons
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    m_client = new Client(this, this);
    m_client->setAutoFillBackground(false);
}

TForm::~TForm() = default;

QWidget* TForm::ClientArea() {
    return m_client;
}

int TForm::Left() const {
    return x();
}
int TForm::Top() const {
    return y();
}

void TForm::SetLeft(int left) {
    move(left, y());
}
void TForm::SetTop(int top) {
    move(x(), top);
}

void TForm::SetMinimumClientSize(int width, int height) {
    m_minClientWidth = width;
    m_minClientHeight = height;
    const bool hidden = m_border == FormBorder::HiddenFrame;
    // The window manager is told through the size hints; what it does not
    // honour, SetClientSize refuses.
    setMinimumSize(width + (hidden ? 2 * frameX() : 0), height + (hidden ? 2 * frameX() + captionY() : 0));
    if (m_clientWidth < width || m_clientHeight < height)
        SetClientSize(m_clientWidth, m_clientHeight);
}

void TForm::SetClientSize(int width, int height) {
    width = std::max(width, m_minClientWidth);
    height = std::max(height, m_minClientHeight);
    const bool changed = width != m_clientWidth || height != m_clientHeight;
    m_clientWidth = width;
    m_clientHeight = height;
    const int outerW = m_border == FormBorder::HiddenFrame ? Width() : width;
    const int outerH = m_border == FormBorder::HiddenFrame ? Height() : height;
    if (m_border == FormBorder::HiddenFrame)
        m_client->setGeometry(frameX(), frameX() + captionY(), width, height);
    else
        m_client->setGeometry(0, 0, width, height);
    resize(outerW, outerH);
    if (changed && OnResize)
        RunHandler(OnResize);
}

void TForm::ScaleLayoutToFontResolution() {
    if (FontResolution() == kLayoutFontResolution)
        return;
    auto scaled = [](int v) { return ScaledToFontResolution(v); };
    const QList<QWidget*> controls = m_client->findChildren<QWidget*>();

    // Fonts first, from what was set before any changed: a font a control
    // takes from its parent follows the parent's, one it sets scales once.
    std::vector<std::pair<QWidget*, QFont>> fonts;
    for (QWidget* w : QList<QWidget*>{this, m_client} + controls)
        if (w->testAttribute(Qt::WA_SetFont) && w->font().pixelSize() > 0)
            fonts.emplace_back(w, w->font());
    for (auto& [w, font] : fonts) {
        font.setPixelSize(scaled(font.pixelSize()));
        w->setFont(font);
    }

    for (QWidget* w : controls) {
        auto* label = dynamic_cast<TLabel*>(w);
        if (label && label->AutoSize()) {
            label->move(scaled(w->x()), scaled(w->y()));
            label->adjustSize(); // its size follows its text
        } else {
            const QRect r = w->geometry();
            w->setGeometry(scaled(r.x()), scaled(r.y()), scaled(r.width()), scaled(r.height()));
        }
    }

    SetClientSize(scaled(Width()) - (Width() - ClientWidth()),
                  scaled(Height()) - (Height() - ClientHeight()));
}

void TForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // A size change from outside (the window manager) reaches the form here.
    const int extraW = m_border == FormBorder::HiddenFrame ? 2 * frameX() : 0;
    const int extraH = m_border == FormBorder::HiddenFrame ? 2 * frameX() + captionY() : 0;
    const int cw = e->size().width() - extraW;
    const int ch = e->size().height() - extraH;
    if (cw != m_clientWidth || ch != m_clientHeight)
        SetClientSize(cw, ch);
}

void TForm::SetCaption(const QString& caption) {
    // The hidden frame's caption is never seen; the window keeps the
    // application's title, which is what the taskbar shows.
    if (m_border == FormBorder::HiddenFrame && Application)
        setWindowTitle(QString::fromStdString(Application->Title));
    else
        setWindowTitle(caption);
}

void TForm::SetWindowRgn(const TRect& box) {
    m_hasRegion = true;
    m_region = box;
    applyRegion();
}

void TForm::applyRegion() {
    if (!m_hasRegion)
        return;
    const QRect r(m_region.Left, m_region.Top, m_region.width(), m_region.height());
    setMask(QRegion(r, QRegion::Ellipse));
}

Canvas& TForm::FormCanvas() {
    if (m_surface.size() != QSize(m_clientWidth, m_clientHeight) && m_clientWidth > 0 && m_clientHeight > 0) {
        QImage fresh(m_clientWidth, m_clientHeight, QImage::Format_ARGB32_Premultiplied);
        fresh.fill(Qt::transparent);
        if (!m_surface.isNull()) {
            QPainter p(&fresh);
            p.drawImage(0, 0, m_surface);
        }
        m_surface = fresh;
    }
    m_surfaceCanvas.setTarget(m_surface.isNull() ? nullptr : &m_surface);
    m_client->update();
    return m_surfaceCanvas;
}

int TForm::ShowModal() {
    m_modalResult = mrNone;
    setWindowModality(Qt::ApplicationModal);
    attachToOwnerWindow();
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    m_modalLoop = &loop;
    if (m_modalResult == mrNone)
        loop.exec(QEventLoop::DialogExec);
    m_modalLoop = nullptr;
    if (m_modalResult == mrNone)
        m_modalResult = mrCancel; // the application is ending
    hide();
    setWindowModality(Qt::NonModal);
    return m_modalResult;
}

void TForm::attachToOwnerWindow() {
    if (!m_ownerWindow)
        return;
    winId();
    m_ownerWindow->winId();
    windowHandle()->setTransientParent(m_ownerWindow->windowHandle());
    KeepOffTaskbar(this);
}

void TForm::Close() {
    if (m_modalLoop) {
        m_modalResult = mrCancel;
        m_modalLoop->quit();
        return;
    }
    closeRequested();
}

bool TForm::closeRequested() {
    TCloseAction action = caHide;
    if (OnClose)
        RunHandler([&] { OnClose(action); });
    if (action == caNone)
        return false;
    hide();
    if (Application && Application->MainForm == this)
        Application->Terminate();
    return true;
}

void TForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        for (TButton* button : findChildren<TButton*>())
            if (button->Cancel && button->isEnabled() && button->isVisible()) {
                button->click();
                return;
            }
    }
    QWidget::keyPressEvent(e);
}

void TForm::closeEvent(QCloseEvent* e) {
    // The form decides for itself; Qt must neither hide nor delete it.
    e->ignore();
    Close();
}

} // namespace platform
