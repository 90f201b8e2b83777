#include "transfer/BackupFiles.h"

#include "transfer/DataFile.h"
#include "transfer/TxTypes.h"

namespace vaultix::transfer {

std::uint16_t UnitSize(int TxRow, TUnitFlow Flow) {
    if (Flow == ufAllModels && !AllModelsByBlocks(TxRow)) return WholeMemorySize(TxRow);
    return TxTypeAt(TxRow).ModelSize;
}

bool AllModelsByBlocks(int TxRow) {
    return WholeMemorySize(TxRow) == 0;
}

std::string AllModelsExtension(const std::string& Ext) {
    std::string Result = Ext.empty() ? std::string("a") : Ext;
    Result[0] = 'a';
    return Result;
}

std::string DialogFilter(const std::string& FileExt) {
    return "Transmitter Settings (*." + FileExt + ")|*." + FileExt;
}

std::filesystem::path DescriptionFileName(const std::filesystem::path& DataFileName) {
    std::filesystem::path Name = DataFileName;
    Name += ".dsc";
    return Name;
}

bool FileSizeFits(std::uint64_t FileLength, std::uint16_t Unit) {
    return Unit != 0 && FileLength != 0 && FileLength % Unit == 0;
}

bool CheckDataFileSize(const std::filesystem::path& DataFileName, std::uint16_t Unit) {
    TDataFile File;
    File.OpenForReading(DataFileName);
    return FileSizeFits(File.Length(), Unit);
}

} // namespace vaultix::transfer
