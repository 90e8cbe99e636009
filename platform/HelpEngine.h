// The help engine. Help here is HTML: the named help file's ".html" sibling,
// looked up beside the executable and then in the installed data folder, is
// handed to the desktop's viewer through a launcher that tests replace.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

constexpr unsigned HELP_FINDER = 11;

// Starts the viewer on a file; true when it could be started.
using HelpLauncher = std::function<bool(const std::string& path)>;

// Maps a help file name as the program gives it ("Help\NAME.HLP") to the
// relative path of its HTML guide ("Help/NAME.html").
std::string HtmlHelpPath(const std::string& helpFile);

// Finds the guide: beside the executable, then in the data folder. Empty when absent.
std::string FindHelpFile(const std::string& helpFile);

// Opens the guide for `helpFile`; when it cannot be found, tells the user
// which file it looked for. False when nothing was opened.
bool OpenHelp(const std::string& helpFile, unsigned command, std::intptr_t data);

// Replaces the launcher; an empty one restores the default (the program named
// by $VISTREL_HELP_LAUNCHER, else xdg-open). Returns the previous one.
HelpLauncher SetHelpLauncher(HelpLauncher launcher);

} // namespace platform
