// The system font resolution: the dots per inch the desktop sets for text
// (on X11 the Xft.dpi resource, which Qt reports as the primary screen's
// logical DPI), and the form framework's scaling of layouts made for 96 dpi.
#pragma once

namespace platform {

// The resolution every window layout was made for.
constexpr int kLayoutFontResolution = 96;

// Read once from the primary screen; 96 without a screen or a setting.
int FontResolution();

// A layout value at the system font resolution: v · dpi / 96, rounded to the
// nearest integer with halves away from zero, as the form framework rounds.
int ScaledToFontResolution(int value);

// Overrides the resolution read from the screen; 0 reads it again on next use.
void SetFontResolutionForTesting(int dpi);

} // namespace platform
