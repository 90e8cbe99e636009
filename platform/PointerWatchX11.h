// Tells a still pointer from a moved one without a request to the X server:
// the server records every motion of the pointer (device motion, warps and
// synthetic motion alike) and streams it to a connection of our own, which a
// look reads without blocking. A still lens then costs the server nothing.
#pragma once

#include "platform/XcbShm.h"

#include <cstdint>

namespace platform {

class PointerWatch {
public:
    PointerWatch() = default;
    PointerWatch(const PointerWatch&) = delete;
    PointerWatch& operator=(const PointerWatch&) = delete;
    ~PointerWatch();

    // Starts the recording through `control`, which must outlive the watch;
    // false where the server records nothing for us (no RECORD extension,
    // or one that refuses).
    bool start(xcb_connection_t* control);
    // Whether the pointer may have moved since the last look: true for any
    // motion recorded meanwhile, and always once the recording has ended.
    bool movedSinceLastLook();

private:
    void stop();

    xcb_connection_t* m_control = nullptr;
    OwnedConnection m_data;
    std::uint32_t m_context = 0;
    unsigned int m_sequence = 0;
};

} // namespace platform
