// The screen as the lens sees it: the primary display's size, the whole
// screen as a copy source, and the cursor. One interface, two kinds: the real
// X11 screen and an in-memory screen for tests.
#pragma once

#include "platform/Bitmap24.h"
#include "platform/Geometry.h"

#include <QImage>
#include <memory>

namespace platform {

class Screen {
public:
    virtual ~Screen() = default;

    // The primary display's size in pixels. The desktop, which the copies
    // read, may reach beyond it (onto other monitors).
    virtual int width() const = 0;
    virtual int height() const = 0;

    // Copies `source` (screen coordinates) onto `dst` with its top-left corner
    // at (dstX, dstY), pixel for pixel. Destination pixels whose source lies
    // off the screen, or outside `dst`, are left untouched. False when the
    // screen could not be read.
    virtual bool copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) = 0;

    // True when the screen can vouch that no pixel of `source` has changed
    // since the last copyTo succeeded, and that copy read this very
    // rectangle: a copy now would write what that one wrote. False whenever
    // it cannot tell.
    virtual bool unchangedSinceCopy(const TRect& source) {
        (void)source;
        return false;
    }

    // The cursor position in screen coordinates; false when it cannot be read.
    virtual bool cursorPos(TPoint& pos) const = 0;
};

// The screen the program uses. Until one is set, the system's own.
Screen& currentScreen();
// Replaces the screen (tests install a MemoryScreen); returns the previous one.
std::unique_ptr<Screen> setCurrentScreen(std::unique_ptr<Screen> screen);

// The pointer as Qt's platform sees it; false without a GUI application.
bool QtCursorPos(TPoint& pos);

// The real screen of the running display (X11 root window on Linux).
std::unique_ptr<Screen> createSystemScreen();

// An in-memory screen: a picture with a settable cursor, and a switch that
// makes captures fail, for tests. The picture is the whole desktop; the
// primary display is its top-left part of the given size (all of it by default).
class MemoryScreen : public Screen {
public:
    explicit MemoryScreen(QImage picture, QSize primary = {});

    int width() const override;
    int height() const override;
    bool copyTo(const TRect& source, Bitmap24& dst, int dstX, int dstY) override;
    bool cursorPos(TPoint& pos) const override;
    // Vouches only once asked to (trackChanges): a new picture or a failing
    // switch is a change.
    bool unchangedSinceCopy(const TRect& source) override;

    void setCursor(TPoint pos) { m_cursor = pos; }
    void setFailing(bool failing);
    void setPicture(QImage picture);
    void trackChanges(bool track);
    int captureCount() const { return m_captures; }

private:
    QImage m_picture; // Format_RGB32
    QSize m_primary;
    TPoint m_cursor;
    bool m_failing = false;
    int m_captures = 0;
    bool m_tracking = false;
    bool m_copied = false; // the picture is as the last copy, of m_copiedSource, read it
    TRect m_copiedSource;
};

} // namespace platform
