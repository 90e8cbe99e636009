// The animation timer: its period, its requests, its texts and its workers'
// lives, with real worker threads under a QCoreApplication.
#include "TimerFixture.h"

#include "platform/Clock.h"
#include "platform/Palette.h"
#include "platform/Threads.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <regex>
#include <thread>

namespace tr = textrecorder;

// ---- the period -----------------------------------------------------------

struct PeriodCase {
    std::uint32_t interval;
    int handlerMs;
};

class PeriodTest : public TimerFixture, public ::testing::WithParamInterface<PeriodCase> {
protected:
    void onTick() override {
        TimerFixture::onTick();
        std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().handlerMs));
        handlerEnds.push_back(Clock::now());
    }
    std::vector<Clock::time_point> handlerEnds;
};

TEST_P(PeriodTest, NextTickIsDueAnIntervalAfterThePreviousBeganWithoutBacklog) {
    const PeriodCase c = GetParam();
    TAnimTimer* timer = makeTimer(c.interval);
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(64, 10000));
    timer->SetEnabled(false);
    // Each period is the interval, or the handler's own time where that is
    // longer: the time a handler really took (a sleep on a busy machine takes
    // longer than asked), not what it asked for. A loaded machine also stalls
    // a thread now and then; such stalls are the machine's, not the timer's,
    // so the mean excess is taken without the tenth of the periods at either
    // end, and nine in ten single periods must be close. The millisecond clock
    // may bring a single tick up to a millisecond early.
    std::vector<double> excess;
    for (size_t i = 5; i < ticks.size(); ++i) {
        const double due = std::max(static_cast<double>(c.interval), ms(handlerEnds[i - 1] - ticks[i - 1]));
        excess.push_back(ms(ticks[i] - ticks[i - 1]) - due);
    }
    std::vector<double> sorted = excess;
    std::sort(sorted.begin(), sorted.end());
    const size_t cut = sorted.size() / 10;
    double sum = 0;
    for (size_t i = cut; i < sorted.size() - cut; ++i)
        sum += sorted[i];
    EXPECT_NEAR(sum / static_cast<double>(sorted.size() - 2 * cut), 0.0, 0.5);
    const auto close =
        std::count_if(excess.begin(), excess.end(), [](double e) { return e > -1.5 && e < 4.0; });
    EXPECT_GE(close * 10, static_cast<long>(excess.size()) * 9) << ::testing::PrintToString(excess);
}

INSTANTIATE_TEST_SUITE_P(Handlers, PeriodTest,
                         ::testing::Values(PeriodCase{10, 0}, PeriodCase{10, 6}, PeriodCase{10, 15},
                                           PeriodCase{25, 12}));

TEST_F(TimerFixture, ReservedIntervalsTickBackToBack) {
    // 0 yields between ticks, 4294967295 does not even yield: both tick
    // faster than any interval would. Taken as a plain delay, 4294967295
    // would give one tick.
    for (std::uint32_t interval : {0u, kTickAtOnce}) {
        SCOPED_TRACE(interval);
        ticks.clear();
        TAnimTimer* timer = makeTimer(interval);
        timer->SetEnabled(true);
        runLoopFor(300);
        timer->SetEnabled(false);
        EXPECT_GT(ticks.size(), 30u) << ::testing::PrintToString(tr::texts());
        delete timer;
    }
}

