// Collects the animation timer's diagnostic texts from every thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace textrecorder {

struct Line {
    bool error;       // came through the error callback
    std::string full; // as delivered, stamp included
    std::string text; // without "at:N - " (and with "ERR - " kept in front of errors)
};

// Installs the callbacks and forgets what was collected.
void install();
void uninstall();
void clear();
std::vector<Line> lines();
std::vector<std::string> texts();
bool contains(const std::string& text);
// Blocks (without running any event loop) until a text equal to `text` has
// arrived; false after timeoutMs.
bool waitFor(const std::string& text, int timeoutMs);
// Called with each text on the reporting thread, before it is recorded.
void setTap(void (*tap)(const std::string& text));

// Index of the first text equal to `text` at or after `from`, or -1.
int indexOf(const std::string& text, int from = 0);
// true when every text of `sequence` occurs, in this order (others may come between).
bool inOrder(const std::vector<std::string>& sequence);

} // namespace textrecorder
