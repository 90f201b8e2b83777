#include "transfer/ModelList.h"

#include <algorithm>
#include <span>

#include "transfer/Cp1252.h"
#include "transfer/DataFile.h"
#include "transfer/FileError.h"
#include "transfer/TransferBuffer.h"

namespace vaultix::transfer {

std::string ModelEntry(const std::string& Number, const std::string& Name) {
    std::string Entry;
    if (Number.size() < 3) Entry.assign(3 - Number.size(), ' ');
    return Entry + Number + Name;
}

std::string ModelEntryUtf8(const std::string& Entry) {
    return ShownCp1252(Entry);
}

void ListModels(const std::filesystem::path& DataFileName, const TTxInfo& Row, std::uint16_t Unit,
                std::vector<std::string>& Entries) {
    Entries.clear();
    if (Unit == 0) return;
    TDataFile File;
    File.OpenForReading(DataFileName);
    // A unit larger than the buffer: its head holds the name and number, the rest is skipped.
    const std::size_t Head = std::min<std::size_t>(Unit, TransferBuffer.size());
    for (;;) {
        const std::size_t Got = File.Read(TransferBuffer.data(), Head);
        if (Got == 0) break;
        if (Got < Head) RaiseEndOfFile();
        if (Unit > Head) File.Skip(Unit - Head);
        ExtractModelName(Row, std::span<const std::uint8_t>(TransferBuffer.data(), Head), 0);
        Entries.push_back(ModelEntry(ModelNumber, ModelName));
    }
}

} // namespace vaultix::transfer
