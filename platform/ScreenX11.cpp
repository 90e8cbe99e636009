#include "platform/ScreenX11.h"

#include "platform/CaptureRows.h"
#include "platform/PointerWatchX11.h"

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QScreen>

#include "platform/XcbShm.h"

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

int screenNumberFromEnvironment() {
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0)
        screen = 0;
    std::free(host);
    return screen;
}

// A still pointer is asked for once in this many looks.
constexpr int kStillLooksPerQuery = 50;

xcb_screen_t* screenOf(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it))
        if (i == number)
            return it.data;
    return nullptr;
}

} // namespace

struct X11Screen::Impl {
    OwnedConnection owned; // set when the connection is ours
    xcb_connection_t* connection = nullptr;
    QPointer<QObject> application; // set when the screen follows the application
    bool borrowed = false;         // the connection is the application's
    bool tied = false;             // sizes as the application sees them; unusable once it is gone
    xcb_window_t root = 0;
    int rootWidth = 0;
    int rootHeight = 0;
    Capture capture = Capture::Auto;
    bool shmUsable = false;
    // Two segments in turn, declared after the connection: released first.
    // A capture leaves its words for the bitmap to convert when something
    // reads its pixels; in a frame that reads none, the next capture (in
    // the other segment) makes them moot, and should it fail, the bitmap
    // still has them.
    struct Segment {
        ShmSegment memory;
        // Bumped before the segment is written again or goes: a bitmap that
        // was left its words stops taking them from then on.
        std::shared_ptr<std::uint64_t> generation = std::make_shared<std::uint64_t>(0);
        std::weak_ptr<DeferredRows> deferred; // the bitmap still needing them
        // Before the words are written again or let go.
        void settle() {
            if (const std::shared_ptr<DeferredRows> rows = deferred.lock())
                rows->owner->settle();
            deferred.reset();
            ++*generation;
        }
    };
    Segment segments[2];
    int nextSegment = 0;
    // Drawing anywhere on the screen, reported on our own connection so that
    // a still lens need not read the same pixels again (set up only where
    // the connection is ours: the reports must not reach Qt's event queue).
    // Each capture empties the damage; from then on a report comes each time
    // the bounding box of what has been drawn grows, with that box. While no
    // box has met the capture's source, drawing there must grow it: one
    // report a frame for the lens's own put, where one per rectangle of its
    // clipped region would cost both sides more than the capture saves.
    xcb_damage_damage_t damage = 0;
    std::uint8_t damageNotify = 0; // the event's type; 0: no reports
    // The source of the last shared-memory capture, the sequence number of
    // its request, and whether drawing since has touched it.
    bool read = false;
    TRect readSource;
    std::uint32_t readSequence = 0;
    bool touched = false;
    // A reply has been read since the reports were last taken: every report
    // the server sent before it is in xcb's queue, and what comes after it
    // waits in the socket for the next look, a tick later at most.
    bool replySinceReports = false;
    // Where the pointer was at the last query, and how many looks since have
    // found it still. A still pointer is not asked for again, but now and
    // then all the same, lest a move the server does not record (should
    // there be one) go unseen for long.
    PointerWatch pointerWatch;
    TPoint pointer;
    bool pointerKnown = false;
    int stillLooks = 0;

    ~Impl() {
        const bool gone =
            !connection || (borrowed && !application) || xcb_connection_has_error(connection) != 0;
        for (Segment& segment : segments) {
            segment.settle();
            if (gone)
                segment.memory.forgetServer();
        }
    }

    bool alive() const {
        if (!connection || (tied && !application))
            return false;
        return xcb_connection_has_error(connection) == 0;
    }

