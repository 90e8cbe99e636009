// The real screen on X11: the root window of the running display.
//
// Captures go through an MIT-SHM segment (xcb-shm) when the server offers it
// and its pixels are 32-bit BGRX, otherwise through Qt's grabWindow. Both
// clip the source to the root window first, so destination pixels whose
// source lies off the screen stay untouched.
#pragma once

#include "platform/Screen.h"

#include <memory>

namespace platform {

class X11Screen : public Screen {
public:
    // Application: follows the QGuiApplication when it is an xcb one (its
    // screen's size; unusable once it is gone), the requests on a connection
    // of our own to the same display (the application's if that cannot be
    // opened); without one, like Own. Own: always our own, root-window sizes.
    enum class Connection { Application, Own };
    // Auto: shared memory where it works, else Qt. The others force one path
    // (a forced path that does not work makes every capture fail).
    enum class Capture { Auto, SharedMemory, Qt };

    explicit X11Screen(Connection connection = Connection::Application, Capture capture = Capture::Auto);
    ~X11Screen() override;
    X11Screen(const X11Screen&) = delete;
    X11Screen& operator=(const X11Screen&) = delete;

    int width() const override;
    int height() const override;
    bool copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) override;
    // Through X Damage reports on the root window, where the captures go
    // through shared memory on a connection of our own.
    bool unchangedSinceCopy(const TRect& source) override;
    bool cursorPos(TPoint& pos) const override;

    bool hasConnection() const;   // an X connection is open and healthy
    bool hasSharedMemory() const; // the MIT-SHM path is set up and works

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace platform
