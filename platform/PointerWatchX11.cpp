#include "platform/PointerWatchX11.h"

#include <xcb/record.h>
// xcb_poll_for_reply: a look at the stream of replies that does not block.
#include <xcb/xcbext.h>

namespace platform {

namespace {
// The reply categories of an enabled recording that matter here.
constexpr std::uint8_t kFromServer = 0;
constexpr std::uint8_t kEndOfData = 5;
} // namespace

PointerWatch::~PointerWatch() {
    stop();
}

bool PointerWatch::start(xcb_connection_t* control) {
    stop();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(control, &xcb_record_id);
    if (!ext || !ext->present)
        return false;
    XcbPtr<xcb_record_query_version_reply_t> version(xcb_record_query_version_reply(
        control, xcb_record_query_version(control, XCB_RECORD_MAJOR_VERSION, XCB_RECORD_MINOR_VERSION),
        nullptr));
    if (!version)
        return false;
    // Motion only: the keys and buttons of other clients are none of ours.
    xcb_record_range_t range{};
    range.device_events.first = XCB_MOTION_NOTIFY;
    range.device_events.last = XCB_MOTION_NOTIFY;
    const xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    const xcb_record_context_t context = xcb_generate_id(control);
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(
        control, xcb_record_create_context_checked(control, context, 0, 1, 1, &clients, &range)));
    if (error)
        return false;
    m_control = control;
    m_context = context;
    // The recording's replies stream in for as long as it runs: they need a
    // connection that sends nothing else.
    OwnedConnection data(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(data.get())) {
        stop();
        return false;
    }
    const xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(data.get(), context);
    xcb_generic_error_t* rawError = nullptr;
    // The first reply says that the recording runs: no motion after it is
    // missed.
    XcbPtr<xcb_record_enable_context_reply_t> first(
        xcb_record_enable_context_reply(data.get(), cookie, &rawError));
    error.reset(rawError);
    if (error || !first) {
        stop();
        return false;
    }
    m_data = std::move(data);
    m_sequence = cookie.sequence;
    return true;
}

bool PointerWatch::movedSinceLastLook() {
    if (!m_data)
        return true;
    bool moved = false;
    for (;;) {
        void* raw = nullptr;
        xcb_generic_error_t* rawError = nullptr;
        if (xcb_poll_for_reply(m_data.get(), m_sequence, &raw, &rawError) == 0)
            break;
        XcbPtr<xcb_record_enable_context_reply_t> reply(static_cast<xcb_record_enable_context_reply_t*>(raw));
        XcbPtr<xcb_generic_error_t> error(rawError);
        // No reply where one was due: the recording is over.
        if (error || !reply || reply->category == kEndOfData) {
            stop();
            return true;
        }
        if (reply->category == kFromServer && xcb_record_enable_context_data_length(reply.get()) > 0)
            moved = true;
    }
    if (xcb_connection_has_error(m_data.get()) != 0) {
        stop();
        return true;
    }
    return moved;
}

void PointerWatch::stop() {
    // The server ends the recording when its connection goes; the context
    // belongs to the control connection and goes with a request there.
    m_data.reset();
    if (m_control && m_context != 0 && xcb_connection_has_error(m_control) == 0) {
        xcb_record_free_context(m_control, m_context);
        xcb_flush(m_control);
    }
    m_control = nullptr;
    m_context = 0;
    m_sequence = 0;
}

} // namespace platform
