// pattern_client PICTURE: shows the picture full-screen, unscaled from the
// top-left corner, as a native window of the session's compositor, so that
// the desktop holds known pixels. Prints "shown" once the picture is on the
// screen and "pointer X Y" for every pointer motion over it, so that a test
// can see where the compositor's pointer is.
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class Pattern : public QRasterWindow {
public:
    explicit Pattern(QImage picture) : picture_(std::move(picture)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(QRect(QPoint(), size()), Qt::black);
        // Device pixels, whatever scale the compositor gives the output.
        p.scale(1 / devicePixelRatio(), 1 / devicePixelRatio());
        p.drawImage(0, 0, picture_);
        if (!shown_ && width() * devicePixelRatio() >= picture_.width() &&
            height() * devicePixelRatio() >= picture_.height()) {
            shown_ = true;
            std::printf("shown\n");
            std::fflush(stdout);
        }
    }
    void mouseMoveEvent(QMouseEvent* e) override { report(e->position()); }
    // A new input device makes the pointer enter anew instead of moving.
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Enter)
            report(static_cast<QEnterEvent*>(e)->position());
        return QRasterWindow::event(e);
    }

private:
    void report(QPointF position) {
        const QPointF at = position * devicePixelRatio();
        std::printf("pointer %d %d\n", static_cast<int>(at.x()), static_cast<int>(at.y()));
        std::fflush(stdout);
    }

    QImage picture_;
    bool shown_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PICTURE\n", argv[0]);
        return 2;
    }
    QImage picture(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull()) {
        std::fprintf(stderr, "pattern_client: cannot read %s\n", argv[1]);
        return 1;
    }
    Pattern window(picture.convertToFormat(QImage::Format_RGB32));
    window.setTitle("Vistrel test pattern");
    window.showFullScreen();
    return app.exec();
}
