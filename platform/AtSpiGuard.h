// Qt 6.4's AT-SPI bridge answers screen readers on the accessibility bus, and
// reads the arguments of every call by position without looking whether they
// are there: a GetAll of all properties, or any call short of an argument,
// makes it read past the end of the argument list and the program dies.
// The guard stands in front of the bridge on the bus and lets through only
// the calls each object declares, with the arguments they declare.
#pragma once

namespace platform {

// Puts the guard in front of the bridge whenever accessibility comes on;
// call once, after the application object exists and before its event loop.
void GuardAtSpiBridge();

} // namespace platform