    void open(Connection choice) {
        int number = 0;
#if QT_CONFIG(xcb)
        if (choice == Connection::Application && qGuiApp) {
            if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
                if (xcb_connection_t* shared = x11->connection()) {
                    tied = true;
                    application = qGuiApp;
                    // The captures and pointer queries of every frame travel on
                    // a connection of our own: their replies on the shared one
                    // would wake Qt's event reader thread a hundred times a
                    // second for nothing.
                    owned.reset(xcb_connect(nullptr, &number));
                    if (xcb_connection_has_error(owned.get())) {
                        owned.reset();
                        connection = shared;
                        borrowed = true;
                        number = screenNumberFromEnvironment();
                    } else {
                        connection = owned.get();
                    }
                }
            }
        }
#else
        Q_UNUSED(choice);
#endif
        if (!connection) {
            owned.reset(xcb_connect(nullptr, &number));
            if (xcb_connection_has_error(owned.get())) {
                owned.reset();
                return;
            }
            connection = owned.get();
        }
        const xcb_screen_t* screen = screenOf(connection, number);
        if (!screen)
            screen = screenOf(connection, 0);
        if (!screen) {
            connection = nullptr;
            owned.reset();
            return;
        }
        root = screen->root;
        rootWidth = screen->width_in_pixels;
        rootHeight = screen->height_in_pixels;
        if (capture != Capture::Qt)
            shmUsable = PixelsAreBgrx(connection, screen->root_depth, screen->root_visual) && shmPresent() &&
                        trialCapture();
        if (shmUsable && !borrowed)
            watchDrawing();
        if (!borrowed)
            pointerWatch.start(connection);
    }

    void watchDrawing() {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection, &xcb_damage_id);
        if (!ext || !ext->present)
            return;
        XcbPtr<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
            connection,
            xcb_damage_query_version(connection, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr));
        if (!version)
            return;
        damage = xcb_generate_id(connection);
        XcbPtr<xcb_generic_error_t> error(
            xcb_request_check(connection, xcb_damage_create_checked(connection, damage, root,
                                                                    XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX)));
        if (!error)
            damageNotify = static_cast<std::uint8_t>(ext->first_event + XCB_DAMAGE_NOTIFY);
    }

    // Reads the reports that have come in. Drawing the server did before it
    // handled the capture request (an earlier sequence number) is in the
    // capture already; drawing between the capture and the emptying that
    // follows it has a report of its own.
    void takeReports() {
        const bool queued = replySinceReports;
        replySinceReports = false;
        while (xcb_generic_event_t* raw =
                   queued ? xcb_poll_for_queued_event(connection) : xcb_poll_for_event(connection)) {
            XcbPtr<xcb_generic_event_t> event(raw);
            if ((event->response_type & 0x7F) != damageNotify || !read || touched)
                continue;
            if (static_cast<std::int32_t>(event->full_sequence - readSequence) < 0)
                continue;
            const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(raw);
            const std::int64_t left = notify->area.x, top = notify->area.y;
            touched = left < readSource.Right && left + notify->area.width > readSource.Left &&
                      top < readSource.Bottom && top + notify->area.height > readSource.Top;
        }
    }

    bool shmPresent() {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection, &xcb_shm_id);
        if (!ext || !ext->present)
            return false;
        XcbPtr<xcb_shm_query_version_reply_t> version(
            xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr));
        return version != nullptr;
    }

    // A remote server cannot see our segment: find out before the first frame.
    bool trialCapture() {
        Bitmap24 probe(1, 1);
        shmUsable = true;
        const bool ok = shmCopy(CaptureClip{0, 0, 0, 0, 1, 1}, probe);
        shmUsable = false;
        read = false;
        return ok;
    }

    void refreshRootSize() {
        XcbPtr<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr));
        if (geometry) {
            rootWidth = geometry->width;
            rootHeight = geometry->height;
        }
    }

    bool shmCopy(const CaptureClip& clip, Bitmap24& dst) {
        read = false;
        Segment& into = segments[nextSegment];
        into.settle();
        ShmSegment& segment = into.memory;
        const std::size_t stride = 4 * static_cast<std::size_t>(clip.width);
        const std::size_t bytes = stride * static_cast<std::size_t>(clip.height);
        if (segment.size() < bytes) {
            const std::size_t rounded = (bytes + 0xFFFF) & ~static_cast<std::size_t>(0xFFFF);
            if (!segment.create(connection, rounded))
                return false;
        }
        // Reports of drawing before this request are of no more use.
        if (damageNotify)
            takeReports();
        xcb_generic_error_t* rawError = nullptr;
        const xcb_shm_get_image_cookie_t cookie = xcb_shm_get_image(
            connection, root, static_cast<std::int16_t>(clip.srcX), static_cast<std::int16_t>(clip.srcY),
            static_cast<std::uint16_t>(clip.width), static_cast<std::uint16_t>(clip.height), ~0u,
            XCB_IMAGE_FORMAT_Z_PIXMAP, segment.seg(), 0);
        if (damageNotify)
            xcb_damage_subtract(connection, damage, XCB_NONE, XCB_NONE);
        XcbPtr<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(connection, cookie, &rawError));
        XcbPtr<xcb_generic_error_t> error(rawError);
        if (error || !reply || reply->size < bytes)
            return false;
        nextSegment = 1 - nextSegment;
        if (clip.dstX == 0 && clip.dstY == 0 && clip.width == dst.width() && clip.height == dst.height())
            into.deferred = dst.deferWordRows(segment.data(), stride, into.generation, BgrxRowToBgr);
        else
            BgrxToBitmap(segment.data(), stride, clip, dst);
        readSequence = cookie.sequence;
        touched = false;
        read = true;
        return true;
    }

    bool qtCopy(const CaptureClip& clip, Bitmap24& dst) {
        QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
        if (!screen)
            return false;
        // grabWindow(0, ...) takes coordinates relative to the QScreen.
        const QPoint origin = screen->geometry().topLeft();
        QImage image =
            screen->grabWindow(0, clip.srcX - origin.x(), clip.srcY - origin.y(), clip.width, clip.height)
                .toImage();
        if (image.width() != clip.width || image.height() != clip.height)
            return false;
        if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
            image.format() != QImage::Format_ARGB32_Premultiplied)
            image = image.convertToFormat(QImage::Format_RGB32);
        BgrxToBitmap(image.constBits(), static_cast<std::size_t>(image.bytesPerLine()), clip, dst);
        return true;
    }
};