TEST_F(TimerFixture, IntervalStopValueMakesTheWorkerAskToBeDetached) {
    TAnimTimer* timer = makeTimer(kTickStop);
    timer->SetEnabled(true);
    const std::string n = threadName(timer);
    const std::string m = idOf(newestMiser());
    ASSERT_TRUE(
        runLoopUntil([&] { return tr::contains("ThreadMiser " + m + ": finished destructor"); }, 5000));
    // The request is posted before the worker says so: the two race.
    EXPECT_TRUE(tr::inOrder({
        "Timer AnimTimer1 SCR_HADENOUGH: closing down thread...",
        "Thread " + n + " has got a quit message.",
    }));
    EXPECT_TRUE(tr::inOrder({
        "Thread " + n + " has had enough and is waiting to quit.",
        "Thread " + n + " has got a quit message.",
        "Thread " + n + " is not last: it's miser still exists. Telling it to quit...",
        "Thread " + n + " coming to an end. Deleted thread-data. +++",
    }));
    EXPECT_TRUE(tr::inOrder({
        "Thread miser " + m + " for thread " + n + " has been asked to quit. Freeing...",
        "Thread miser " + m + " for thread " + n + " entering its destructor.",
        "Thread miser " + m + " for thread " + n + " is last, after its thread.",
        "ThreadMiser " + m + ": waiting for its thread to terminate...",
        "ThreadMiser " + m + ": closed thread handle " + n + ". It is no more.",
    }));
    const auto all = tr::texts();
    EXPECT_EQ(std::count(all.begin(), all.end(), "Thread " + n + " has had enough and is waiting to quit."),
              1);
    // A miser freed at its thread's request leaves its timer alone.
    EXPECT_FALSE(tr::contains("ThreadMiser" + m + ": deleting the AnimTimer first."));
    EXPECT_EQ(form->ComponentCount(), 1);
    EXPECT_EQ(Application->ComponentCount(), 0);
    EXPECT_EQ(ticks.size(), 1u);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(timer->AttachedThread(), nullptr);
}

// ---- alerts and setters ---------------------------------------------------

TEST_F(TimerFixture, NewIntervalCutsTheWaitShortAndSetsTheDelayAfter) {
    TAnimTimer* timer = makeTimer(1000);
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(1));
    runLoopFor(100);
    ASSERT_EQ(ticks.size(), 1u);
    timer->SetInterval(1000); // the same value: no alert, the wait goes on
    runLoopFor(100);
    ASSERT_EQ(ticks.size(), 1u);
    const auto changed = Clock::now();
    timer->SetInterval(50);
    ASSERT_TRUE(waitForTicks(3));
    EXPECT_LT(ms(ticks[1] - changed), 10.0);
    EXPECT_NEAR(ms(ticks[2] - ticks[1]), 50.0, 5.0);
}

TEST_F(TimerFixture, AnAlertWhileTheWorkerIsNotWaitingEndsItsNextWait) {
    TAnimTimer* timer = nullptr;
    timer = new TAnimTimer(form);
    timer->SetName("AnimTimer1");
    timer->SetEnabled(false);
    timer->SetInterval(1000);
    timer->SetOnTimer([&](TComponent* sender) {
        EXPECT_EQ(sender, timer);
        ticks.push_back(Clock::now());
        if (ticks.size() == 1)
            timer->Alert(); // the worker is blocked in this very tick
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(2));
    EXPECT_LT(ms(ticks[1] - ticks[0]), 10.0);
}

TEST_F(TimerFixture, SettersWithTheSameValueOrNoHandlerChangeNothing) {
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(1));
    TThreadData* running = timer->AttachedThread();
    tr::clear();
    timer->SetEnabled(true);
    EXPECT_EQ(timer->AttachedThread(), running);
    timer->Start();
    EXPECT_EQ(tr::texts(),
              std::vector<std::string>{"AnimTimer AnimTimer1 start: cannot start, because a timer "
                                       "already there."});
    EXPECT_EQ(timer->AttachedThread(), running);

    auto* idle = new TAnimTimer(form);
    idle->SetName("AnimTimer2");
    tr::clear();
    idle->SetEnabled(true); // already true: nothing
    idle->SetEnabled(false);
    idle->SetEnabled(true); // enabled without a handler: stops nothing, starts nothing
    idle->Stop();           // nothing attached: no text
    EXPECT_TRUE(tr::texts().empty());
    EXPECT_EQ(idle->AttachedThread(), nullptr);
}

