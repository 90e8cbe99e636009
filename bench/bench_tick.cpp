// The animation timer at its default interval of 10 ms: the period it
// delivers to the handler over 2000 ticks, and the CPU time that ticking with
// an empty handler costs. For comparison, how late a plain 10 ms event wait
// wakes with the default timer slack and with the finest one.
#include "animtimer/Animtimer.h"
#include "platform/Application.h"
#include "platform/Sync.h"
#include "platform/TimerResolution.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kTicks = 2000;
constexpr double kIntervalMs = 10.0;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto toMs = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return toMs(u.ru_utime) + toMs(u.ru_stime);
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

// Mean lateness of `count` waits of 10 ms on an event nobody sets.
double eventWaitLatenessMs(bool finestSlack, int count) {
    if (finestSlack)
        platform::beginTimerPeriod(1);
    platform::Event never;
    double late = 0;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        never.wait(10);
        late += ms(Clock::now() - t0) - 10.0;
    }
    if (finestSlack)
        platform::endTimerPeriod(1);
    return late / count;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Application = new TApplication;
    auto* form = new TComponent(nullptr);

    std::vector<Clock::time_point> ticks;
    ticks.reserve(kTicks + 1);
    QEventLoop loop;
    auto* timer = new TAnimTimer(form);
    timer->SetName("AnimTimer1");
    timer->SetEnabled(false);
    timer->SetOnTimer([&](TComponent*) {
        ticks.push_back(Clock::now());
        if (ticks.size() == kTicks + 1)
            loop.quit();
    });
    const double cpu0 = cpuMs();
    const auto wall0 = Clock::now();
    timer->SetEnabled(true);
    loop.exec();
    timer->SetEnabled(false);
    const double cpu = cpuMs() - cpu0;
    const double wall = ms(Clock::now() - wall0);

    std::vector<double> periods, deviations;
    for (size_t i = 1; i < ticks.size(); ++i) {
        periods.push_back(ms(ticks[i] - ticks[i - 1]));
        deviations.push_back(std::fabs(periods.back() - kIntervalMs));
    }
    const double mean = ms(ticks.back() - ticks.front()) / static_cast<double>(periods.size());
    std::printf("bench_tick: AnimTimer at Interval 10 ms, %zu periods\n", periods.size());
    std::printf("  mean period        %8.4f ms\n", mean);
    std::printf("  p50 period         %8.4f ms\n", percentile(periods, 0.50));
    std::printf("  p99 |deviation|    %8.4f ms\n", percentile(deviations, 0.99));
    std::printf("  max |deviation|    %8.4f ms\n", *std::max_element(deviations.begin(), deviations.end()));
    std::printf("  CPU (all threads)  %8.4f ms per tick, %.3f %% of one core\n", cpu / periods.size(),
                100.0 * cpu / wall);

    const double plain = eventWaitLatenessMs(false, 200);
    const double finest = eventWaitLatenessMs(true, 200);
    std::printf("  10 ms event wait wakes late by %.4f ms (default slack), %.4f ms (finest slack)\n", plain,
                finest);

    delete Application;
    delete form;
    return 0;
}
