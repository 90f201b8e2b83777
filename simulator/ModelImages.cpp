#include "simulator/ModelImages.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace vaultix::simulator {

namespace {

// Unicode code points of the transmitter's letters 128..154, in code order.
constexpr std::array<char32_t, 27> Cp437Letters = {
    U'Ç', U'ü', U'é', U'â', U'ä', U'à', U'å', U'ç', U'ê', U'ë', U'è', U'ï', U'î', U'ì',
    U'Ä', U'Å', U'É', U'æ', U'Æ', U'ô', U'ö', U'ò', U'û', U'ù', U'ÿ', U'Ö', U'Ü'};

// Decodes one UTF-8 sequence at Text[At], advancing At; returns U+FFFD for a broken one.
char32_t NextCodePoint(std::string_view Text, std::size_t& At) {
    const auto lead = static_cast<unsigned char>(Text[At++]);
    if (lead < 0x80) return lead;
    int more = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        more = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3;
        cp = lead & 0x07;
    } else {
        return U'\uFFFD';
    }
    for (int i = 0; i < more; ++i) {
        if (At >= Text.size()) return U'\uFFFD';
        const auto next = static_cast<unsigned char>(Text[At]);
        if ((next & 0xC0) != 0x80) return U'\uFFFD';
        cp = (cp << 6) | (next & 0x3F);
        ++At;
    }
    return cp;
}

// Names with letters from the whole translated range, each at most 11 bytes so that it fits
// the shortest name field (MC-18).
const std::array<std::string_view, 8> NameStems = {"Käfer", "Möwe",      "Übermut", "Élan",
                                                   "Ärger", "Öko Flyer", "Ça va",   "Grün"};

} // namespace

std::string EncodeModelName(std::string_view Utf8) {
    std::string out;
    std::size_t at = 0;
    while (at < Utf8.size()) {
        const char32_t cp = NextCodePoint(Utf8, at);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        const auto it = std::find(Cp437Letters.begin(), Cp437Letters.end(), cp);
        out.push_back(
            it == Cp437Letters.end() ? '?' : static_cast<char>(128 + (it - Cp437Letters.begin())));
    }
    return out;
}

std::string DefaultModelName(std::size_t Index) {
    std::string name = EncodeModelName(NameStems[Index % NameStems.size()]);
    if (Index >= NameStems.size()) {
        name += ' ';
        name += std::to_string(Index + 1);
    }
    return name;
}

TImage MakeNoise(std::size_t Size, std::uint32_t Seed) {
    // mt19937's output sequence is fixed by the C++ standard (distributions are not), so the
    // same seed gives the same bytes with every library.
    std::mt19937 generator(Seed);
    TImage image(Size);
    for (auto& byte : image)
        byte = static_cast<std::uint8_t>(generator() >> 24);
    return image;
}

TImage MakeModelMemory(const transfer::TTxInfo& Row, std::string_view Name, std::uint8_t Number,
                       std::uint32_t Seed) {
    TImage image = MakeNoise(Row.ModelSize, Seed);
    if (Row.NameLength > 0 && Row.NameOffset + Row.NameLength <= image.size()) {
        for (std::size_t i = 0; i < Row.NameLength; ++i)
            image[Row.NameOffset + i] =
                i < Name.size() ? static_cast<std::uint8_t>(Name[i]) : std::uint8_t{' '};
    }
    if (Row.NumberOffset != transfer::NoModelNumber && Row.NumberOffset < image.size())
        image[Row.NumberOffset] = Number;
    return image;
}

TImage MakeModelSeries(const transfer::TTxInfo& Row, std::size_t Count, std::uint32_t Seed,
                       const std::vector<std::string>& Names, std::uint8_t FirstNumber) {
    TImage series;
    series.reserve(Count * Row.ModelSize);
    for (std::size_t i = 0; i < Count; ++i) {
        const std::string name = i < Names.size() ? Names[i] : DefaultModelName(i);
        const auto number = static_cast<std::uint8_t>(FirstNumber + i);
        const TImage model =
            MakeModelMemory(Row, name, number, Seed + static_cast<std::uint32_t>(i));
        series.insert(series.end(), model.begin(), model.end());
    }
    return series;
}

TImage LoadImageFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    if (!in) throw std::system_error(errno ? errno : ENOENT, std::generic_category(), Path);
    TImage image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::system_error(EIO, std::generic_category(), Path);
    return image;
}

void SaveImageFile(const std::string& Path, const TImage& Image) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::system_error(errno ? errno : EACCES, std::generic_category(), Path);
    out.write(reinterpret_cast<const char*>(Image.data()),
              static_cast<std::streamsize>(Image.size()));
    out.close();
    if (!out) throw std::system_error(EIO, std::generic_category(), Path);
}

} // namespace vaultix::simulator
