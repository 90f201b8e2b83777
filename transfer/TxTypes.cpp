#include "transfer/TxTypes.h"

#include <algorithm>
#include <cctype>

namespace vaultix::transfer {

const std::array<TTxInfo, TxTypeCount> TxTypes = {{
    {"mc18", true, true, 258, "m18", 166, 11, NoModelNumber, 4000, "MC-18 (7 Models)", "MC-18"},
    {"mc20", true, true, 258, "m20", 166, 11, NoModelNumber, 4000, "MC18/MC20 (30+1Models)", "MC-20"},
    {"mc22", true, true, 1024, "m22", 1004, 16, 1022, 4800, "MC-22", "MC-22"},
    {"mc24", true, true, 3072, "m24", 3050, 15, 3066, 4800, "MC-24", "MC-24"},
    {"mx22", true, true, 1024, "m22", 1004, 16, 1022, 4800, "MX-22", "MX-22"},
    {"Test", false, false, 65535, "tst", 1, 0, NoModelNumber, 4800, "ByteCount", "Test"},
}};

std::string ModelName;
std::string ModelNumber;

bool IsValidTxSelection(int Selection) {
    return Selection >= 0 && static_cast<std::size_t>(Selection) < TxTypes.size();
}

const TTxInfo& TxTypeAt(int Selection) {
    return TxTypes[IsValidTxSelection(Selection) ? Selection : DefaultTxTypeRow];
}

namespace {

// A type's name as it compares: letters in lower case, without dashes, blanks and underscores.
std::string Folded(std::string_view Text) {
    std::string Folded;
    for (const char C : Text)
        if (C != '-' && C != ' ' && C != '_')
            Folded.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(C))));
    return Folded;
}

} // namespace

int FindTxType(std::string_view Name) {
    const std::string Wanted = Folded(Name);
    if (Wanted.empty()) return -1;
    for (std::size_t Row = 0; Row < TxTypes.size(); ++Row) {
        const TTxInfo& Type = TxTypes[Row];
        for (const char* Known : {Type.Name, Type.Code, Type.TxBoxEntry})
            if (Wanted == Folded(Known)) return static_cast<int>(Row);
    }
    return -1;
}

std::string TxTypeNames(bool WithTest) {
    std::string Names;
    for (std::size_t Row = 0; Row < TxTypes.size(); ++Row) {
        if (static_cast<int>(Row) == TestTypeRow && !WithTest) continue;
        if (!Names.empty()) Names += ", ";
        Names += TxTypes[Row].Name;
    }
    return Names;
}

std::uint16_t WholeMemorySize(int Selection) {
    switch (IsValidTxSelection(Selection) ? Selection : DefaultTxTypeRow) {
    case 0: return 2050;
    case 1: return 8194;
    default: return 0;
    }
}

namespace {

// Codes 127..154: the transmitter's code-page-437 letters, written in Windows-1252.
constexpr std::array<std::uint8_t, 28> Cp437Letters = {
    '#',  0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE,
    0xEC, 0xC4, 0xC5, 0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC};

char TranslateNameByte(char C) {
    const auto code = static_cast<std::uint8_t>(C);
    if (code >= 127 && code <= 154) return static_cast<char>(Cp437Letters[code - 127]);
    return C;
}

} // namespace

std::string ExtractModelName(const TTxInfo& Row, std::span<const std::uint8_t> Buffer,
                             std::uint16_t Start) {
    std::string name = "Data";
    std::string number;
    if (Row.NameLength > 0 && Row.NameOffset > Start) {
        const std::size_t first = Row.NameOffset - Start;
        const std::size_t last = std::min<std::size_t>(first + Row.NameLength, Buffer.size());
        name.clear();
        for (std::size_t i = first; i < last; ++i) name.push_back(static_cast<char>(Buffer[i]));
        if (Row.NumberOffset != NoModelNumber && Row.NumberOffset >= Start) {
            const std::size_t at = Row.NumberOffset - Start;
            if (at < Buffer.size()) number = std::to_string(Buffer[at]) + " ";
        }
    }
    const auto end = name.find_last_not_of(' ');
    name.erase(end == std::string::npos ? 0 : end + 1);
    std::transform(name.begin(), name.end(), name.begin(), TranslateNameByte);
    ModelName = name.substr(0, 255);
    ModelNumber = number.substr(0, 255);
    return ModelName;
}

} // namespace vaultix::transfer
