// The diagnostic hook: every step of the timers', workers' and misers' lives
// as a stamped text line, for whoever installs the callbacks.
#include "animtimer/Animtimer.h"

#include "platform/Clock.h"
#include "platform/Palette.h"

#include <mutex>

namespace AnimTimer {
std::atomic<std::uint32_t> StartTick{0};
std::atomic<bool> AppIdle{false};
} // namespace AnimTimer

namespace {
// Reports come from every thread while the callbacks may be replaced; the
// lock covers only the copy, never a callback's run, so that a callback that
// blocks holds up no other thread's report.
std::mutex g_procMutex;
TMessageProc NormalProc = nullptr;
TMessageProc ErrorProc = nullptr;
void* ProcData = nullptr;
} // namespace

void AnimTimer::SetMessageProc(TMessageProc normal, TMessageProc error, void* data) {
    std::lock_guard<std::mutex> lock(g_procMutex);
    NormalProc = normal;
    ErrorProc = error;
    ProcData = data;
}

void Report(int level, const std::string& text) {
    std::uint32_t unset = 0;
    if (AnimTimer::StartTick.load() == 0)
        AnimTimer::StartTick.compare_exchange_strong(unset, platform::tickCountMs());
    TMessageProc proc;
    void* data;
    {
        std::lock_guard<std::mutex> lock(g_procMutex);
        proc = level == 1 ? ErrorProc : NormalProc;
        data = ProcData;
    }
    if (!proc)
        return;
    const auto elapsed = static_cast<std::int32_t>(platform::tickCountMs() - AnimTimer::StartTick.load());
    std::string line = "at:" + std::to_string(elapsed) + " - " + text;
    if (level == 1)
        line = "ERR - " + line;
    proc(line.c_str(), data);
}

void Register() {
    RegisterComponents("Timers", {"TAnimTimer"});
}
