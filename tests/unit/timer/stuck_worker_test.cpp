// A worker that does not end when the application ends (here: held inside an
// installed diagnostic callback) costs the shutdown 5 s, then it goes on.
#include "TimerFixture.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tr = textrecorder;

namespace {
std::mutex g_mutex;
std::condition_variable g_cond;
bool g_released = false;
std::thread::id g_ui;

// Holds the worker (never the user-interface thread) at its quit message.
void holdAtQuit(const std::string& text) {
    if (std::this_thread::get_id() == g_ui || text.find(" has got a quit message.") == std::string::npos)
        return;
    std::unique_lock<std::mutex> lock(g_mutex);
    g_cond.wait(lock, [] { return g_released; });
}
} // namespace

TEST_F(TimerFixture, AWorkerThatDoesNotEndIsLeftBehindAfterFiveSeconds) {
    g_ui = std::this_thread::get_id();
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(2));
    const std::string n = threadName(timer), m = idOf(newestMiser());
    tr::setTap(&holdAtQuit);

    const auto start = Clock::now();
    delete Application;
    const double took = ms(Clock::now() - start);
    EXPECT_GE(took, 4999.0);
    EXPECT_LT(took, 6000.0);
    EXPECT_TRUE(tr::inOrder({
        "ThreadMiser " + m + ": waiting for its thread to terminate...",
        "ERR - ThreadMiser " + m + ": thread " + n + " hasn't terminated!",
        "ThreadMiser " + m + ": closed thread handle " + n + ". It is no more.",
        "ThreadMiser " + m + ": finished destructor",
    }));
    EXPECT_FALSE(tr::contains("Thread " + n + " coming to an end. Deleted thread-data. +++"));
    EXPECT_EQ(form->ComponentCount(), 0);

    // Let it go: it finds its miser gone and frees what is left.
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_released = true;
    }
    g_cond.notify_all();
    ASSERT_TRUE(tr::waitFor("Thread " + n + " coming to an end. Deleted thread-data. +++", 5000));
    EXPECT_TRUE(tr::inOrder({
        "Thread " + n + " has got a quit message.",
        "Thread " + n + " is the last one; its miser has already quit.",
        "Thread " + n + " deleting its lastone.",
    }));
}
