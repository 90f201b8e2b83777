#pragma once
// Opening the port component on a COM number, and when that fails, the diagnosis record that
// says why: the window and the command line both open their port through here.

#include "platform/PortDiagnosis.h"
#include "serial/ComPort.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vaultix::serial {

// Opens Port on COM Number (0: the port asks the user for one). Nothing when it opened;
// otherwise why not, naming the port Name ("COM3", or the device path the user gave; empty:
// "COMn" of the number the port ended up with).
std::optional<platform::TPortDiagnosis> OpenComPort(TOxComPort& Port, std::uint16_t Number,
                                                    const std::string& Name = {});

} // namespace vaultix::serial