TEST_F(TimerFixture, AssigningTheHandlerReplacesTheWorkerAndItsMiser) {
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(2));
    TThreadMiser* oldMiser = newestMiser();
    const std::string a = threadName(timer), m1 = idOf(oldMiser);
    EXPECT_EQ(platform::threadPriority(oldMiser->Thread()), platform::currentThreadPriority() - 1);
    tr::clear();
    timer->SetOnTimer(timer->OnTimer()); // the same handler again
    const std::string b = threadName(timer), m2 = idOf(newestMiser());
    ASSERT_NE(b, a);
    const std::vector<std::string> expected{
        "AnimTimer AnimTimer1 stop: destroying timer...",
        "AnimTimer AnimTimer1 stop: we have left thread " + a + " to its own devices. ***",
        "ThreadMiser " + m2 + " constructed. Not looking after anything yet.",
        "AnimTimer AnimTimer1 " + b + " has been created! ***",
    };
    std::vector<std::string> uiTexts; // the old and new workers report meanwhile
    for (const auto& t : tr::texts())
        if (t.rfind("Thread ", 0) != 0)
            uiTexts.push_back(t);
    ASSERT_GE(uiTexts.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(uiTexts.begin(), uiTexts.begin() + 4), expected);

    // The old miser frees itself at its worker's end; the timer ticks on.
    ASSERT_TRUE(
        runLoopUntil([&] { return tr::contains("ThreadMiser " + m1 + ": finished destructor"); }, 5000));
    EXPECT_TRUE(
        tr::contains("Thread miser " + m1 + " for thread " + a + " has been asked to quit. Freeing..."));
    EXPECT_EQ(Application->ComponentCount(), 1);
    EXPECT_EQ(threadName(timer), b);
    const size_t before = ticks.size();
    EXPECT_TRUE(waitForTicks(before + 3));
}

// ---- the idle wait ----------------------------------------------------------

TEST_F(TimerFixture, StopDuringTheIdleWaitEndsTheWorkerWithoutATick) {
    AnimTimer::AppIdle = false;
    platform::resetInputIdleForTesting(); // and no event loop runs below
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    const std::string n = threadName(timer);
    ASSERT_TRUE(tr::waitFor("Thread " + n + " reports that app is not yet idle. Waiting...", 5000));
    timer->SetEnabled(false);
    ASSERT_TRUE(tr::waitFor("Thread " + n + " coming to an end. Deleted thread-data. +++", 5000));
    EXPECT_TRUE(ticks.empty());
    EXPECT_FALSE(AnimTimer::AppIdle);
    EXPECT_FALSE(tr::contains("Thread " + n + " reports that app is now idle. Starting!"));
    EXPECT_TRUE(tr::contains("Thread " + n + " is not last: it's miser still exists. Telling it to quit..."));
}

