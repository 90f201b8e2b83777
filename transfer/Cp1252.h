#pragma once
// Model names and description files are 8-bit Windows-1252 text, as the transmitter and
// existing backups carry them; the window shows Unicode.

#include <string>

namespace vaultix::transfer {

// Windows-1252 bytes as UTF-8. The five codes Windows-1252 leaves undefined become U+FFFD.
std::string Cp1252ToUtf8(const std::string& Text);

} // namespace vaultix::transfer
