// What the X11 screen and the lens picture share: xcb's malloc'd replies,
// an owned connection, and a System V shared-memory segment attached both
// here and in the X server.
#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace platform {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// xcb hands replies and errors over as malloc'd blocks.
template <typename T> using XcbPtr = std::unique_ptr<T, FreeDeleter>;

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using OwnedConnection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// One System V shared-memory segment, attached both here and in the X server.
// The id is removed as soon as the server has attached it, so the segment
// vanishes with the last detach even if the program dies.
class ShmSegment {
public:
    ShmSegment() = default;
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;
    ~ShmSegment() { reset(); }

    bool create(xcb_connection_t* connection, std::size_t bytes) {
        reset();
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void* address = shmat(id, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        const xcb_shm_seg_t seg = xcb_generate_id(connection);
        XcbPtr<xcb_generic_error_t> error(xcb_request_check(
            connection, xcb_shm_attach_checked(connection, seg, static_cast<std::uint32_t>(id), 0)));
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            shmdt(address);
            return false;
        }
        m_connection = connection;
        m_seg = seg;
        m_address = static_cast<std::uint8_t*>(address);
        m_size = bytes;
        return true;
    }

    // The connection has gone away under us: the server has already dropped
    // its attachment, only our mapping is left to release.
    void forgetServer() { m_connection = nullptr; }

    void reset() {
        if (m_connection) {
            xcb_shm_detach(m_connection, m_seg);
            xcb_flush(m_connection);
        }
        if (m_address)
            shmdt(m_address);
        m_connection = nullptr;
        m_address = nullptr;
        m_size = 0;
    }

    xcb_shm_seg_t seg() const { return m_seg; }
    const std::uint8_t* data() const { return m_address; }
    std::uint8_t* data() { return m_address; }
    std::size_t size() const { return m_address ? m_size : 0; }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_shm_seg_t m_seg = 0;
    std::uint8_t* m_address = nullptr;
    std::size_t m_size = 0;
};

// True when Z pixmaps of this depth and visual are 32-bit little-endian words
// of 8-bit blue, green, red and a padding byte: an RGB32 QImage's layout, and
// what the shared-memory paths read and write.
inline bool PixelsAreBgrx(xcb_connection_t* connection, std::uint8_t depth, xcb_visualid_t visual) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    bool format = false;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f))
        if (f.data->depth == depth)
            format = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    if (!format)
        return false;
    for (xcb_screen_iterator_t s = xcb_setup_roots_iterator(setup); s.rem > 0; xcb_screen_next(&s))
        for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(s.data); d.rem > 0;
             xcb_depth_next(&d))
            for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem > 0;
                 xcb_visualtype_next(&v))
                if (v.data->visual_id == visual)
                    return v.data->red_mask == 0xFF0000 && v.data->green_mask == 0xFF00 &&
                           v.data->blue_mask == 0xFF;
    return false;
}

} // namespace platform