TEST_F(TimerFixture, AUserInterfaceLoopThatOnlyPollsBecomesIdle) {
    // An embedding program may run the loop by polling: it never blocks.
    AnimTimer::AppIdle = false;
    platform::resetInputIdleForTesting();
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    const auto deadline = Clock::now() + std::chrono::milliseconds(200);
    while (ticks.empty() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_FALSE(ticks.empty()) << ::testing::PrintToString(tr::texts());
    EXPECT_TRUE(AnimTimer::AppIdle);
    timer->SetEnabled(false);
}

TEST_F(TimerFixture, OnlyTheFirstWorkerWaitsForTheApplicationToBeIdle) {
    AnimTimer::AppIdle = false;
    platform::resetInputIdleForTesting();
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    const std::string a = threadName(timer);
    ASSERT_TRUE(waitForTicks(1));
    EXPECT_TRUE(tr::contains("Thread " + a + " reports that app is now idle. Starting!"));
    EXPECT_TRUE(AnimTimer::AppIdle);
    timer->SetOnTimer(timer->OnTimer());
    const std::string b = threadName(timer);
    ASSERT_TRUE(waitForTicks(ticks.size() + 2));
    for (const auto& t : tr::texts())
        EXPECT_EQ(t.find("Thread " + b + " reports"), std::string::npos) << t;
}

TEST_F(TimerFixture, AnIdleWaitFailureDetachesTheWorkerBeforeItEnds) {
    AnimTimer::AppIdle = false;
    platform::failInputIdleForTesting(EACCES);
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    const std::string n = threadName(timer);
    ASSERT_TRUE(runLoopUntil(
        [&] { return tr::contains("Thread " + n + " coming to an end. Deleted thread-data. +++"); }, 5000));
    EXPECT_TRUE(tr::inOrder({
        "ERR - Thread " + n +
            " reports an error 'Permission denied' waiting for our application to become idle. Terminating.",
        "Timer AnimTimer1 SCR_HADENOUGH: closing down thread...",
        "Thread " + n + " has got a quit message.",
        "Thread " + n + " is not last: it's miser still exists. Telling it to quit...",
    }));
    EXPECT_TRUE(ticks.empty());
    EXPECT_EQ(timer->AttachedThread(), nullptr); // never left pointing at the freed record
    EXPECT_TRUE(timer->Enabled());
    timer->Alert();
    timer->Stop();

    platform::failInputIdleForTesting(0);
    timer->SetOnTimer(timer->OnTimer());
    EXPECT_TRUE(waitForTicks(2));
}

// ---- failures and requests ----------------------------------------------------

TEST_F(TimerFixture, AWorkerThatCannotBeCreatedLeavesTheTimerDetached) {
    TAnimTimer* timer = makeTimer();
    platform::failNextThreadCreationForTesting(EAGAIN);
    timer->SetEnabled(true);
    EXPECT_TRUE(
        tr::contains("ERR - AnimTimer AnimTimer1 start: cannot start, because the thread could not be "
                     "created: 'Resource temporarily unavailable'."));
    EXPECT_EQ(timer->AttachedThread(), nullptr);
    EXPECT_EQ(Application->ComponentCount(), 0);
    EXPECT_EQ(form->ComponentCount(), 1);
    timer->SetOnTimer(timer->OnTimer());
    EXPECT_TRUE(waitForTicks(2));
}

TEST_F(TimerFixture, HadEnoughIsHonouredOnlyFromTheAttachedThread) {
    TAnimTimer* timer = makeTimer();
    auto request = [&](std::uint32_t sender) {
        TMessage m;
        m.Msg = WM_APP;
        m.WParam = SCR_HADENOUGH;
        m.LParam = static_cast<std::intptr_t>(sender);
        timer->InternalWndProc(m);
        return m.Result;
    };
    const std::string closing = "Timer AnimTimer1 SCR_HADENOUGH: closing down thread...";
    const std::string disappeared =
        "ERR - Timer AnimTimer1 SCR_HADENOUGH: strangely, the timer had disappeared!";

    EXPECT_EQ(request(12345), 0);
    EXPECT_EQ(tr::texts(), (std::vector<std::string>{closing, disappeared}));

    timer->SetEnabled(true);
    TThreadData* attached = timer->AttachedThread();
    ASSERT_TRUE(tr::waitFor("Thread func " + attached->ThreadName + " starting. +++", 5000));
    tr::clear();
    request(attached->ThreadId + 1000); // stale: from a thread long replaced
    EXPECT_EQ(tr::texts(), (std::vector<std::string>{closing, disappeared}));
    EXPECT_EQ(timer->AttachedThread(), attached);
    ASSERT_TRUE(waitForTicks(2));

    tr::clear();
    request(attached->ThreadId);
    EXPECT_EQ(tr::texts().at(0), closing);
    EXPECT_EQ(timer->AttachedThread(), nullptr);
    EXPECT_TRUE(timer->Enabled());
}

TEST_F(TimerFixture, ATickRunsTheHandlerOnlyWhileAThreadIsAttached) {
    TAnimTimer* timer = makeTimer(37);
    TMessage tick;
    tick.Msg = WM_APP;
    tick.WParam = SCR_TICK;
    timer->InternalWndProc(tick); // sent by a thread detached meanwhile
    EXPECT_EQ(tick.Result, 37);
    EXPECT_TRUE(ticks.empty());

    timer->SetEnabled(true); // a newer thread is attached when the old tick arrives
    const size_t before = ticks.size();
    tick.Result = 0;
    timer->InternalWndProc(tick);
    EXPECT_EQ(tick.Result, 37);
    EXPECT_EQ(ticks.size(), before + 1);

    for (std::uintptr_t other : {std::uintptr_t{0}, std::uintptr_t{4}}) {
        TMessage m;
        m.Msg = WM_APP;
        m.WParam = other;
        m.Result = 99;
        timer->InternalWndProc(m);
        EXPECT_EQ(m.Result, 0);
    }
}

TEST_F(TimerFixture, DesignModeTimersReportAndNeverStart) {
    form->SetDesigning(true);
    auto* timer = new TAnimTimer(form);
    timer->SetName("AnimTimer1");
    EXPECT_EQ(timer->WindowHandle(), 0u);
    struct Row {
        std::function<void()> act;
        std::vector<std::string> texts;
    };
    const std::vector<Row> rows{
        {[&] { timer->SetInterval(20); },
         {"ERR - AnimTimer AnimTimer1 alert: but cannot alert hwnd, since no hwnd!"}},
        {[&] { timer->SetInterval(20); }, {}},
        {[&] { timer->SetEnabled(false); }, {}},
        {[&] { timer->SetOnTimer([](TComponent*) {}); }, {}},
        {[&] { timer->SetEnabled(true); }, {}},
        {[&] { timer->Start(); }, {"AnimTimer AnimTimer1 start: cannot start, because no hwnd."}},
        {[&] { timer->Stop(); }, {"ERR - AnimTimer AnimTimer1 stop: but hwnd is null!"}},
        {[&] { timer->Alert(); },
         {"ERR - AnimTimer AnimTimer1 alert: but cannot alert hwnd, since no hwnd!"}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        tr::clear();
        rows[i].act();
        EXPECT_EQ(tr::texts(), rows[i].texts) << "row " << i;
    }
    EXPECT_EQ(Application->ComponentCount(), 0);
}

// ---- the application's end ------------------------------------------------------

TEST_F(TimerFixture, ApplicationEndDestroysTheMiserFirstWhichEndsTheTimerAndWaits) {
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(3));
    const std::string n = threadName(timer), m = idOf(newestMiser());
    tr::clear();
    delete Application;
    EXPECT_EQ(Application, nullptr);
    EXPECT_EQ(form->ComponentCount(), 0); // the timer went with the miser
    EXPECT_TRUE(tr::inOrder({
        "Thread miser " + m + " for thread " + n + " entering its destructor.",
        "Thread miser " + m + " is not last. It's thread " + n + " will clear up last-struct.",
        "ThreadMiser" + m + ": deleting the AnimTimer first.",
        "AnimTimer AnimTimer1 stop: destroying timer...",
        "AnimTimer AnimTimer1 stop: we have left thread " + n + " to its own devices. ***",
        "ThreadMiser " + m + ": waiting for its thread to terminate...",
        "Thread " + n + " coming to an end. Deleted thread-data. +++",
        "ThreadMiser " + m + ": closed thread handle " + n + ". It is no more.",
        "ThreadMiser " + m + ": finished destructor",
    }));
    EXPECT_TRUE(tr::inOrder({
        "Thread " + n + " has got a quit message.",
        "Thread " + n + " is the last one; its miser has already quit.",
        "Thread " + n + " deleting its lastone.",
        "Thread " + n + " coming to an end. Deleted thread-data. +++",
    }));
    EXPECT_FALSE(tr::contains("ERR - ThreadMiser " + m + ": thread " + n + " hasn't terminated!"));
}

TEST_F(TimerFixture, ApplicationEndDoesNotWaitOutADetachedWorkerBlockedInATick) {
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(3));
    // The loop stops: the worker's next tick stays pending; then the timer is
    // stopped but stays alive, so its window outlives the miser's wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    const std::string n = threadName(timer), m = idOf(newestMiser());
    timer->SetEnabled(false);
    tr::clear();
    const auto start = std::chrono::steady_clock::now();
    delete Application;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(tr::contains("ThreadMiser " + m + ": closed thread handle " + n + ". It is no more."));
    EXPECT_FALSE(tr::contains("ERR - ThreadMiser " + m + ": thread " + n + " hasn't terminated!"));
}

