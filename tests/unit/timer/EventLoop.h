// Runs the Qt event loop of the test's main thread until a condition holds.
#pragma once

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <functional>

// true when `done` came true within timeoutMs.
inline bool runLoopUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || std::chrono::steady_clock::now() >= deadline)
            loop.quit();
    });
    poll.start(1);
    if (!done())
        loop.exec();
    return done();
}

inline void runLoopFor(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    runLoopUntil([&] { return std::chrono::steady_clock::now() >= until; }, ms + 1000);
}
