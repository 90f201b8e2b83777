#include "transfer/Cp1252.h"

#include <cstdint>

namespace vaultix::transfer {

std::string Cp1252ToUtf8(const std::string& Text) {
    // Windows-1252 differs from Latin-1 only in 0x80..0x9F.
    static constexpr char16_t High[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(Text.size() * 2);
    for (char c : Text) {
        const auto b = static_cast<std::uint8_t>(c);
        const char32_t cp = (b >= 0x80 && b < 0xA0) ? High[b - 0x80] : b;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace vaultix::transfer
