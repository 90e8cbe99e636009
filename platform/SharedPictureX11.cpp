#include "platform/SharedPictureX11.h"

#include "platform/XcbShm.h"

#include <QGuiApplication>

namespace platform {

struct SharedPictureX11::Impl {
    OwnedConnection connection;
    xcb_window_t window = 0;
    xcb_gcontext_t gc = 0;
    std::uint8_t depth = 24;
    ShmSegment segment;
    int width = 0, height = 0;
    bool outstanding = false; // a put the server may not have read yet
};

std::unique_ptr<SharedPictureX11> SharedPictureX11::open(std::uint32_t window) {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb") || window == 0)
        return nullptr;
    // A connection of our own: the completion events of the puts must not
    // land in Qt's event queue.
    auto impl = std::make_unique<Impl>();
    impl->connection.reset(xcb_connect(nullptr, nullptr));
    xcb_connection_t* c = impl->connection.get();
    if (xcb_connection_has_error(c))
        return nullptr;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present)
        return nullptr;
    XcbPtr<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    XcbPtr<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    // The picture is RGB32: the window's pixels must be laid out alike.
    if (!geometry || !attributes || !PixelsAreBgrx(c, geometry->depth, attributes->visual))
        return nullptr;
    impl->window = window;
    impl->depth = geometry->depth;
    impl->gc = xcb_generate_id(c);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(c, impl->gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    // A remote server cannot see our memory: find out before the first frame.
    if (!impl->segment.create(c, 4096))
        return nullptr;
    return std::unique_ptr<SharedPictureX11>(new SharedPictureX11(std::move(impl)));
}

SharedPictureX11::SharedPictureX11(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}

SharedPictureX11::~SharedPictureX11() {
    if (xcb_connection_has_error(m->connection.get()) == 0) {
        waitForServer();
        xcb_free_gc(m->connection.get(), m->gc);
    } else {
        m->segment.forgetServer();
    }
}

QImage SharedPictureX11::create(int width, int height) {
    if (width <= 0 || height <= 0)
        return QImage();
    waitForServer();
    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (m->segment.size() < bytes) {
        const std::size_t rounded = (bytes + 0xFFFF) & ~static_cast<std::size_t>(0xFFFF);
        if (!m->segment.create(m->connection.get(), rounded))
            return QImage();
    }
    m->width = width;
    m->height = height;
    QImage picture(m->segment.data(), width, height, 4 * width, QImage::Format_RGB32);
    picture.fill(Qt::black);
    return picture;
}

bool SharedPictureX11::holds(const QImage& picture) const {
    return !picture.isNull() && picture.constBits() == m->segment.data() && picture.width() == m->width &&
           picture.height() == m->height && picture.format() == QImage::Format_RGB32;
}

void SharedPictureX11::waitForServer() {
    xcb_connection_t* c = m->connection.get();
    while (m->outstanding && xcb_connection_has_error(c) == 0) {
        XcbPtr<xcb_generic_event_t> event(xcb_wait_for_event(c));
        if (!event)
            break;
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == xcb_get_extension_data(c, &xcb_shm_id)->first_event + XCB_SHM_COMPLETION)
            m->outstanding = false;
    }
    m->outstanding = false;
}

bool SharedPictureX11::put(const QPoint& origin, const QVector<QRect>& parts) {
    xcb_connection_t* c = m->connection.get();
    if (xcb_connection_has_error(c) != 0)
        return false;
    waitForServer();
    QVector<QRect> clipped;
    for (const QRect& part : parts)
        if (const QRect r = part & QRect(0, 0, m->width, m->height); !r.isEmpty())
            clipped.push_back(r);
    for (int i = 0; i < clipped.size(); ++i) {
        const QRect& r = clipped[i];
        // Only the last part asks to be told when the server is done with
        // the memory.
        const bool last = i == clipped.size() - 1;
        xcb_shm_put_image(
            c, m->window, m->gc, static_cast<std::uint16_t>(m->width), static_cast<std::uint16_t>(m->height),
            static_cast<std::uint16_t>(r.x()), static_cast<std::uint16_t>(r.y()),
            static_cast<std::uint16_t>(r.width()), static_cast<std::uint16_t>(r.height()),
            static_cast<std::int16_t>(origin.x() + r.x()), static_cast<std::int16_t>(origin.y() + r.y()),
            m->depth, XCB_IMAGE_FORMAT_Z_PIXMAP, last ? 1 : 0, m->segment.seg(), 0);
        m->outstanding = last;
    }
    xcb_flush(c);
    return xcb_connection_has_error(c) == 0;
}

void SharedPictureX11::waitForQt() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || xcb_connection_has_error(c) != 0)
        return;
    XcbPtr<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace platform
