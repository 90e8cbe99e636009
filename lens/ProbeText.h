// The texts of the colour probe.
#pragma once

#include <cstdint>
#include <string>

// The identifier text of a colour value (red + 256·green + 65536·blue): the
// name of one of the sixteen basic colours ("clRed"), otherwise "$" and the
// value as eight upper-case hexadecimal digits ("$000080FF").
std::string ColourToIdent(std::int32_t colour);

// A readout caption: ProbeCaption("R = ", 255) == "R = 255".
std::string ProbeCaption(const char* prefix, int value);

// red + 256·green + 65536·blue
inline std::int32_t ColourValue(int red, int green, int blue) {
    return red + 256 * green + 65536 * blue;
}
