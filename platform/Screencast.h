// A screencast of the primary monitor, as a Wayland desktop hands one out:
// the desktop portal (org.freedesktop.portal.ScreenCast), which asks the
// user, or GNOME's own org.gnome.Mutter.ScreenCast, which does not and which
// the tests drive. Either ends in a PipeWire node that carries the frames,
// with the pointer as cursor metadata.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

struct ScreencastStream {
    int pipeWireFd = -1;    // a remote of the portal's; -1: the session's own PipeWire daemon
    std::uint32_t node = 0; // the PipeWire node with the monitor's frames
    TRect area;             // the monitor in desktop coordinates (logical pixels)
};

class ScreencastSession {
public:
    using Opened = std::function<void(const ScreencastStream&)>;
    using Failed = std::function<void(const std::string& message)>;

    virtual ~ScreencastSession() = default;

    // Starts a session; later, from Qt's event loop, exactly one of the two
    // runs. The stream's file descriptor then belongs to the caller. A
    // message names what is missing or what the user refused.
    virtual void open(Opened opened, Failed failed) = 0;
    // Ends the session (the compositor stops the stream).
    virtual void close() = 0;
    // Runs, from Qt's event loop, when the compositor ends an open session.
    std::function<void()> closed;
};

enum class ScreencastService { Portal, Mutter };

// The portal, unless the test harness asks for mutter's own interface
// (VISTREL_SCREENCAST=mutter).
ScreencastService ScreencastServiceFromEnvironment();

std::unique_ptr<ScreencastSession> CreateScreencastSession(ScreencastService service);

} // namespace platform
