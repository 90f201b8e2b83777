#pragma once
// Backup files as the file commands see them: the units a data file holds for a type, and what
// the model chooser would show for each of them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vaultix::cli {

struct TUnitFile {
    std::filesystem::path Name;
    std::uint16_t Unit = 0;
    // The unit is the whole memory image of an MC-18 type, not one model.
    bool WholeMemory = false;
    std::vector<std::uint8_t> Bytes;

    std::size_t Count() const { return Unit == 0 ? 0 : Bytes.size() / Unit; }
    std::span<const std::uint8_t> UnitAt(std::size_t Index) const {
        return std::span<const std::uint8_t>(Bytes).subspan(Index * Unit, Unit);
    }
};

// Reads a data file of the type in row TxRow. Its units are models when its size is a whole
// number of models; for the MC-18 types, whose all-models files are one memory image, a file of
// whole images is taken as such when WholeMemoryAllowed. Any other size is refused with the
// size message; failures raise ECliFailure with the file's name.
TUnitFile LoadUnitFile(const std::filesystem::path& Name, int TxRow, bool WholeMemoryAllowed);

// One unit as the model chooser shows it.
struct TUnitEntry {
    std::size_t Index = 0;     // from 1
    std::optional<int> Number; // the model number, for types that keep one
    std::string Name;          // UTF-8
    std::string Entry;         // the chooser's entry, number and name, UTF-8
    std::string Sha256;
};

TUnitEntry DescribeUnit(const TUnitFile& File, int TxRow, std::size_t Index);

// The raw bytes of a whole file; nothing when it does not exist. Raises ECliFailure.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& Name);

// Writes Data as the file Name and, when given, Description as its description file, each
// replacing the old one in one step and the description only once the data are in place.
void WriteBackup(const std::filesystem::path& Name, std::span<const std::uint8_t> Data,
                 const std::optional<std::string>& Description);

} // namespace vaultix::cli
