#pragma once
// The "Ports" section of the settings file: "COM3=/dev/ttyUSB1" pins COM3 to that device in the
// port map, for the window and the command line alike.

#include "platform/ProfileFile.h"

namespace vaultix::platform {

inline constexpr char PortsSection[] = "Ports";

// Pins every COM port the section names to its device; empty entries pin nothing.
void ReadPortOverrides(const TProfileFile& Settings);

} // namespace vaultix::platform
