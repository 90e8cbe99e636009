// screencast_grab NODE OUT.ppm [X Y W H]: connects to the PipeWire video node
// NODE (a compositor's screencast), takes the first buffer that holds a whole
// picture and writes it, or the rectangle given, as a binary PPM. Exits 1 when
// no picture comes within VISTREL_GRAB_TIMEOUT seconds (default 10).
//
// Compositors send buffers that carry only cursor metadata, with an empty or
// corrupted chunk, when the pointer moves over an unchanged picture: those are
// skipped, as are buffers that come before the format is known.
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Grab {
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_video_info_raw format{};
    bool haveFormat = false;
    long x = 0, y = 0, w = -1, h = -1; // the rectangle to write; w < 0: all of it
    const char* out = nullptr;
    int status = 1;
    bool done = false; // the loop has been told to end
};

// Byte offsets of red, green and blue in a 4-byte pixel of `format`, or false.
bool channels(uint32_t format, int& r, int& g, int& b) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        r = 2, g = 1, b = 0;
        return true;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        r = 0, g = 1, b = 2;
        return true;
    default:
        return false;
    }
}

bool writePpm(const Grab& g, const uint8_t* pixels, long stride) {
    int r, gr, b;
    if (!channels(g.format.format, r, gr, b))
        return false;
    const long fw = g.format.size.width, fh = g.format.size.height;
    long x = g.x, y = g.y, w = g.w < 0 ? fw : g.w, h = g.h < 0 ? fh : g.h;
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > fw || y + h > fh) {
        std::fprintf(stderr, "screencast_grab: %ldx%ld+%ld+%ld is not inside the %ldx%ld frame\n", w, h, x, y,
                     fw, fh);
        return false;
    }
    std::vector<uint8_t> rgb(3 * w * h);
    for (long row = 0; row < h; ++row) {
        const uint8_t* src = pixels + (y + row) * stride + 4 * x;
        uint8_t* dst = rgb.data() + 3 * w * row;
        for (long col = 0; col < w; ++col, src += 4, dst += 3) {
            dst[0] = src[r];
            dst[1] = src[gr];
            dst[2] = src[b];
        }
    }
    FILE* f = std::fopen(g.out, "wb");
    if (!f)
        return false;
    std::fprintf(f, "P6\n%ld %ld\n255\n", w, h);
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

void onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* g = static_cast<Grab*>(data);
    if (param == nullptr || id != SPA_PARAM_Format)
        return;
    uint32_t type, subtype;
    if (spa_format_parse(param, &type, &subtype) < 0 || type != SPA_MEDIA_TYPE_video ||
        subtype != SPA_MEDIA_SUBTYPE_raw)
        return;
    g->haveFormat = spa_format_video_raw_parse(param, &g->format) >= 0;
}

void onProcess(void* data) {
    auto* g = static_cast<Grab*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(g->stream);
    if (b == nullptr)
        return;
    const spa_data& d = b->buffer->datas[0];
    const bool picture = g->haveFormat && d.data != nullptr && d.chunk->size > 0 &&
                         (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0;
    if (picture) {
        const long stride = d.chunk->stride > 0 ? d.chunk->stride : 4L * g->format.size.width;
        const uint8_t* pixels = static_cast<const uint8_t*>(d.data) + d.chunk->offset;
        g->status = writePpm(*g, pixels, stride) ? 0 : 1;
        g->done = true;
        pw_main_loop_quit(g->loop);
    }
    pw_stream_queue_buffer(g->stream, b);
}

void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto* g = static_cast<Grab*>(data);
    if (!g->done && (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)) {
        g->done = true;
        std::fprintf(stderr, "screencast_grab: stream %s%s%s\n", pw_stream_state_as_string(state),
                     error ? ": " : "", error ? error : "");
        pw_main_loop_quit(g->loop);
    }
}

void onTimeout(void* data, uint64_t) {
    std::fprintf(stderr, "screencast_grab: no picture in time\n");
    pw_main_loop_quit(static_cast<Grab*>(data)->loop);
}

const pw_stream_events streamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = onStateChanged;
    e.param_changed = onParamChanged;
    e.process = onProcess;
    return e;
}();

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 7) {
        std::fprintf(stderr, "usage: %s NODE OUT.ppm [X Y W H]\n", argv[0]);
        return 2;
    }
    Grab g;
    const uint32_t node = std::strtoul(argv[1], nullptr, 10);
    g.out = argv[2];
    if (argc == 7)
        g.x = std::atol(argv[3]), g.y = std::atol(argv[4]), g.w = std::atol(argv[5]),
        g.h = std::atol(argv[6]);
    const char* limit = std::getenv("VISTREL_GRAB_TIMEOUT");
    const double seconds = limit ? std::atof(limit) : 10.0;

    pw_init(&argc, &argv);
    g.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(g.loop);
    spa_source* timer = pw_loop_add_timer(loop, onTimeout, &g);
    timespec when{static_cast<time_t>(seconds),
                  static_cast<long>((seconds - static_cast<long>(seconds)) * 1e9)};
    pw_loop_update_timer(loop, timer, &when, nullptr, false);

    g.stream = pw_stream_new_simple(loop, "vistrel-screencast-grab",
                                    pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                      "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr),
                                    &streamEvents, &g);
    uint8_t podBuffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer, sizeof(podBuffer));
    const spa_rectangle minSize{1, 1}, defSize{1920, 1080}, maxSize{16384, 16384};
    const spa_fraction minRate{0, 1}, defRate{30, 1}, maxRate{1000, 1};
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&defRate, &minRate, &maxRate)));
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(g.stream, PW_DIRECTION_INPUT, node, flags, params, 1) < 0) {
        std::fprintf(stderr, "screencast_grab: cannot connect to node %u\n", node);
        return 1;
    }
    pw_main_loop_run(g.loop);
    pw_stream_destroy(g.stream);
    pw_loop_destroy_source(loop, timer);
    pw_main_loop_destroy(g.loop);
    pw_deinit();
    return g.status;
}
