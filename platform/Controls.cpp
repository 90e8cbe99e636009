#include "platform/Controls.h"

#include "platform/Application.h"
#include "platform/DesktopSession.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QWindow>
#include <cstring>

namespace platform {

QColor toQColor(TColor colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

QFont uiFont(int pixelHeight, bool bold) {
    // The layouts were made for "MS Sans Serif"; where it is missing, the
    // closest metric match among common free fonts keeps captions inside
    // their controls.
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name : {"MS Sans Serif", "Liberation Sans", "Nimbus Sans", "DejaVu Sans"})
            if (installed.contains(QLatin1String(name)))
                return QString::fromLatin1(name);
        return QStringLiteral("Sans Serif");
    }();
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

void setTextColour(QWidget* widget, TColor colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, toQColor(colour));
    p.setColor(QPalette::ButtonText, toQColor(colour));
    p.setColor(QPalette::Text, toQColor(colour));
    widget->setPalette(p);
}

void setBackground(QWidget* widget, TColor colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, toQColor(colour));
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

namespace {
MouseButton buttonOf(const QMouseEvent* e) {
    switch (e->button()) {
    case Qt::RightButton:
        return MouseButton::Right;
    case Qt::MiddleButton:
        return MouseButton::Middle;
    default:
        return MouseButton::Left;
    }
}

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(left, top, width, height);
}

// A substitute font may run a little wider than the one the layouts were
// made for: narrow it rather than cut a caption off.
QFont narrowedToFit(QFont font, const QString& text, int room) {
    for (int stretch = 95; stretch >= 75 && QFontMetrics(font).horizontalAdvance(text) > room; stretch -= 5)
        font.setStretch(stretch);
    return font;
}
} // namespace

TPanel::TPanel(QWidget* parent, int left, int top, int width, int height, const QString& caption)
    : QFrame(parent), m_caption(caption) {
    place(this, left, top, width, height);
    setAccessibleName(caption);
    // A panel hears the pointer's motion over it with no button held, as
    // the Move handle's offset needs.
    setMouseTracking(true);
}

void TPanel::SetColor(TColor colour) {
    if (m_colour == colour)
        return;
    m_colour = colour;
    update();
}

void TPanel::SetCaption(const QString& caption) {
    m_caption = caption;
    setAccessibleName(caption);
    update();
}

void TPanel::SetBevels(Bevel inner, Bevel outer, bool borderLine) {
    m_inner = inner;
    m_outer = outer;
    m_borderLine = borderLine;
    update();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, toQColor(m_colour));
    auto bevel = [&](Bevel b) {
        if (b == Bevel::None)
            return;
        const QColor light(255, 255, 255), dark(128, 128, 128);
        const QColor& tl = b == Bevel::Raised ? light : dark;
        const QColor& br = b == Bevel::Raised ? dark : light;
        p.setPen(tl);
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.drawLine(r.left(), r.top(), r.left(), r.bottom());
        p.setPen(br);
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        r.adjust(1, 1, -1, -1);
    };
    if (m_borderLine) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    bevel(m_outer);
    bevel(m_inner);
    if (!m_caption.isEmpty()) {
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r, Qt::AlignCenter, m_caption);
    }
}

void TPanel::mousePressEvent(QMouseEvent* e) {
    // Qt grabs the pointer for this widget while a button is held, so a drag
    // keeps receiving motion when the pointer leaves the panel.
    if (OnMouseDown)
        RunHandler([&] {
            OnMouseDown(this, buttonOf(e), e->position().toPoint().x(), e->position().toPoint().y());
        });
}

void TPanel::mouseMoveEvent(QMouseEvent* e) {
    if (OnMouseMove)
        RunHandler([&] { OnMouseMove(this, e->position().toPoint().x(), e->position().toPoint().y()); });
}

void TPanel::mouseReleaseEvent(QMouseEvent* e) {
    if (OnMouseUp)
        RunHandler(
            [&] { OnMouseUp(this, buttonOf(e), e->position().toPoint().x(), e->position().toPoint().y()); });
}

TGroupBox::TGroupBox(QWidget* parent, int left, int top, int width, int height, const QString& caption)
    : QGroupBox(caption, parent) {
    place(this, left, top, width, height);
}

TCheckBox::TCheckBox(QWidget* parent, int left, int top, int width, int height, const QString& caption)
    : QCheckBox(caption, parent) {
    place(this, left, top, width, height);
    connect(this, &QCheckBox::toggled, this, [this](bool) {
        if (OnClick)
            RunHandler([this] { OnClick(this); });
    });
}

TRadioButton::TRadioButton(QWidget* parent, int left, int top, int width, int height, const QString& caption)
    : QRadioButton(caption, parent) {
    place(this, left, top, width, height);
    connect(this, &QRadioButton::toggled, this, [this](bool on) {
        if (on && OnClick)
            RunHandler([this] { OnClick(this); });
    });
}

TButton::TButton(QWidget* parent, int left, int top, int width, int height, const QString& caption)
    : QPushButton(caption, parent) {
    place(this, left, top, width, height);
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, [this](bool) {
        if (OnClick)
            RunHandler([this] { OnClick(this); });
    });
}

QFont TButton::CaptionFont() const {
    return narrowedToFit(font(), text(), CaptionRect().width());
}

void TButton::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(e);
}

void TButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &p, this);
    const QRect face = CaptionRect();
    p.setFont(CaptionFont());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(isDown() ? face.translated(1, 1) : face, Qt::AlignCenter | Qt::TextSingleLine, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

TTrackBar::TTrackBar(QWidget* parent, int left, int top, int width, int height, int min, int max,
                     int position)
    : QSlider(Qt::Horizontal, parent) {
    place(this, left, top, width, height);
    setRange(min, max);
    setSingleStep(1);
    setPageStep(1);
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
    setValue(position);
    connect(this, &QSlider::valueChanged, this, [this](int) {
        if (OnChange)
            RunHandler([this] { OnChange(this); });
    });
}

TLabel::TLabel(QWidget* parent, int left, int top, const QString& caption) : QLabel(caption, parent) {
    move(left, top);
    adjustSize();
}

TLabel::TLabel(QWidget* parent, int left, int top, int width, int height, const QString& caption)
    : QLabel(caption, parent), m_autoSize(false) {
    place(this, left, top, width, height);
}

void TLabel::SetCaption(const QString& caption) {
    if (caption == text())
        return;
    setText(caption);
    if (m_autoSize)
        adjustSize();
}

QFont TLabel::CaptionFont() const {
    return m_autoSize ? font() : narrowedToFit(font(), text(), contentsRect().width());
}

void TLabel::paintEvent(QPaintEvent* event) {
    if (m_autoSize) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setFont(CaptionFont());
    style()->drawItemText(&p, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), text(), foregroundRole());
}

TImage::TImage(QWidget* parent, int left, int top, int width, int height) : QWidget(parent) {
    place(this, left, top, width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImage::ClearPicture() {
    m_picture = QImage();
    m_canvas.setTarget(nullptr);
    update();
}

Canvas& TImage::GetCanvas() {
    if (m_picture.isNull() && width() > 0 && height() > 0) {
        if (m_shared)
            m_picture = m_shared->create(width(), height());
        if (m_picture.isNull()) {
            m_picture = QImage(width(), height(), QImage::Format_RGB32);
            m_picture.fill(Qt::black);
        }
    } else if (m_shared && m_shared->holds(m_picture)) {
        // The server may still be reading the last frame.
        m_shared->waitForServer();
    }
    m_canvas.setTarget(m_picture.isNull() ? nullptr : &m_picture);
    return m_canvas;
}

void TImage::SetPicture(const QImage& picture) {
    m_picture = picture.convertToFormat(QImage::Format_RGB32);
    m_canvas.setTarget(nullptr);
    update();
}

void TImage::Present() {
    QWindow* native = window()->windowHandle();
    const bool exposed = isVisible() && native && native->isExposed() && !m_picture.isNull();
    if (exposed && m_wantDirect && !m_triedDirect) {
        m_triedDirect = true;
        // Under Xwayland our own puts into the window never showed (seen with
        // mutter 43): there Qt's painting is the only one that does.
        if (!IsWaylandSession())
            m_shared = SharedPictureX11::open(static_cast<std::uint32_t>(window()->winId()));
        if (m_shared)
            native->installEventFilter(this);
    }
    if (exposed && m_shared && !m_shared->holds(m_picture)) {
        // Moved into the shared memory, where the next frames draw.
        QImage shared = m_shared->create(m_picture.width(), m_picture.height());
        if (!shared.isNull()) {
            for (int y = 0; y < shared.height(); ++y)
                std::memcpy(shared.scanLine(y), m_picture.constScanLine(y),
                            4 * static_cast<std::size_t>(shared.width()));
            m_picture = shared;
            m_canvas.setTarget(&m_picture);
        }
    }
    if (!exposed || !m_shared || !m_shared->holds(m_picture)) {
        update();
        return;
    }
    if (!putShown()) {
        m_shared.reset();
        update();
    }
}

// Puts what shows of the picture, all of it but what later siblings cover.
bool TImage::putShown() {
    QRegion shown(m_picture.rect() & rect());
    bool later = false;
    for (QObject* o : parentWidget()->children()) {
        auto* sibling = qobject_cast<QWidget*>(o);
        if (sibling == this)
            later = true;
        else if (later && sibling && sibling->isVisible())
            shown -= sibling->geometry().translated(-pos());
    }
    const QVector<QRect> parts(shown.begin(), shown.end());
    return m_shared->put(mapTo(window(), QPoint(0, 0)), parts);
}

bool TImage::eventFilter(QObject* watched, QEvent* event) {
    // Qt answers an expose from its backing store, which holds the picture as
    // it last painted it, not as the frames since put it: once Qt is done,
    // the picture goes up again.
    if (event->type() == QEvent::Expose && m_shared) {
        QTimer::singleShot(0, this, [this] {
            if (m_shared && m_shared->holds(m_picture) && isVisible()) {
                SharedPictureX11::waitForQt();
                putShown();
            }
        });
    }
    return QWidget::eventFilter(watched, event);
}

void TImage::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (m_picture.isNull()) {
        p.fillRect(e->rect(), palette().color(QPalette::Window));
        return;
    }
    // Drawn at its own size from the top-left corner; what it does not cover
    // shows the background.
    p.drawImage(0, 0, m_picture);
    const QRect pic = m_picture.rect();
    const QRegion rest = QRegion(rect()).subtracted(pic);
    for (const QRect& r : rest)
        p.fillRect(r, palette().color(QPalette::Window));
}

} // namespace platform
