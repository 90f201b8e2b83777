#pragma once
// The serial port as the command line opens it: the same port component, port map and [Ports]
// overrides as the window, and, when the port does not open, why in words the user can act on.

#include "serial/ComPort.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vaultix::cli {

// Pins the COM ports that the settings file's [Ports] section names, as the window does.
void ApplyPortSettings();

// Sets Port up as the window sets up its own: the transmitter's line (8 data bits, even parity,
// 2 stop bits) at the speed of the type in row TxRow (or Baud for the test type), and the
// program's buffer sizes.
void ConfigurePort(serial::TOxComPort& Port, int TxRow, std::optional<std::uint32_t> Baud);

// Opens Port on Name, "COMn" (any letter case) or a device path. When it cannot open, raises
// ECliFailure with cePortOpen and the reason: no such device, which program holds it, or how to
// get the permission.
void OpenPort(serial::TOxComPort& Port, const std::string& Name);

} // namespace vaultix::cli
