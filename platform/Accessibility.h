// What a screen reader hears of our own controls: Qt names most of them from
// their texts; the track bar also speaks its positions as the values they
// stand for, in its description too, which reaches AT-SPI where the value's
// text does not. A disabled control refuses what a screen reader asks of it
// (Qt's own interfaces for buttons and boxes do; ours for the track bar too).
// Dialogs read as dialogs, by the names the user knows them by.
#pragma once

#include <QString>

class QWidget;

namespace platform {

// Installs the accessibility factory for our controls and guards the AT-SPI
// bridge (AtSpiGuard.h); call once, after the application object exists.
void InstallAccessibility();

// Makes a window read as a dialog called `name`, modal while it is shown modally.
void ExposeAsDialog(QWidget* window, const QString& name);

} // namespace platform
