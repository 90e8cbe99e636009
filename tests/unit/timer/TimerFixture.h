// An application object, a form that owns the timers, and the recorded texts.
#pragma once

#include "EventLoop.h"
#include "TextRecorder.h"

#include "animtimer/Animtimer.h"
#include "platform/Application.h"
#include "platform/InputIdle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

class TimerFixture : public ::testing::Test {
protected:
    using Clock = std::chrono::steady_clock;

    void SetUp() override {
        AnimTimer::AppIdle = true; // most tests do not care for the first worker's idle wait
        platform::failInputIdleForTesting(0);
        Application = new TApplication;
        form = new TComponent(nullptr);
        form->SetName("Form1");
        textrecorder::install();
    }

    void TearDown() override {
        delete Application; // sees every worker to its end
        delete form;
        textrecorder::uninstall();
        textrecorder::setTap(nullptr);
        platform::failInputIdleForTesting(0);
    }

    // Made as the lens form makes AnimTimer1: named, disabled, then given its handler.
    TAnimTimer* makeTimer(std::uint32_t interval = 10) {
        auto* timer = new TAnimTimer(form);
        timer->SetName("AnimTimer1");
        timer->SetEnabled(false);
        timer->SetInterval(interval);
        timer->SetOnTimer([this](TComponent*) { onTick(); });
        return timer;
    }

    virtual void onTick() { ticks.push_back(Clock::now()); }

    bool waitForTicks(size_t n, int timeoutMs = 5000) {
        return runLoopUntil([&] { return ticks.size() >= n; }, timeoutMs);
    }

    static std::string threadName(TAnimTimer* timer) {
        TThreadData* data = timer->AttachedThread();
        return data ? data->ThreadName : std::string();
    }

    // The miser made by the latest Start, as the texts name it.
    static TThreadMiser* newestMiser() {
        for (int i = Application->ComponentCount() - 1; i >= 0; --i)
            if (auto* m = dynamic_cast<TThreadMiser*>(Application->Components(i)))
                return m;
        return nullptr;
    }
    static std::string idOf(const TThreadMiser* miser) {
        return std::to_string(static_cast<int>(reinterpret_cast<std::intptr_t>(miser)));
    }

    static double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

    TComponent* form = nullptr;
    std::vector<Clock::time_point> ticks;
};
