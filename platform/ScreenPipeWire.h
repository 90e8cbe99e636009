// The screen on a Wayland desktop: the frames of a PipeWire screencast of the
// primary monitor, and the pointer from their cursor metadata.
//
// The compositor sends a frame only when the monitor changes; between frames
// every capture reads the latest one, so the lens keeps its own pace. A
// stream that ends (PipeWire restarting, the compositor ending the cast) makes
// captures fail until a new session delivers frames again; the screen starts
// that session itself.
#pragma once

#include "platform/Screen.h"
#include "platform/Screencast.h"

#include <memory>

namespace platform {

class PipeWireScreen : public Screen {
public:
    // Opens the session and waits, running Qt's event loop, for its first
    // frame. Throws std::runtime_error, with a message for the user, when the
    // desktop has no screencast, the user refuses it or no frame comes.
    explicit PipeWireScreen(std::unique_ptr<ScreencastSession> session);
    ~PipeWireScreen() override;
    PipeWireScreen(const PipeWireScreen&) = delete;
    PipeWireScreen& operator=(const PipeWireScreen&) = delete;

    int width() const override;
    int height() const override;
    bool copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) override;
    bool cursorPos(TPoint& pos) const override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace platform
