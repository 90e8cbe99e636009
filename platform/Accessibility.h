// What a screen reader hears of our own controls: Qt names most of them from
// their texts; the track bar also speaks its positions as the values they
// stand for. A disabled control refuses what a screen reader asks of it (Qt's
// own interfaces for buttons and boxes do; ours for the track bar too).
#pragma once

namespace platform {

// Installs the accessibility factory for our controls; call once, after the
// application object exists.
void InstallAccessibility();

} // namespace platform
