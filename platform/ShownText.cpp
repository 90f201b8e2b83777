#include "platform/ShownText.h"

#include "platform/Utf8Text.h"

#include <cstdint>

namespace vaultix::platform {

namespace {

// C0, DEL and C1 controls, and the invisible characters that break lines or turn the
// direction of text, so that what is shown is not what is there: a byte-order mark, the line
// and paragraph separators, and the bidirectional embeddings, overrides and isolates.
bool IsControl(char32_t Point) {
    return Point < 0x20 || Point == 0x7F || (Point >= 0x80 && Point < 0xA0) || Point == 0xFEFF ||
           (Point >= 0x2028 && Point <= 0x202E) || (Point >= 0x2066 && Point <= 0x2069);
}

// The characters an escape of ShownLines stands for.
bool Escapable(char32_t Point) {
    return IsControl(Point) || Point == '\\';
}

// "\xNN" up to U+00FF, "\uNNNN" above.
void AppendEscape(std::string& Text, std::uint32_t Code) {
    static constexpr char Digits[] = "0123456789abcdef";
    const int Width = Code > 0xFF ? 4 : 2;
    Text += Code > 0xFF ? "\\u" : "\\x";
    for (int Digit = Width - 1; Digit >= 0; --Digit)
        Text.push_back(Digits[(Code >> (4 * Digit)) & 0xF]);
}

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

// The length of an escape "\xNN" or "\uNNNN" at Text[Pos], 0 when none begins there.
std::size_t EscapeLength(std::string_view Text, std::size_t Pos) {
    if (Text.size() - Pos < 2 || Text[Pos] != '\\') return 0;
    return Text[Pos + 1] == 'x' ? 4 : Text[Pos + 1] == 'u' ? 6 : 0;
}

// The character an escape at Text[Pos] stands for, or -1 when no escape begins there.
int EscapeAt(std::string_view Text, std::size_t Pos) {
    const std::size_t Length = EscapeLength(Text, Pos);
    if (Length == 0 || Text.size() - Pos < Length) return -1;
    int Code = 0;
    for (std::size_t Digit = 2; Digit < Length; ++Digit) {
        const int Value = HexValue(Text[Pos + Digit]);
        if (Value < 0) return -1;
        Code = Code * 16 + Value;
    }
    // Each character has one escape: "\x" up to U+00FF, "\u" above.
    if ((Length == 6) != (Code > 0xFF)) return -1;
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
            Pos += EscapeLength(Shown, Pos);
        } else {
            Result.push_back(Shown[Pos++]);
        }
    }
    return Result;
}

} // namespace vaultix::platform
