#pragma once
// The way back from the window's Unicode text to the 8-bit Windows-1252 text of description
// files and model names.

#include <optional>
#include <string>
#include <string_view>

namespace vaultix::transfer {

// Utf8 as Windows-1252 bytes; nothing when Utf8 is not valid UTF-8 or holds a character that
// Windows-1252 has no code for. Of the C1 controls only the five that stand for its undefined
// codes (U+0081, U+008D, U+008F, U+0090, U+009D) have one: their own number.
std::optional<std::string> Utf8ToCp1252(std::string_view Utf8);

// Whether Text is well-formed UTF-8: shortest forms only, no surrogates, nothing above
// U+10FFFF.
bool IsValidUtf8(std::string_view Text);

} // namespace vaultix::transfer
