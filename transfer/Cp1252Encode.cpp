#include "transfer/Cp1252Encode.h"

#include <array>
#include <cstdint>

#include "platform/Utf8Text.h"

namespace vaultix::transfer {

namespace {

// The characters of codes 0x80..0x9F; 0 marks the codes Windows-1252 leaves undefined.
constexpr std::array<char32_t, 32> High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<char> Cp1252Code(char32_t Point) {
    if (Point < 0x80 || (Point >= 0xA0 && Point <= 0xFF)) return static_cast<char>(Point);
    for (std::size_t i = 0; i < High.size(); ++i) {
        if (High[i] != 0 && High[i] == Point) return static_cast<char>(0x80 + i);
        // An undefined code was read as the control character of its number: it goes back.
        if (High[i] == 0 && Point == 0x80 + i) return static_cast<char>(Point);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> Utf8ToCp1252(std::string_view Utf8) {
    std::string Out;
    Out.reserve(Utf8.size());
    for (std::size_t Pos = 0; Pos < Utf8.size();) {
        char32_t Point;
        if (!platform::NextCodePoint(Utf8, Pos, Point)) return std::nullopt;
        const std::optional<char> Code = Cp1252Code(Point);
        if (!Code) return std::nullopt;
        Out.push_back(*Code);
    }
    return Out;
}

bool IsValidUtf8(std::string_view Text) {
    for (std::size_t Pos = 0; Pos < Text.size();) {
        char32_t Point;
        if (!platform::NextCodePoint(Text, Pos, Point)) return false;
    }
    return true;
}

} // namespace vaultix::transfer
