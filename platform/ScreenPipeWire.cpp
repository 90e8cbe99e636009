#include "platform/ScreenPipeWire.h"

#include "platform/CaptureRows.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace platform {

namespace {

// How long start-up waits for the first frame, which the compositor sends
// as the stream starts, and how long each connection of the stream waits
// for it within that time.
constexpr std::chrono::seconds kFirstFrameWait{5};
constexpr std::chrono::milliseconds kFirstFrameTry{1500};
// Between attempts to open a new session after the stream ended.
constexpr int kRetryMs = 1000;
constexpr std::size_t kCursorMetaSize(int side) {
    return sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + std::size_t(side) * std::size_t(side) * 4;
}

void initPipeWireOnce() {
    static const bool done = [] {
        pw_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

} // namespace

struct PipeWireScreen::Impl {
    std::unique_ptr<ScreencastSession> session;
    QObject context; // where the loop thread's news and the retries run: the UI thread
    QTimer retry;
    pw_thread_loop* loop = nullptr;
    pw_context* pwContext = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    bool connected = false; // a stream is set up (UI thread)
    std::atomic<bool> lost{false};
    TRect area;

    // The latest frame: a buffer the stream lent us, kept until a newer one
    // comes. Written on the loop thread, read by captures on the UI thread.
    mutable std::mutex frameMutex;
    std::condition_variable frameArrived;
    pw_buffer* held = nullptr;
    const std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
    int frameW = 0, frameH = 0;
    PixelOrder order = PixelOrder::Bgrx;
    bool cursorKnown = false;
    int cursorX = 0, cursorY = 0; // in frame pixels
    // The negotiated format (loop thread only).
    int formatW = 0, formatH = 0;
    PixelOrder formatOrder = PixelOrder::Bgrx;
    // The stream's node, and whether we are connecting it again ourselves
    // (with the loop locked).
    std::uint32_t node = 0;
    bool reconnecting = false;

    Impl() {
        initPipeWireOnce();
        retry.setSingleShot(true);
        QObject::connect(&retry, &QTimer::timeout, &context, [this] { reopen(); });
        loop = pw_thread_loop_new("vistrel-capture", nullptr);
        if (!loop || pw_thread_loop_start(loop) != 0)
            throw std::runtime_error("Could not start screen capture: PipeWire could not start its thread");
    }

    ~Impl() {
        disconnect();
        if (session)
            session->closed = nullptr;
        session.reset();
        if (loop) {
            pw_thread_loop_stop(loop);
            pw_thread_loop_destroy(loop);
        }
    }

    // --- the loop thread ---------------------------------------------------

    void markLost() {
        if (lost.exchange(true))
            return;
        QMetaObject::invokeMethod(
            &context, [this] { handleLoss(); }, Qt::QueuedConnection);
    }

    void formatChanged(const spa_pod* param) {
        spa_video_info_raw info{};
        std::uint32_t mediaType = 0, mediaSubtype = 0;
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
            mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0)
            return;
        const bool redFirst = info.format == SPA_VIDEO_FORMAT_RGBx || info.format == SPA_VIDEO_FORMAT_RGBA;
        formatOrder = redFirst ? PixelOrder::Rgbx : PixelOrder::Bgrx;
        formatW = static_cast<int>(info.size.width);
        formatH = static_cast<int>(info.size.height);

        std::uint8_t storage[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(int(kCursorMetaSize(64)), int(kCursorMetaSize(1)),
                                     int(kCursorMetaSize(512)))));
        pw_stream_update_params(stream, params, 2);
    }

    // Every buffer may carry the pointer; only some carry a new picture
    // (the compositor also sends one when just the pointer moved).
    void process() {
        pw_buffer* newest = nullptr;
        while (pw_buffer* b = pw_stream_dequeue_buffer(stream)) {
            readCursor(b->buffer);
            if (hasPicture(b->buffer)) {
                if (newest)
                    pw_stream_queue_buffer(stream, newest);
                newest = b;
            } else {
                pw_stream_queue_buffer(stream, b);
            }
        }
        if (!newest)
            return;
        const spa_data& d = newest->buffer->datas[0];
        pw_buffer* old = nullptr;
        {
            std::lock_guard<std::mutex> lock(frameMutex);
            old = held;
            held = newest;
            pixels = static_cast<const std::uint8_t*>(d.data) + d.chunk->offset;
            stride = d.chunk->stride > 0 ? std::size_t(d.chunk->stride) : std::size_t(formatW) * 4;
            frameW = formatW;
            frameH = formatH;
            order = formatOrder;
        }
        frameArrived.notify_all();
        if (old)
            pw_stream_queue_buffer(stream, old);
    }

