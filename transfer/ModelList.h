#pragma once
// The entries of the model chooser: one per unit of an all-models data file, in file order,
// each the model number padded on the left to three characters followed by the model name.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "transfer/TxTypes.h"

namespace vaultix::transfer {

// One entry from ExtractModelName's results (Windows-1252 text): " 7 GLIDER", "12 GLIDER",
// "123 GLIDER", "   GLIDER" for a type without numbers.
std::string ModelEntry(const std::string& Number, const std::string& Name);

// An entry as the window and the command line show it: control characters escaped.
std::string ModelEntryUtf8(const std::string& Entry);

// Empties Entries, then appends one entry per unit of Unit bytes in the data file, reading
// each unit into TransferBuffer and taking its name and number for the type Row. The file is
// closed on every path. A failure (including a unit cut short by the end of the file) raises
// platform::EInOutError and leaves the entries appended so far.
void ListModels(const std::filesystem::path& DataFileName, const TTxInfo& Row, std::uint16_t Unit,
                std::vector<std::string>& Entries);

} // namespace vaultix::transfer