X11Screen::X11Screen(Connection connection, Capture capture) : m(std::make_unique<Impl>()) {
    m->capture = capture;
    m->open(connection);
}

X11Screen::~X11Screen() = default;

bool X11Screen::hasConnection() const {
    return m->alive();
}
bool X11Screen::hasSharedMemory() const {
    return m->alive() && m->shmUsable;
}

int X11Screen::width() const {
    if (m->tied || !m->alive()) {
        if (QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
            return screen->geometry().width();
    }
    return m->alive() ? m->rootWidth : 0;
}

int X11Screen::height() const {
    if (m->tied || !m->alive()) {
        if (QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
            return screen->geometry().height();
    }
    return m->alive() ? m->rootHeight : 0;
}

bool X11Screen::copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) {
    m->read = false; // until a shared-memory capture has read it
    const bool alive = m->alive();
    const bool useShm = alive && m->shmUsable && m->capture != Capture::Qt;
    const bool useQt = !useShm && m->capture != Capture::SharedMemory && qGuiApp;
    if (!useShm && !useQt)
        return false;
    // Without a connection of any kind the Qt path clips to the primary screen.
    const int screenW = alive ? m->rootWidth : width();
    const int screenH = alive ? m->rootHeight : height();
    CaptureClip clip;
    if (dst.isEmpty() || !ClipCapture(source, screenW, screenH, dst, dstX, dstY, clip))
        return true; // nothing of the square is on the screen: nothing to write
    if (useShm) {
        m->readSource = source;
        if (m->shmCopy(clip, dst))
            return true;
        // The root may have shrunk (a mode change): clip again once.
        m->refreshRootSize();
        if (!ClipCapture(source, m->rootWidth, m->rootHeight, dst, dstX, dstY, clip))
            return true;
        return m->shmCopy(clip, dst);
    }
    return m->qtCopy(clip, dst);
}

bool X11Screen::unchangedSinceCopy(const TRect& source) {
    if (!m->alive() || m->damageNotify == 0 || !m->read)
        return false;
    m->takeReports();
    return !m->touched && source == m->readSource;
}

bool X11Screen::cursorPos(TPoint& pos) const {
    if (m->alive()) {
        if (!m->pointerWatch.movedSinceLastLook() && m->pointerKnown &&
            ++m->stillLooks < kStillLooksPerQuery) {
            pos = m->pointer;
            return true;
        }
        m->stillLooks = 0;
        m->pointerKnown = false;
        XcbPtr<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(m->connection, xcb_query_pointer(m->connection, m->root), nullptr));
        if (!pointer)
            return false;
        m->replySinceReports = true;
        pos.x = pointer->root_x;
        pos.y = pointer->root_y;
        m->pointer = pos;
        m->pointerKnown = true;
        return true;
    }
    return QtCursorPos(pos);
}

} // namespace platform