    bool hasPicture(const spa_buffer* buffer) const {
        if (buffer->n_datas < 1 || formatW <= 0 || formatH <= 0)
            return false;
        const spa_data& d = buffer->datas[0];
        if (!d.data || !d.chunk || d.chunk->size == 0 || (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
            return false;
        const std::size_t rowBytes =
            d.chunk->stride > 0 ? std::size_t(d.chunk->stride) : std::size_t(formatW) * 4;
        // A buffer too small for its rows would be read past its end.
        return rowBytes >= std::size_t(formatW) * 4 &&
               std::size_t(d.chunk->offset) + rowBytes * std::size_t(formatH) <= d.maxsize;
    }

    void readCursor(spa_buffer* buffer) {
        auto* cursor = static_cast<spa_meta_cursor*>(
            spa_buffer_find_meta_data(buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
        if (!cursor || !spa_meta_cursor_is_valid(cursor))
            return;
        std::lock_guard<std::mutex> lock(frameMutex);
        cursorKnown = true;
        cursorX = cursor->position.x;
        cursorY = cursor->position.y;
    }

    void bufferRemoved(pw_buffer* b) {
        std::lock_guard<std::mutex> lock(frameMutex);
        if (b == held) {
            held = nullptr;
            pixels = nullptr;
        }
    }

    // --- the UI thread -----------------------------------------------------

    bool connect(const ScreencastStream& cast) {
        static const pw_core_events coreEvents = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.error = [](void* data, std::uint32_t id, int, int, const char*) {
                if (id == PW_ID_CORE)
                    static_cast<Impl*>(data)->markLost();
            };
            return e;
        }();
        static const pw_stream_events streamEvents = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
                auto* self = static_cast<Impl*>(data);
                if (state == PW_STREAM_STATE_ERROR ||
                    (state == PW_STREAM_STATE_UNCONNECTED && !self->reconnecting))
                    self->markLost();
            };
            e.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
                if (id == SPA_PARAM_Format && param)
                    static_cast<Impl*>(data)->formatChanged(param);
            };
            e.remove_buffer = [](void* data, pw_buffer* b) { static_cast<Impl*>(data)->bufferRemoved(b); };
            e.process = [](void* data) { static_cast<Impl*>(data)->process(); };
            return e;
        }();

        if (cast.area.width() > 0 && cast.area.height() > 0)
            area = cast.area;
        lost = false;
        pw_thread_loop_lock(loop);
        pwContext = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        if (pwContext)
            core = cast.pipeWireFd >= 0 ? pw_context_connect_fd(pwContext, cast.pipeWireFd, nullptr, 0)
                                        : pw_context_connect(pwContext, nullptr, 0);
        bool ok = core != nullptr;
        if (ok) {
            pw_core_add_listener(core, &coreListener, &coreEvents, this);
            stream = pw_stream_new(core, "Vistrel lens",
                                   pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                     "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
            ok = stream != nullptr;
        }
        if (ok) {
            pw_stream_add_listener(stream, &streamListener, &streamEvents, this);
            node = cast.node;
            ok = connectStream();
        }
        pw_thread_loop_unlock(loop);
        connected = true;
        if (!ok)
            disconnect();
        return ok;
    }

    // With the loop locked.
    bool connectStream() {
        std::uint8_t storage[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
        spa_fraction defaultRate{60, 1}, minRate{0, 1}, maxRate{1000, 1};
        const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                                   SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
        return pw_stream_connect(
                   stream, PW_DIRECTION_INPUT, node,
                   static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                   &format, 1) == 0;
    }

    // Mutter records a frame as the stream starts; one it cannot hand over
    // then is not sent again until the screen changes, and on a still
    // screen start-up would wait for it in vain. Connecting the stream
    // again makes the compositor record one anew.
    bool reconnectStream() {
        pw_thread_loop_lock(loop);
        reconnecting = true;
        pw_stream_disconnect(stream);
        reconnecting = false;
        const bool ok = connectStream();
        pw_thread_loop_unlock(loop);
        return ok;
    }

    void disconnect() {
        pw_thread_loop_lock(loop);
        {
            std::lock_guard<std::mutex> lock(frameMutex);
            held = nullptr;
            pixels = nullptr;
        }
        if (stream) {
            spa_hook_remove(&streamListener);
            pw_stream_destroy(stream);
            stream = nullptr;
        }
        if (core) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(core);
            core = nullptr;
        }
        if (pwContext) {
            pw_context_destroy(pwContext);
            pwContext = nullptr;
        }
        pw_thread_loop_unlock(loop);
        connected = false;
    }

    void handleLoss() {
        if (!connected)
            return;
        disconnect();
        session->close();
        reopen();
    }

    void reopen() {
        session->open(
            [this](const ScreencastStream& cast) {
                if (!connect(cast)) {
                    session->close();
                    retry.start(kRetryMs);
                }
            },
            [this](const std::string&) { retry.start(kRetryMs); });
    }

    bool waitForFirstFrame() {
        const auto deadline = std::chrono::steady_clock::now() + kFirstFrameWait;
        while (true) {
            const auto until = std::min(deadline, std::chrono::steady_clock::now() + kFirstFrameTry);
            {
                std::unique_lock<std::mutex> lock(frameMutex);
                if (frameArrived.wait_until(lock, until, [this] { return pixels != nullptr || lost; }))
                    return pixels != nullptr;
            }
            if (std::chrono::steady_clock::now() >= deadline || !reconnectStream())
                return false;
        }
    }
};

PipeWireScreen::PipeWireScreen(std::unique_ptr<ScreencastSession> session) : m(std::make_unique<Impl>()) {
    m->session = std::move(session);
    m->session->closed = [this] { m->markLost(); };

    // Start-up has no lens yet: waiting here, for the user's answer in the
    // desktop's dialog too, keeps the program's windows from coming up
    // without a picture.
    QEventLoop wait;
    bool done = false;
    std::string failure;
    ScreencastStream cast;
    m->session->open(
        [&](const ScreencastStream& opened) {
            cast = opened;
            done = true;
            wait.quit();
        },
        [&](const std::string& message) {
            failure = message;
            done = true;
            wait.quit();
        });
    if (!done)
        wait.exec();
    if (!failure.empty())
        throw std::runtime_error(failure);
    if (!m->connect(cast))
        throw std::runtime_error("Could not start screen capture: PipeWire is not running");
    if (!m->waitForFirstFrame())
        throw std::runtime_error("Could not start screen capture: the screen cast sent no picture");
    std::lock_guard<std::mutex> lock(m->frameMutex);
    if (m->area.width() <= 0 || m->area.height() <= 0)
        m->area = TRect{0, 0, m->frameW, m->frameH};
}

PipeWireScreen::~PipeWireScreen() = default;

int PipeWireScreen::width() const {
    return m->area.width();
}
int PipeWireScreen::height() const {
    return m->area.height();
}

bool PipeWireScreen::copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) {
    if (!m->connected || m->lost)
        return false;
    std::lock_guard<std::mutex> lock(m->frameMutex);
    if (!m->pixels)
        return false;
    const int areaW = m->area.width(), areaH = m->area.height();
    const TRect onMonitor{source.Left - m->area.Left, source.Top - m->area.Top, source.Right - m->area.Left,
                          source.Bottom - m->area.Top};
    CaptureClip clip;
    if (dst.isEmpty() || !ClipCapture(onMonitor, areaW, areaH, dst, dstX, dstY, clip))
        return true; // nothing of the square is on the monitor: nothing to write
    if (m->frameW == areaW && m->frameH == areaH) {
        BgrxToBitmap(m->pixels + std::size_t(clip.srcY) * m->stride + std::size_t(clip.srcX) * 4, m->stride,
                     clip, dst, m->order);
        return true;
    }
    // A scaled monitor: its frames have more pixels than the desktop's
    // coordinates, which are the lens's. The nearest frame pixel stands for
    // each desktop pixel.
    const int blue = m->order == PixelOrder::Bgrx ? 0 : 2, red = 2 - blue;
    for (int j = 0; j < clip.height; ++j) {
        const std::int64_t fy = std::int64_t(clip.srcY + j) * m->frameH / areaH;
        const std::uint8_t* row = m->pixels + std::size_t(fy) * m->stride;
        std::uint8_t* out = dst.scanLine(clip.dstY + j) + 3 * std::size_t(clip.dstX);
        for (int i = 0; i < clip.width; ++i, out += 3) {
            const std::uint8_t* in = row + 4 * std::size_t(std::int64_t(clip.srcX + i) * m->frameW / areaW);
            out[0] = in[blue];
            out[1] = in[1];
            out[2] = in[red];
        }
    }
    return true;
}

bool PipeWireScreen::cursorPos(TPoint& pos) const {
    {
        std::lock_guard<std::mutex> lock(m->frameMutex);
        if (m->cursorKnown && m->frameW > 0 && m->frameH > 0) {
            pos.x = m->area.Left + int(std::int64_t(m->cursorX) * m->area.width() / m->frameW);
            pos.y = m->area.Top + int(std::int64_t(m->cursorY) * m->area.height() / m->frameH);
            return true;
        }
    }
    // Until the compositor reports it, the pointer as the X server sees it
    // (right only over X windows).
    return QtCursorPos(pos);
}

} // namespace platform
