#pragma once
// Translation between the line settings record and the kernel's terminal record.

#include "platform/SerialTypes.h"
#include "platform/Termios2.h"

namespace vaultix::platform {

// Writes Settings into Termios as a raw line: no line editing, echo, signals, character mapping
// or output processing; reads return at once with what is waiting (VMIN = VTIME = 0). Fields
// termios cannot express (DTR/RTS control modes, DSR flow, the parity-check switch, XON/XOFF
// limits) are left out.
// Returns 0, or EINVAL for a baud rate of 0 or a byte size, parity or stop-bit code out of range.
int EncodeSettings(const TDeviceSettings& Settings, TKernelTermios& Termios);

// Bits one character occupies on the line (start, data, parity, stop), for pacing estimates.
unsigned BitsPerCharacter(const TDeviceSettings& Settings);

} // namespace vaultix::platform
