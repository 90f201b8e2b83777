#include "serial/ByteRendering.h"

#include <cstdio>

namespace vaultix::serial {

namespace {
TRenderedByte Bracketed(const char* Format, unsigned Value) {
    TRenderedByte r;
    const int n = std::snprintf(r.Text, sizeof r.Text, Format, Value);
    r.Width = static_cast<std::uint8_t>(n);
    return r;
}
} // namespace

TRenderedByte RenderByte(std::uint8_t Byte, bool InHex, bool AllHex) {
    if (AllHex) return Bracketed("[%02X]", Byte);
    const std::uint8_t lowest = InHex ? 0x21 : 0x20;
    if (Byte >= lowest && Byte <= 0x7E) return RenderByteAsChar(Byte);
    if (InHex) return Bracketed("[%02X]", Byte);
    return Bracketed("[%u]", Byte);
}

TRenderedByte RenderByteAsChar(std::uint8_t Byte) {
    TRenderedByte r;
    r.Text[0] = static_cast<char>(Byte);
    r.Width = 1;
    return r;
}

} // namespace vaultix::serial
