#include "platform/Screen.h"

#include <utility>

namespace platform {

namespace {

std::unique_ptr<Screen>& screenSlot() {
    static std::unique_ptr<Screen> screen;
    return screen;
}

} // namespace

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