TEST_F(TimerFixture, AMiserWhoseThreadEndedFirstIsLastAndLeavesTheTimer) {
    TAnimTimer* timer = makeTimer();
    timer->SetEnabled(true);
    ASSERT_TRUE(waitForTicks(1));
    TThreadMiser* miser = newestMiser();
    const std::string n = threadName(timer), m = idOf(miser);
    timer->SetEnabled(false);
    ASSERT_TRUE(tr::waitFor("Thread " + n + " coming to an end. Deleted thread-data. +++", 5000));
    // The worker's request is still queued; once the application is tearing
    // down, a request is ignored and the application frees the miser itself.
    Application->Destroying();
    TMessage request;
    request.Msg = WM_APP;
    miser->MiserWndProc(request);
    EXPECT_EQ(Application->ComponentCount(), 1);
    tr::clear();
    delete Application;
    EXPECT_EQ(tr::texts(), (std::vector<std::string>{
                               "Thread miser " + m + " for thread " + n + " entering its destructor.",
                               "Thread miser " + m + " for thread " + n + " is last, after its thread.",
                               "ThreadMiser " + m + ": waiting for its thread to terminate...",
                               "ThreadMiser " + m + ": closed thread handle " + n + ". It is no more.",
                               "ThreadMiser " + m + ": finished destructor",
                           }));
    EXPECT_EQ(form->ComponentCount(), 1);
}

