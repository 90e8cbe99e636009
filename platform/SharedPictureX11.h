// A 32-bit picture in memory the X server shares, put into a window in one
// request. Qt's own painting of a shaped window goes through its backing
// store and reaches the server as one put per band of the shape; a picture
// that changes every frame is cheaper for both sides this way, the window's
// shape clipping what shows.
#pragma once

#include <QImage>
#include <QRect>
#include <QVector>

#include <cstdint>
#include <memory>

namespace platform {

class SharedPictureX11 {
public:
    // Null where the program does not run on X11, the server is remote or
    // lacks MIT-SHM, or `window`'s pixels are not 32-bit BGRX words.
    static std::unique_ptr<SharedPictureX11> open(std::uint32_t window);
    ~SharedPictureX11();
    SharedPictureX11(const SharedPictureX11&) = delete;
    SharedPictureX11& operator=(const SharedPictureX11&) = delete;

    // A black picture of this size over the shared memory (RGB32); null if
    // the memory cannot be had. Valid until the next call.
    QImage create(int width, int height);
    // Whether `picture` still lies in the shared memory.
    bool holds(const QImage& picture) const;
    // Blocks until the server has read what the last put sent, so that the
    // picture can be drawn on again.
    void waitForServer();
    // Puts these parts of the picture (in its own coordinates) into the
    // window with the picture's top-left at `origin`. False when the
    // connection has failed.
    bool put(const QPoint& origin, const QVector<QRect>& parts);
    // Blocks until the server has handled what Qt sent before: an expose
    // makes Qt flush its own, older copy of the picture, which a put must
    // follow, not precede.
    static void waitForQt();

private:
    struct Impl;
    explicit SharedPictureX11(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};

} // namespace platform
