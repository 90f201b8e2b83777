#pragma once
// The rules of backup files: how many bytes one transfer unit holds for each type and flow,
// which files a restore accepts, and how the files are named and offered in the dialogs.
// Data files are raw transmitter memory, a whole number of units, with nothing added.

#include <cstdint>
#include <filesystem>
#include <string>

namespace vaultix::transfer {

enum TUnitFlow {
    ufOneModel,  // save one model, restore one model
    ufAllModels, // save all models, restore all models
};

// Bytes of one transfer unit for the type in row TxRow of TxTypes (an invalid row means the
// default row). One model for the one-model flows and for the block-by-block all-models flows;
// the whole memory image for the all-models flows of the first two types.
std::uint16_t UnitSize(int TxRow, TUnitFlow Flow);

// Whether the all-models flows of the type go model by model with the block protocol (the
// others move the whole memory as one unit).
bool AllModelsByBlocks(int TxRow);

// Extension of all-models files: Ext with its first letter replaced by "a".
std::string AllModelsExtension(const std::string& Ext);

// The single filter entry of both file dialogs, "Transmitter Settings (*.a22)|*.a22".
std::string DialogFilter(const std::string& FileExt);

// The description file beside a data file: its complete name with ".dsc" appended.
std::filesystem::path DescriptionFileName(const std::filesystem::path& DataFileName);

// Size rule of a restore: a whole, non-zero number of units.
bool FileSizeFits(std::uint64_t FileLength, std::uint16_t Unit);

// Opens the file, applies the size rule and closes the file again. Raises the I/O error when
// the file cannot be opened.
bool CheckDataFileSize(const std::filesystem::path& DataFileName, std::uint16_t Unit);

// Shown in an error box when a restore refuses a file.
inline constexpr char SizeMismatchMessage[] =
    "FileSize does not match type of TX.\rAction cancelled!";

} // namespace vaultix::transfer
