#pragma once
// Model names and description files are 8-bit Windows-1252 text, as the transmitter and
// existing backups carry them; the window shows Unicode.

#include <string>

namespace vaultix::transfer {

// Windows-1252 bytes as UTF-8. The five codes Windows-1252 leaves undefined become the C1
// controls of the same number, so that Utf8ToCp1252 gives the bytes back.
std::string Cp1252ToUtf8(const std::string& Text);

// Windows-1252 bytes (a model name, a model number) as UTF-8 fit to print or show: control
// characters escaped.
std::string ShownCp1252(const std::string& Text);

} // namespace vaultix::transfer
