#pragma once
// Line settings for a serial device that the simulator drives directly (a USB adapter on a
// null-modem cable, or one end of a linked pseudo-terminal pair).

#include <cstdint>

namespace vaultix::simulator {

// Puts Fd in raw mode with 8 data bits, even parity, 2 stop bits and no flow control at Baud
// (any speed, 4000 included), discards pending input, and reads the speed back. Returns 0 or
// an errno value; EINVAL when the device did not take the speed.
int ConfigureDeviceLine(int Fd, std::uint32_t Baud);

} // namespace vaultix::simulator
