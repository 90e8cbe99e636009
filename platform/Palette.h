// The component palette a form designer offers: component classes by page.
#pragma once

#include <string>
#include <vector>

void RegisterComponents(const std::string& page, const std::vector<std::string>& classNames);
// The classes on a page, in the order they were registered; empty for an unknown page.
std::vector<std::string> PaletteComponents(const std::string& page);
