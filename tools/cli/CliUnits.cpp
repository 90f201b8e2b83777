#include "tools/cli/CliUnits.h"

#include "platform/RuntimeExceptions.h"
#include "tools/cli/CliOutput.h"
#include "transfer/BackupFiles.h"
#include "transfer/Cp1252.h"
#include "transfer/DataFile.h"
#include "transfer/ModelList.h"
#include "transfer/TransferBuffer.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <system_error>

namespace vaultix::cli {

namespace {

[[noreturn]] void RaiseFileFailure(const std::filesystem::path& Name,
                                   const platform::Exception& Error) {
    throw ECliFailure(ceFailed, Name.string() + ": " + Error.Message());
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& Name) {
    try {
        transfer::TDataFile File;
        File.OpenForReading(Name);
        std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(File.Length()));
        Bytes.resize(File.Read(Bytes.data(), Bytes.size()));
        return Bytes;
    } catch (const platform::Exception& Error) {
        RaiseFileFailure(Name, Error);
    }
}

} // namespace

TUnitFile LoadUnitFile(const std::filesystem::path& Name, int TxRow, bool WholeMemoryAllowed) {
    TUnitFile File;
    File.Name = Name;
    File.Bytes = ReadBytes(Name);
    const std::uint16_t Model = transfer::UnitSize(TxRow, transfer::ufOneModel);
    const std::uint16_t Whole = transfer::UnitSize(TxRow, transfer::ufAllModels);
    if (transfer::FileSizeFits(File.Bytes.size(), Model)) {
        File.Unit = Model;
    } else if (WholeMemoryAllowed && Whole != Model &&
               transfer::FileSizeFits(File.Bytes.size(), Whole)) {
        File.Unit = Whole;
        File.WholeMemory = true;
    } else {
        throw ECliFailure(ceFailed, Name.string() + ": " + transfer::SizeMismatchMessage);
    }
    return File;
}

TUnitEntry DescribeUnit(const TUnitFile& File, int TxRow, std::size_t Index) {
    TUnitEntry Entry;
    Entry.Index = Index + 1;
    const std::span<const std::uint8_t> Unit = File.UnitAt(Index);
    Entry.Sha256 = Sha256Hex(Unit);
    if (File.WholeMemory) {
        // A memory image has no name of its own: the PC side never looks into its layout.
        Entry.Name = "whole memory";
        Entry.Entry = transfer::ModelEntry("", Entry.Name);
        return Entry;
    }
    // The chooser reads the name from the unit's head, as far as the shared buffer reaches.
    const std::size_t Head = std::min(Unit.size(), transfer::TransferBufferSize);
    transfer::ExtractModelName(transfer::TxTypeAt(TxRow), Unit.first(Head), 0);
    Entry.Name = transfer::Cp1252ToUtf8(transfer::ModelName);
    Entry.Entry =
        transfer::ModelEntryUtf8(transfer::ModelEntry(transfer::ModelNumber, transfer::ModelName));
    if (!transfer::ModelNumber.empty()) Entry.Number = std::stoi(transfer::ModelNumber);
    return Entry;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& Name) {
    std::error_code Error;
    if (!std::filesystem::exists(Name, Error)) return std::nullopt;
    const std::vector<std::uint8_t> Bytes = ReadBytes(Name);
    return std::string(Bytes.begin(), Bytes.end());
}

void WriteBackup(const std::filesystem::path& Name, std::span<const std::uint8_t> Data,
                 const std::optional<std::string>& Description) {
    const std::filesystem::path DescriptionName = transfer::DescriptionFileName(Name);
    const std::filesystem::path* Current = &Name;
    try {
        transfer::TDataFile DataFile;
        transfer::TDataFile DescriptionFile;
        DataFile.CreateFor(Name);
        DataFile.Write(Data.data(), Data.size());
        if (Description) {
            Current = &DescriptionName;
            DescriptionFile.CreateFor(DescriptionName);
            DescriptionFile.Write(Description->data(), Description->size());
        }
        Current = &Name;
        DataFile.Commit();
        Current = &DescriptionName;
        DescriptionFile.Commit();
    } catch (const platform::Exception& Error) {
        RaiseFileFailure(*Current, Error);
    }
}

} // namespace vaultix::cli
