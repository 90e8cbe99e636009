#include "platform/TimerResolution.h"

#include <algorithm>
#include <vector>

#include <sys/prctl.h>

namespace platform {
namespace {
constexpr std::uint32_t kPeriodMin = 1;
constexpr std::uint32_t kPeriodMax = 1000000;
// 0 would mean "back to the default", so the finest slack is 1 ns.
constexpr unsigned long kFinestSlackNs = 1;

// This thread's raises still in force, and its slack from before the first.
thread_local std::vector<std::uint32_t> t_raisedPeriods;
thread_local unsigned long t_slackBeforeNs = 0;
} // namespace

std::uint32_t timerCapabilities(TimerCapabilities& caps) {
    caps.periodMin = kPeriodMin;
    caps.periodMax = kPeriodMax;
    return kTimerNoError;
}

std::uint32_t beginTimerPeriod(std::uint32_t periodMs) {
    if (periodMs < kPeriodMin || periodMs > kPeriodMax)
        return kTimerCannotDo;
    if (t_raisedPeriods.empty()) {
        const int current = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
        if (current < 0 || prctl(PR_SET_TIMERSLACK, kFinestSlackNs, 0, 0, 0) != 0)
            return kTimerCannotDo;
        t_slackBeforeNs = static_cast<unsigned long>(current);
    }
    t_raisedPeriods.push_back(periodMs);
    return kTimerNoError;
}

std::uint32_t endTimerPeriod(std::uint32_t periodMs) {
    auto it = std::find(t_raisedPeriods.rbegin(), t_raisedPeriods.rend(), periodMs);
    if (it == t_raisedPeriods.rend())
        return kTimerCannotDo;
    t_raisedPeriods.erase(std::next(it).base());
    if (t_raisedPeriods.empty())
        prctl(PR_SET_TIMERSLACK, t_slackBeforeNs, 0, 0, 0);
    return kTimerNoError;
}

} // namespace platform
