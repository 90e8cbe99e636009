#include "lens/ProbeText.h"

#include <cstdio>

namespace {

struct NamedColour {
    std::int32_t value;
    const char* name;
};

constexpr NamedColour NamedColours[] = {
    {0x000000, "clBlack"},  {0x000080, "clMaroon"},  {0x008000, "clGreen"}, {0x008080, "clOlive"},
    {0x800000, "clNavy"},   {0x800080, "clPurple"},  {0x808000, "clTeal"},  {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"}, {0x0000FF, "clRed"},     {0x00FF00, "clLime"},  {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},   {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},  {0xFFFFFF, "clWhite"},
};

} // namespace

std::string ColourToIdent(std::int32_t colour) {
    for (const NamedColour& c : NamedColours) {
        if (c.value == colour)
            return c.name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "$%.8X", static_cast<unsigned>(static_cast<std::uint32_t>(colour)));
    return text;
}

std::string ProbeCaption(const char* prefix, int value) {
    return std::string(prefix) + std::to_string(value);
}
