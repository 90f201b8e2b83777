#include "transfer/Cp1252.h"

#include <cstdint>

#include "platform/ShownText.h"
#include "platform/Utf8Text.h"

namespace vaultix::transfer {

std::string Cp1252ToUtf8(const std::string& Text) {
    // Windows-1252 differs from Latin-1 only in 0x80..0x9F. Its five undefined codes keep their
    // number, as the C1 controls of that number, so that no byte is lost on the way back.
    static constexpr char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(Text.size() * 2);
    for (char c : Text) {
        const auto b = static_cast<std::uint8_t>(c);
        platform::AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? High[b - 0x80] : b);
    }
    return out;
}

std::string ShownCp1252(const std::string& Text) {
    return platform::ShownText(Cp1252ToUtf8(Text));
}

} // namespace vaultix::transfer
