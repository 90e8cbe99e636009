// The Wayland screen over a real PipeWire daemon, with a video source of the
// test's own standing in for the compositor: so every frame layout a
// compositor may send is checked (BGRx, RGBx, BGRA, padded rows, a scaled
// monitor, a monitor away from the desktop's origin), and so are the ends of
// a stream: the compositor closing the cast, and PipeWire restarting.
#include "platform/ScreenPipeWire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace platform;

namespace {

// What the source paints: a byte per channel that no two neighbours share.
std::uint8_t patternByte(int x, int y, int channel, int seed) {
    return static_cast<std::uint8_t>(x * 7 + y * 13 + channel * 50 + seed);
}

// pipewire and wireplumber, of this test alone, in a runtime folder of its own.
class Daemons {
public:
    Daemons() {
        char folder[] = "/tmp/vistrel-pw.XXXXXX";
        m_runtime = mkdtemp(folder);
        chmod(m_runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
        unsetenv("PIPEWIRE_REMOTE");
        start();
    }
    ~Daemons() {
        stop();
        std::system(("rm -rf " + m_runtime).c_str());
    }
    void start() {
        m_pipewire = spawn("pipewire");
        const std::string socket = m_runtime + "/pipewire-0";
        for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i)
            usleep(20000);
        m_wireplumber = spawn("wireplumber");
    }
    void stop() {
        for (pid_t pid : {m_wireplumber, m_pipewire}) {
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
        m_pipewire = m_wireplumber = 0;
    }

private:
    static pid_t spawn(const char* program) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(program), nullptr};
        pid_t pid = 0;
        const int failed = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        return failed ? 0 : pid;
    }
    std::string m_runtime;
    pid_t m_pipewire = 0, m_wireplumber = 0;
};

struct Layout {
    spa_video_format format;
    int width, height; // the frames
    int padding;       // bytes after each row
    TRect area;        // the monitor on the desktop, in logical pixels
};

