#pragma once
// The one buffer between the serial port and the backup files, shared by the transfer engine
// and the model list. Static, so that moving bytes never allocates.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vaultix::transfer {

inline constexpr std::size_t TransferBufferSize = 10240;

extern std::array<std::uint8_t, TransferBufferSize> TransferBuffer;

} // namespace vaultix::transfer
