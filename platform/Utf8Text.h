#pragma once
// Walking UTF-8 text one code point at a time, for the few places that look at characters
// rather than bytes: escaping control characters and the Windows-1252 conversions.

#include <cstddef>
#include <string>
#include <string_view>

namespace vaultix::platform {

// Decodes the code point at Text[Pos] and moves Pos past it. False, with Pos unchanged, for a
// malformed sequence: overlong forms, surrogates and anything above U+10FFFF count as such.
bool NextCodePoint(std::string_view Text, std::size_t& Pos, char32_t& Point);

// Appends Point (at most U+10FFFF) to Text in UTF-8.
void AppendUtf8(std::string& Text, char32_t Point);

} // namespace vaultix::platform