// A video source as a compositor's screencast is one: a driver that sends a
// frame every 20 ms, with the pointer as cursor metadata. A still one sends
// a single frame each time it starts streaming, and loses its first start's.
class Source {
public:
    Source(const Layout& layout, TPoint cursor, int seed, bool still)
        : m_layout(layout), m_cursor(cursor), m_seed(seed), m_still(still) {
        m_loop = pw_thread_loop_new("test-source", nullptr);
        pw_thread_loop_lock(m_loop);
        pw_thread_loop_start(m_loop);
        m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
        m_core = pw_context_connect(m_context, nullptr, 0);
        if (m_core) {
            m_timer = pw_loop_add_timer(pw_thread_loop_get_loop(m_loop), onTimer, this);
            m_stream = pw_stream_new(m_core, "test-monitor",
                                     pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
            static const pw_stream_events events = [] {
                pw_stream_events e{};
                e.version = PW_VERSION_STREAM_EVENTS;
                e.state_changed = [](void* d, pw_stream_state, pw_stream_state s, const char*) {
                    static_cast<Source*>(d)->stateChanged(s);
                };
                e.param_changed = [](void* d, std::uint32_t id, const spa_pod* p) {
                    if (id == SPA_PARAM_Format && p)
                        static_cast<Source*>(d)->formatChanged();
                };
                e.process = [](void* d) { static_cast<Source*>(d)->process(); };
                return e;
            }();
            pw_stream_add_listener(m_stream, &m_listener, &events, this);
            std::uint8_t storage[512];
            spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
            spa_rectangle size{std::uint32_t(layout.width), std::uint32_t(layout.height)};
            spa_fraction rate{50, 1};
            const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
                SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
                SPA_FORMAT_VIDEO_format, SPA_POD_Id(layout.format), SPA_FORMAT_VIDEO_size,
                SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
            pw_stream_connect(
                m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1);
        }
        pw_thread_loop_unlock(m_loop);
    }
    ~Source() {
        pw_thread_loop_lock(m_loop);
        if (m_stream)
            pw_stream_destroy(m_stream);
        if (m_core)
            pw_core_disconnect(m_core);
        pw_context_destroy(m_context);
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
        pw_thread_loop_destroy(m_loop);
    }

    // The node, once the daemon has made one; 0 while it has not.
    std::uint32_t node() {
        pw_thread_loop_lock(m_loop);
        const std::uint32_t id = m_stream ? pw_stream_get_node_id(m_stream) : SPA_ID_INVALID;
        pw_thread_loop_unlock(m_loop);
        return id == SPA_ID_INVALID ? 0 : id;
    }

private:
    int stride() const { return m_layout.width * 4 + m_layout.padding; }

    static void onTimer(void* d, std::uint64_t) {
        pw_stream_trigger_process(static_cast<Source*>(d)->m_stream);
    }

    void stateChanged(pw_stream_state state) {
        timespec start{0, 1}, interval{0, 20 * SPA_NSEC_PER_MSEC};
        const bool send = state == PW_STREAM_STATE_STREAMING && !(m_still && m_starts++ == 0);
        pw_loop_update_timer(pw_thread_loop_get_loop(m_loop), m_timer, send ? &start : nullptr,
                             send && !m_still ? &interval : nullptr, false);
    }

    void formatChanged() {
        std::uint8_t storage[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride() * m_layout.height), SPA_PARAM_BUFFERS_stride,
            SPA_POD_Int(stride()), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemPtr)));
        const int cursorMeta = int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + 64 * 64 * 4);
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size, SPA_POD_Int(cursorMeta)));
        pw_stream_update_params(m_stream, params, 2);
    }

    void process() {
        pw_buffer* b = pw_stream_dequeue_buffer(m_stream);
        if (!b)
            return;
        spa_data& d = b->buffer->datas[0];
        if (!d.data) {
            pw_stream_queue_buffer(m_stream, b);
            return;
        }
        // The byte order in memory of each format's blue, green and red.
        const bool redFirst = m_layout.format == SPA_VIDEO_FORMAT_RGBx;
        auto* rows = static_cast<std::uint8_t*>(d.data);
        for (int y = 0; y < m_layout.height; ++y)
            for (int x = 0; x < m_layout.width; ++x) {
                std::uint8_t* p = rows + std::size_t(y) * std::size_t(stride()) + 4 * std::size_t(x);
                p[redFirst ? 2 : 0] = patternByte(x, y, 0, m_seed);
                p[1] = patternByte(x, y, 1, m_seed);
                p[redFirst ? 0 : 2] = patternByte(x, y, 2, m_seed);
                p[3] = 0x5A; // padding or alpha: never a colour
            }
        d.chunk->offset = 0;
        d.chunk->stride = stride();
        d.chunk->size = std::uint32_t(stride() * m_layout.height);
        if (auto* cursor = static_cast<spa_meta_cursor*>(
                spa_buffer_find_meta_data(b->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
            cursor->id = 1;
            cursor->position = {m_cursor.x, m_cursor.y};
            cursor->bitmap_offset = 0;
        }
        pw_stream_queue_buffer(m_stream, b);
    }

    Layout m_layout;
    TPoint m_cursor;
    int m_seed;
    bool m_still;
    int m_starts = 0;
    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    pw_stream* m_stream = nullptr;
    spa_source* m_timer = nullptr;
    spa_hook m_listener{};
};

template <typename Predicate> bool eventually(Predicate predicate, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!predicate()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Each open starts a new source, as the compositor starts a new stream for
// each session; end() is the compositor closing it.
class TestSession : public ScreencastSession {
public:
    TestSession(Layout layout, TPoint cursor, bool still = false)
        : m_layout(layout), m_cursor(cursor), m_still(still) {}
    void open(Opened opened, Failed failed) override {
        ++opens;
        m_source.reset();
        m_source = std::make_unique<Source>(m_layout, m_cursor, seed, m_still);
        Source* source = m_source.get();
        if (!eventually([source] { return source->node() != 0; })) {
            failed("no node");
            return;
        }
        QTimer::singleShot(0, [opened, source, this] {
            opened(ScreencastStream{-1, source->node(), m_layout.area});
        });
    }
    void close() override { m_source.reset(); }
    void end() {
        m_source.reset();
        closed();
    }
    int opens = 0;
    int seed = 0;

private:
    Layout m_layout;
    TPoint m_cursor;
    bool m_still;
    std::unique_ptr<Source> m_source;
};

class PipeWireScreenTest : public ::testing::TestWithParam<Layout> {
protected:
    static void SetUpTestSuite() { pw_init(nullptr, nullptr); }
    Daemons daemons;
};

// A 20 x 20 capture whose top-left corner hangs 5 and 3 pixels off the
// monitor: those rows and columns keep what the bitmap had, the rest is the
// frame, at the desktop pixel's nearest frame pixel.
void expectCapture(PipeWireScreen& screen, const Layout& layout, int seed) {
    Bitmap24 dst(20, 20);
    for (int y = 0; y < 20; ++y)
        std::fill_n(dst.scanLine(y), 60, 0xAB);
    const TRect source{layout.area.Left - 5, layout.area.Top - 3, layout.area.Left + 15,
                       layout.area.Top + 17};
    ASSERT_TRUE(screen.copyTo(source, dst, 0, 0));
    const int sx = layout.width / layout.area.width(), sy = layout.height / layout.area.height();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c) {
                const bool off = x < 5 || y < 3;
                const int expected = off ? 0xAB : patternByte((x - 5) * sx, (y - 3) * sy, c, seed);
                ASSERT_EQ(dst.scanLine(y)[3 * x + c], expected)
                    << "x " << x << " y " << y << " channel " << c;
            }
}

TEST_P(PipeWireScreenTest, FramesReachTheCaptureInEveryLayout) {
    const Layout layout = GetParam();
    const TPoint cursor{layout.width / 2 + 2, layout.height / 4 + 2};
    PipeWireScreen screen(std::make_unique<TestSession>(layout, cursor));
    EXPECT_EQ(screen.width(), layout.area.width());
    EXPECT_EQ(screen.height(), layout.area.height());
    expectCapture(screen, layout, 0);
    TPoint pos;
    ASSERT_TRUE(eventually([&] { return screen.cursorPos(pos) && pos.x != 0; }));
    const int sx = layout.width / layout.area.width(), sy = layout.height / layout.area.height();
    EXPECT_EQ(pos.x, layout.area.Left + cursor.x / sx);
    EXPECT_EQ(pos.y, layout.area.Top + cursor.y / sy);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PipeWireScreenTest,
                         ::testing::Values(Layout{SPA_VIDEO_FORMAT_BGRx, 64, 48, 0, {0, 0, 64, 48}},
                                           Layout{SPA_VIDEO_FORMAT_RGBx, 64, 48, 16, {0, 0, 64, 48}},
                                           Layout{SPA_VIDEO_FORMAT_BGRA, 64, 48, 4, {100, 50, 164, 98}},
                                           Layout{SPA_VIDEO_FORMAT_BGRx, 128, 96, 0, {0, 0, 64, 48}}));

class PipeWireStreamEnds : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pw_init(nullptr, nullptr); }
    Daemons daemons;
    Layout layout{SPA_VIDEO_FORMAT_BGRx, 64, 48, 0, {0, 0, 64, 48}};
};

