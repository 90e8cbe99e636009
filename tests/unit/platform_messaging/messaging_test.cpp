// Hidden windows, thread queues, events, threads, timer slack, the input-idle
// wait: the platform pieces the animation timer stands on.
#include "platform/Clock.h"
#include "platform/HiddenWindow.h"
#include "platform/InputIdle.h"
#include "platform/Sync.h"
#include "platform/SystemError.h"
#include "platform/ThreadQueue.h"
#include "platform/Threads.h"
#include "platform/TimerResolution.h"

#include "../timer/EventLoop.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <sys/prctl.h>

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {
long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}
} // namespace

TEST(HiddenWindow, SendFromAnotherThreadRunsTheProcedureOnTheOwnerAndReturnsItsResult) {
    const auto ui = std::this_thread::get_id();
    std::atomic<bool> ranOnUi{false};
    WindowHandle w = allocateHiddenWindow([&](TMessage& m) {
        ranOnUi = std::this_thread::get_id() == ui;
        m.Result =
            static_cast<std::intptr_t>(m.Msg + m.WParam * 10 + static_cast<std::uintptr_t>(m.LParam) * 100);
    });
    auto reply = std::async(std::launch::async, [&] { return sendMessage(w, 1, 2, 3); });
    ASSERT_TRUE(runLoopUntil(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
    EXPECT_EQ(reply.get(), 321);
    EXPECT_TRUE(ranOnUi);
    // From the owner itself: a direct call.
    EXPECT_EQ(sendMessage(w, 4, 0, 0), 4);
    deallocateHiddenWindow(w);
}

TEST(HiddenWindow, SendsAreHandledInsidePlainProcessEventsToo) {
    WindowHandle w = allocateHiddenWindow([](TMessage& m) { m.Result = 99; });
    auto reply = std::async(std::launch::async, [&] { return sendMessage(w, 0, 0, 0); });
    const auto start = Clock::now();
    while (reply.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready && msSince(start) < 5000)
        QCoreApplication::processEvents();
    EXPECT_EQ(reply.get(), 99);
    deallocateHiddenWindow(w);
}

TEST(HiddenWindow, ADestroyedWindowAnswersZeroAtOnceAndReleasesWaitingSenders) {
    std::atomic<int> calls{0};
    WindowHandle w = allocateHiddenWindow([&](TMessage& m) {
        ++calls;
        m.Result = 5;
    });
    // The owner does not run its loop, so the send stays pending until the
    // window goes; then it must come back with 0, not hang.
    auto pending = std::async(std::launch::async, [&] { return sendMessage(w, 0, 0, 0); });
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    deallocateHiddenWindow(w);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 0);

    const auto start = Clock::now();
    auto late = std::async(std::launch::async, [&] { return sendMessage(w, 0, 0, 0); });
    ASSERT_EQ(late.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(late.get(), 0);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_FALSE(postMessage(w, 0, 0, 0));
    EXPECT_FALSE(isWindow(w));
    runLoopFor(20); // the wake-up that was posted for the released send finds nothing
    EXPECT_EQ(calls, 0);
}

TEST(HiddenWindow, AProcedureMayDestroyItsOwnWindow) {
    WindowHandle w = 0;
    w = allocateHiddenWindow([&](TMessage& m) {
        deallocateHiddenWindow(w);
        m.Result = 7;
    });
    auto reply = std::async(std::launch::async, [&] { return sendMessage(w, 0, 0, 0); });
    ASSERT_TRUE(runLoopUntil(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
    EXPECT_EQ(reply.get(), 7);
    EXPECT_FALSE(isWindow(w));
}

TEST(HiddenWindow, PostsArriveInOrderOnTheOwnerAndAreDroppedWithTheWindow) {
    std::vector<std::uintptr_t> seen;
    WindowHandle w = allocateHiddenWindow([&](TMessage& m) { seen.push_back(m.WParam); });
    std::thread poster([&] {
        for (std::uintptr_t i = 0; i < 100; ++i)
            EXPECT_TRUE(postMessage(w, 0, i, 0));
    });
    poster.join();
    EXPECT_TRUE(seen.empty()); // a post never runs the procedure in the poster's call
    ASSERT_TRUE(runLoopUntil([&] { return seen.size() == 100; }, 5000));
    for (std::uintptr_t i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);

    EXPECT_TRUE(postMessage(w, 0, 1000, 0));
    deallocateHiddenWindow(w);
    runLoopFor(20);
    EXPECT_EQ(seen.size(), 100u);
}

TEST(HiddenWindow, UserDataSlot) {
    int value = 0;
    WindowHandle w = allocateHiddenWindow([](TMessage&) {});
    EXPECT_EQ(windowUserData(w), nullptr);
    setWindowUserData(w, &value);
    EXPECT_EQ(windowUserData(w), &value);
    deallocateHiddenWindow(w);
    EXPECT_EQ(windowUserData(w), nullptr);
    WindowHandle next = allocateHiddenWindow([](TMessage&) {});
    EXPECT_NE(next, w); // handles are not reused
    deallocateHiddenWindow(next);
}

namespace {
struct QueueProbe {
    std::vector<QueuedMessage> taken;
    bool peekedEmpty = false;
    bool quitSeen = false;
};

std::uint32_t drainQueue(void* arg) {
    auto* probe = static_cast<QueueProbe*>(arg);
    QueuedMessage m;
    while (peekMessage(m))
        probe->taken.push_back(m);
    probe->peekedEmpty = !peekMessage(m);
    while (getMessage(m))
        probe->taken.push_back(m);
    probe->quitSeen = m.message == kQuitMessage;
    return 0;
}
} // namespace

TEST(ThreadQueue, ExistsFromCreationPeekRemovesAndGetEndsAtQuit) {
    QueueProbe probe;
    std::uint32_t id = 0;
    ThreadHandle t = createThread(&drainQueue, &probe, 256 * 1024, /*suspended=*/true, &id);
    ASSERT_NE(t, 0u);
    // Posted before the thread has run a single instruction of its own.
    EXPECT_TRUE(postThreadMessage(id, 0x400, 1, -1));
    EXPECT_TRUE(postThreadMessage(id, 0x401, 2, -2));
    ASSERT_TRUE(resumeThread(t));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(postThreadMessage(id, 0x402, 3, -3)); // taken by the blocking get
    EXPECT_TRUE(postThreadMessage(id, kQuitMessage, 0, 0));
    ASSERT_EQ(waitForThread(t, 5000), kWaitSignalled);
    EXPECT_TRUE(closeThreadHandle(t));
    ASSERT_EQ(probe.taken.size(), 3u);
    EXPECT_EQ(probe.taken[0].message, 0x400u);
    EXPECT_EQ(probe.taken[1].lParam, -2);
    EXPECT_EQ(probe.taken[2].wParam, 3u);
    EXPECT_TRUE(probe.peekedEmpty);
    EXPECT_TRUE(probe.quitSeen);
    // The queue went with its thread.
    EXPECT_FALSE(postThreadMessage(id, 0x400, 0, 0));
    EXPECT_EQ(lastError(), static_cast<std::uint32_t>(ESRCH));
}

namespace {
struct ThreadProbe {
    std::atomic<bool> ran{false};
    int priority = 0;
    std::size_t stackSize = 0;
    unsigned long slackRaised = 0, slackNested = 0, slackRestored = 0, slackBefore = 0;
    std::uint32_t unmatchedEnd = 0;
};

std::uint32_t probeThread(void* arg) {
    auto* p = static_cast<ThreadProbe*>(arg);
    p->priority = currentThreadPriority();
    pthread_attr_t attr;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstacksize(&attr, &p->stackSize);
    pthread_attr_destroy(&attr);

    p->slackBefore = static_cast<unsigned long>(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
    TimerCapabilities caps;
    timerCapabilities(caps);
    beginTimerPeriod(caps.periodMin);
    p->slackRaised = static_cast<unsigned long>(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
    beginTimerPeriod(caps.periodMin);
    endTimerPeriod(caps.periodMin);
    p->slackNested = static_cast<unsigned long>(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
    endTimerPeriod(caps.periodMin);
    p->slackRestored = static_cast<unsigned long>(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
    p->unmatchedEnd = endTimerPeriod(caps.periodMin);
    p->ran = true;
    return 0;
}
} // namespace

TEST(Threads, SuspendedUntilResumedWithStackSizeAndPriorityOneStepBelow) {
    ThreadProbe probe;
    const int mine = currentThreadPriority();
    ThreadHandle t = createThread(&probeThread, &probe, 256 * 1024, /*suspended=*/true, nullptr);
    ASSERT_NE(t, 0u);
    EXPECT_EQ(waitForThread(t, 50), kWaitTimeout);
    EXPECT_FALSE(probe.ran);
    ASSERT_TRUE(setThreadPriority(t, mine - 1));
    EXPECT_EQ(threadPriority(t), mine - 1);
    ASSERT_TRUE(resumeThread(t));
    ASSERT_EQ(waitForThread(t, 5000), kWaitSignalled);
    EXPECT_TRUE(closeThreadHandle(t));
    EXPECT_TRUE(probe.ran);
    EXPECT_EQ(probe.priority, mine - 1);
    // Sanitizers enlarge small stacks; what matters is that ours, not the
    // 8 MiB default, was asked for.
    EXPECT_GE(probe.stackSize, 256u * 1024u);
    EXPECT_LT(probe.stackSize, 4u * 1024u * 1024u);
    // Timer resolution on Linux: the thread's own timer slack, finest while
    // raised, and back to what it was after the last restore.
    EXPECT_EQ(probe.slackRaised, 1u);
    EXPECT_EQ(probe.slackNested, 1u);
    EXPECT_EQ(probe.slackRestored, probe.slackBefore);
    EXPECT_NE(probe.slackBefore, 1u);
    EXPECT_EQ(probe.unmatchedEnd, kTimerCannotDo);
    EXPECT_EQ(waitForThread(t, 0), kWaitFailed); // the handle is gone
}

TEST(Threads, CreationFailuresCarryTheSystemsReason) {
    // A 4096-byte stack is below what Linux lets a thread start with.
    ThreadProbe probe;
    EXPECT_EQ(createThread(&probeThread, &probe, 4096, true, nullptr), 0u);
    EXPECT_EQ(lastError(), static_cast<std::uint32_t>(EINVAL));
    failNextThreadCreationForTesting(EAGAIN);
    EXPECT_EQ(createThread(&probeThread, &probe, 256 * 1024, true, nullptr), 0u);
    EXPECT_EQ(systemErrorText(lastError()), "Resource temporarily unavailable");
    EXPECT_FALSE(probe.ran);
    EXPECT_EQ(systemErrorText(ENOENT), "No such file or directory");
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
    Event e;
    const auto start = Clock::now();
    EXPECT_EQ(e.wait(30), kWaitTimeout);
    EXPECT_GE(msSince(start), 30);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (e.wait(kInfinite) == kWaitSignalled)
                ++released;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.set();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(released, 3);
    EXPECT_EQ(e.wait(0), kWaitSignalled); // still set
    e.reset();
    EXPECT_EQ(e.wait(0), kWaitTimeout);

    // A set that races the waiter's going to sleep is never lost: a lost one
    // would hold its round for the whole second.
    Event go;
    std::atomic<bool> done{false};
    std::thread setter([&] {
        while (go.wait(kInfinite) == kWaitSignalled && !done) {
            go.reset();
            e.set();
        }
    });
    const auto rounds = Clock::now();
    for (int i = 0; i < 2000; ++i) {
        e.reset();
        go.set();
        ASSERT_EQ(e.wait(1000), kWaitSignalled);
    }
    EXPECT_LT(msSince(rounds), 1000);
    done = true;
    go.set();
    setter.join();
}

TEST(Clock, MillisecondClocksAdvanceWithTime) {
    const std::uint32_t t0 = timeMs(), c0 = tickCountMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint32_t dt = timeMs() - t0, dc = tickCountMs() - c0;
    EXPECT_GE(dt, 49u); // whole milliseconds: a truncation may cost one
    EXPECT_LT(dt, 1000u);
    EXPECT_GE(dc, 49u);
    EXPECT_LT(dc, 1000u);
}

TEST(InputIdle, TheFirstIdleMomentOfTheEventLoopEndsTheWait) {
    // Make sure the user-interface thread is watched (a window does that).
    deallocateHiddenWindow(allocateHiddenWindow([](TMessage&) {}));
    resetInputIdleForTesting();
    auto early = std::async(std::launch::async, [] { return waitForInputIdle(50); });
    EXPECT_EQ(early.get(), kWaitTimeout); // the loop has not run meanwhile

    auto waiting = std::async(std::launch::async, [] { return waitForInputIdle(5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    runLoopFor(20);
    EXPECT_EQ(waiting.get(), kWaitSignalled);
    EXPECT_EQ(waitForInputIdle(0), kWaitSignalled); // once idle, idle for good

    failInputIdleForTesting(EACCES);
    EXPECT_EQ(waitForInputIdle(100), kWaitFailed);
    EXPECT_EQ(lastError(), static_cast<std::uint32_t>(EACCES));
    failInputIdleForTesting(0);
}
