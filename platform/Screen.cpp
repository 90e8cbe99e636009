#include "platform/Screen.h"

#include <QCursor>
#include <QGuiApplication>

#include <utility>

namespace platform {

namespace {

std::unique_ptr<Screen>& screenSlot() {
    static std::unique_ptr<Screen> screen;
    return screen;
}

} // namespace

bool QtCursorPos(TPoint& pos) {
    if (!qGuiApp)
        return false;
    const QPoint p = QCursor::pos();
    pos.x = p.x();
    pos.y = p.y();
    return true;
}

Screen& currentScreen() {
    std::unique_ptr<Screen>& screen = screenSlot();
    if (!screen)
        screen = createSystemScreen();
    return *screen;
}

std::unique_ptr<Screen> setCurrentScreen(std::unique_ptr<Screen> screen) {
    std::unique_ptr<Screen> previous = std::move(screenSlot());
    screenSlot() = std::move(screen);
    return previous;
}

} // namespace platform
