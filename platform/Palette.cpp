#include "platform/Palette.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {
std::mutex g_mutex;
std::map<std::string, std::vector<std::string>> g_pages;
} // namespace

void RegisterComponents(const std::string& page, const std::vector<std::string>& classNames) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& classes = g_pages[page];
    for (const auto& name : classNames)
        if (std::find(classes.begin(), classes.end(), name) == classes.end())
            classes.push_back(name);
}

std::vector<std::string> PaletteComponents(const std::string& page) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_pages.find(page);
    return it == g_pages.end() ? std::vector<std::string>{} : it->second;
}