TEST_F(PipeWireStreamEnds, CapturesFailUntilANewSessionSendsFrames) {
    auto owned = std::make_unique<TestSession>(layout, TPoint{1, 1});
    TestSession& session = *owned;
    PipeWireScreen screen(std::move(owned));
    Bitmap24 dst(20, 20);
    ASSERT_TRUE(screen.copyTo(TRect{0, 0, 20, 20}, dst, 0, 0));

    // The compositor ends the cast: the next session's frames show.
    session.seed = 1;
    session.end();
    EXPECT_FALSE(screen.copyTo(TRect{0, 0, 20, 20}, dst, 0, 0));
    ASSERT_TRUE(eventually([&] { return screen.copyTo(TRect{0, 0, 20, 20}, dst, 0, 0); }));
    EXPECT_EQ(session.opens, 2);
    expectCapture(screen, layout, 1);

    // PipeWire restarts: captures fail while it is gone, and the screen
    // opens a session again, retrying until the daemon is back.
    session.seed = 2;
    daemons.stop();
    ASSERT_TRUE(eventually([&] { return !screen.copyTo(TRect{0, 0, 20, 20}, dst, 0, 0); }));
    daemons.start();
    ASSERT_TRUE(eventually([&] { return screen.copyTo(TRect{0, 0, 20, 20}, dst, 0, 0); }, 15000));
    expectCapture(screen, layout, 2);
}

// A still screen whose first frame was lost: start-up connects the stream
// again rather than fail for want of a picture.
TEST_F(PipeWireStreamEnds, AStillScreenWhoseFirstFrameIsLostStillStarts) {
    PipeWireScreen screen(std::make_unique<TestSession>(layout, TPoint{1, 1}, true));
    expectCapture(screen, layout, 0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
