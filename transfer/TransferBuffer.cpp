#include "transfer/TransferBuffer.h"

namespace vaultix::transfer {

std::array<std::uint8_t, TransferBufferSize> TransferBuffer{};

} // namespace vaultix::transfer
