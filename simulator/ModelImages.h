#pragma once
// Memory images for the simulated transmitter: model memories with a name and number where the
// type keeps them, everything else deterministic noise from a seed, so that a test can build
// the same image again and compare.

#include "transfer/TxTypes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vaultix::simulator {

using TImage = std::vector<std::uint8_t>;

// Text as the transmitter stores it (code page 437): ASCII stays, the accented letters that
// the transmitter offers (Ç ü é â ä à å ç ê ë è ï î ì Ä Å É æ Æ ô ö ò û ù ÿ Ö Ü) become their
// codes 128..154, anything else '?'. Utf8 must be UTF-8; a broken sequence gives '?'.
std::string EncodeModelName(std::string_view Utf8);

// The name of generated model Index (from 0), in code page 437; it contains accented letters
// so that the name decoding on the PC side is exercised.
std::string DefaultModelName(std::size_t Index);

// One model memory of Row's size: seeded bytes, then Name (code page 437, padded with blanks
// or cut to NameLength) at NameOffset and Number at NumberOffset, as far as the type has them.
TImage MakeModelMemory(const transfer::TTxInfo& Row, std::string_view Name, std::uint8_t Number,
                       std::uint32_t Seed);

// Count model memories, one after another: model i is named Names[i] when given, else
// DefaultModelName(i), has the number FirstNumber + i (mod 256) and the seed Seed + i.
TImage MakeModelSeries(const transfer::TTxInfo& Row, std::size_t Count, std::uint32_t Seed,
                       const std::vector<std::string>& Names = {}, std::uint8_t FirstNumber = 1);

// Size bytes of seeded noise: a whole-memory image, whose layout the PC side never looks into.
TImage MakeNoise(std::size_t Size, std::uint32_t Seed);

// Reads a whole file. Throws std::system_error.
TImage LoadImageFile(const std::string& Path);
// Writes a whole file (created or replaced). Throws std::system_error.
void SaveImageFile(const std::string& Path, const TImage& Image);

} // namespace vaultix::simulator