// ---- the diagnostic hook --------------------------------------------------------

TEST_F(TimerFixture, ReportsAreStampedAndTheFirstSetsTheTimeBaseWithoutCallbacks) {
    tr::uninstall();
    AnimTimer::StartTick = 0;
    const std::uint32_t before = platform::tickCountMs();
    Report(0, "nobody listens");
    const std::uint32_t base = AnimTimer::StartTick.load();
    EXPECT_NE(base, 0u);
    EXPECT_LE(base - before, 1000u);

    tr::install();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Report(0, "plain");
    Report(1, "broken");
    const auto lines = tr::lines();
    ASSERT_EQ(lines.size(), 2u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0].full, match, std::regex(R"(at:(\d+) - plain)"))) << lines[0].full;
    EXPECT_GE(std::stoi(match[1]), 30);
    EXPECT_FALSE(lines[0].error);
    EXPECT_TRUE(std::regex_match(lines[1].full, std::regex(R"(ERR - at:\d+ - broken)"))) << lines[1].full;
    EXPECT_TRUE(lines[1].error);

    // A null callback switches its level off alone.
    static int errorCount;
    errorCount = 0;
    AnimTimer::SetMessageProc(
        nullptr, [](const char*, void* data) { ++*static_cast<int*>(data); }, &errorCount);
    Report(0, "dropped");
    Report(1, "counted");
    EXPECT_EQ(errorCount, 1);
}

TEST(AnimTimerPalette, RegisterOffersTheTimerOnTheTimersPage) {
    Register();
    Register(); // offered once however often registered
    EXPECT_EQ(PaletteComponents("Timers"), std::vector<std::string>{"TAnimTimer"});
}
