#include "platform/Utf8Text.h"

#include <cstdint>

namespace vaultix::platform {

bool NextCodePoint(std::string_view Text, std::size_t& Pos, char32_t& Point) {
    const auto Lead = static_cast<std::uint8_t>(Text[Pos]);
    if (Lead < 0x80) {
        Point = Lead;
        ++Pos;
        return true;
    }
    // Sequence length, payload bits of the lead byte, and the least code point that needs
    // this length (anything below is an overlong form).
    std::size_t Length;
    char32_t Lowest;
    if ((Lead & 0xE0) == 0xC0) {
        Length = 2;
        Point = Lead & 0x1F;
        Lowest = 0x80;
    } else if ((Lead & 0xF0) == 0xE0) {
        Length = 3;
        Point = Lead & 0x0F;
        Lowest = 0x800;
    } else if ((Lead & 0xF8) == 0xF0) {
        Length = 4;
        Point = Lead & 0x07;
        Lowest = 0x10000;
    } else {
        return false;
    }
    if (Text.size() - Pos < Length) return false;
    for (std::size_t i = 1; i < Length; ++i) {
        const auto Next = static_cast<std::uint8_t>(Text[Pos + i]);
        if ((Next & 0xC0) != 0x80) return false;
        Point = (Point << 6) | (Next & 0x3F);
    }
    if (Point < Lowest || Point > 0x10FFFF || (Point >= 0xD800 && Point <= 0xDFFF)) return false;
    Pos += Length;
    return true;
}

void AppendUtf8(std::string& Text, char32_t Point) {
    if (Point < 0x80) {
        Text.push_back(static_cast<char>(Point));
    } else if (Point < 0x800) {
        Text.push_back(static_cast<char>(0xC0 | (Point >> 6)));
        Text.push_back(static_cast<char>(0x80 | (Point & 0x3F)));
    } else if (Point < 0x10000) {
        Text.push_back(static_cast<char>(0xE0 | (Point >> 12)));
        Text.push_back(static_cast<char>(0x80 | ((Point >> 6) & 0x3F)));
        Text.push_back(static_cast<char>(0x80 | (Point & 0x3F)));
    } else {
        Text.push_back(static_cast<char>(0xF0 | (Point >> 18)));
        Text.push_back(static_cast<char>(0x80 | ((Point >> 12) & 0x3F)));
        Text.push_back(static_cast<char>(0x80 | ((Point >> 6) & 0x3F)));
        Text.push_back(static_cast<char>(0x80 | (Point & 0x3F)));
    }
}

} // namespace vaultix::platform
