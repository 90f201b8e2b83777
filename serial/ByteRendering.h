#pragma once
// How the trace and the dispatch log show one byte: printable bytes as themselves, the others
// in brackets, in decimal or hexadecimal.

#include <cstdint>
#include <string_view>

namespace vaultix::serial {

struct TRenderedByte {
    char Text[6] = {}; // the longest text is "[255]"
    std::uint8_t Width = 0;

    std::string_view View() const { return {Text, Width}; }
};

// AllHex: every byte as "[XX]". Otherwise printable bytes (0x20..0x7E, from 0x21 when InHex so
// that a blank stays visible) as the character, the others as "[XX]" when InHex, else as
// "[decimal]".
TRenderedByte RenderByte(std::uint8_t Byte, bool InHex, bool AllHex);

// The byte as its own character, width 1, whatever its value.
TRenderedByte RenderByteAsChar(std::uint8_t Byte);

} // namespace vaultix::serial
