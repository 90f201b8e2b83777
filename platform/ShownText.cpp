#include "platform/ShownText.h"

#include "platform/Utf8Text.h"

#include <cstdint>

namespace vaultix::platform {

namespace {

bool IsControl(char32_t Point) {
    return Point < 0x20 || Point == 0x7F || (Point >= 0x80 && Point < 0xA0);
}

// The characters an escape "\xNN" of ShownLines stands for.
bool Escapable(char32_t Point) {
    return IsControl(Point) || Point == '\\';
}

void AppendEscape(std::string& Text, std::uint32_t Code) {
    static constexpr char Digits[] = "0123456789abcdef";
    Text += "\\x";
    Text.push_back(Digits[(Code >> 4) & 0xF]);
    Text.push_back(Digits[Code & 0xF]);
}

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

// The character an escape at Text[Pos] stands for, or -1 when no escape begins there.
int EscapeAt(std::string_view Text, std::size_t Pos) {
    if (Text.size() - Pos < 4 || Text[Pos] != '\\' || Text[Pos + 1] != 'x') return -1;
    const int High = HexValue(Text[Pos + 2]);
    const int Low = HexValue(Text[Pos + 3]);
    if (High < 0 || Low < 0) return -1;
    const int Code = High * 16 + Low;
    return Escapable(static_cast<char32_t>(Code)) ? Code : -1;
}

enum TShownLines { slOneLine, slMessage, slEditable };

std::string Shown(std::string_view Text, TShownLines Lines) {
    const bool KeepLines = Lines != slOneLine;
    std::string Result;
    Result.reserve(Text.size());
    for (std::size_t Pos = 0; Pos < Text.size();) {
        const std::size_t Start = Pos;
        char32_t Point = 0;
        if (!NextCodePoint(Text, Pos, Point)) {
            AppendEscape(Result, static_cast<std::uint8_t>(Text[Pos++]));
        } else if (KeepLines && (Point == '\n' || Point == '\t')) {
            Result.push_back(static_cast<char>(Point));
        } else if (IsControl(Point) || (Lines == slEditable && EscapeAt(Text, Start) >= 0)) {
            AppendEscape(Result, Point);
        } else {
            Result.append(Text.substr(Start, Pos - Start));
        }
    }
    return Result;
}

} // namespace

std::string ShownText(std::string_view Text) {
    return Shown(Text, slOneLine);
}

std::string ShownMessage(std::string_view Text) {
    return Shown(Text, slMessage);
}

std::string ShownLines(std::string_view Text) {
    return Shown(Text, slEditable);
}

std::string TypedText(std::string_view Shown) {
    std::string Result;
    Result.reserve(Shown.size());
    for (std::size_t Pos = 0; Pos < Shown.size();) {
        if (const int Code = EscapeAt(Shown, Pos); Code >= 0) {
            AppendUtf8(Result, static_cast<char32_t>(Code));
            Pos += 4;
        } else {
            Result.push_back(Shown[Pos++]);
        }
    }
    return Result;
}

} // namespace vaultix::platform
