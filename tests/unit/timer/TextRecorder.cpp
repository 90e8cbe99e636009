#include "TextRecorder.h"

#include "animtimer/Animtimer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <regex>

namespace textrecorder {
namespace {
std::mutex g_mutex;
std::condition_variable g_cond;
std::vector<Line> g_lines;
std::atomic<void (*)(const std::string&)> g_tap{nullptr};

void record(const char* raw, bool error) {
    static const std::regex stamp(R"(^(ERR - )?at:-?\d+ - )");
    const std::string full(raw);
    const std::string text = (error ? "ERR - " : "") + std::regex_replace(full, stamp, "");
    if (auto tap = g_tap.load())
        tap(text);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.push_back(Line{error, full, text});
    g_cond.notify_all();
}
void normal(const char* text, void*) {
    record(text, false);
}
void failure(const char* text, void*) {
    record(text, true);
}
} // namespace

void install() {
    clear();
    AnimTimer::SetMessageProc(&normal, &failure, nullptr);
}

void uninstall() {
    AnimTimer::SetMessageProc(nullptr, nullptr, nullptr);
}

void clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.clear();
}

std::vector<Line> lines() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lines;
}

std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (const auto& l : lines())
        out.push_back(l.text);
    return out;
}

bool contains(const std::string& text) {
    return indexOf(text) >= 0;
}

bool waitFor(const std::string& text, int timeoutMs) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const auto& l : g_lines)
            if (l.text == text)
                return true;
        return false;
    });
}

void setTap(void (*tap)(const std::string&)) {
    g_tap = tap;
}

int indexOf(const std::string& text, int from) {
    const auto all = texts();
    for (int i = from; i < static_cast<int>(all.size()); ++i)
        if (all[static_cast<size_t>(i)] == text)
            return i;
    return -1;
}

bool inOrder(const std::vector<std::string>& sequence) {
    int at = 0;
    for (const auto& s : sequence) {
        at = indexOf(s, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

} // namespace textrecorder
