#include "transfer/BackupBrowse.h"

#include "platform/RuntimeExceptions.h"
#include "transfer/BackupFiles.h"
#include "transfer/Cp1252.h"
#include "transfer/DataFile.h"
#include "transfer/ModelList.h"
#include "transfer/TransferBuffer.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <system_error>
#include <utility>

namespace vaultix::transfer {

EBackupError::EBackupError(TBackupFault AFault, std::filesystem::path AFile, std::string AReason)
    : EBackupError(AFault, AFile, AReason, AFile.string() + ": " + AReason) {}

EBackupError::EBackupError(TBackupFault AFault, std::filesystem::path AFile, std::string AReason,
                           const std::string& Text)
    : std::runtime_error(Text), Fault(AFault), File(std::move(AFile)), Reason(std::move(AReason)) {}

std::vector<std::uint8_t> ReadBackupBytes(const std::filesystem::path& Name,
                                          std::uint64_t MaxBytes) {
    try {
        TDataFile File;
        File.OpenForReading(Name);
        const std::uint64_t Length = File.Length();
        if (Length > MaxBytes)
            throw EBackupError(bfSizeFitsNoType, Name,
                               "its size of " + std::to_string(Length) +
                                   " bytes is far more than any transmitter holds");
        std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(Length));
        Bytes.resize(File.Read(Bytes.data(), Bytes.size()));
        return Bytes;
    } catch (const platform::Exception& Error) {
        throw EBackupError(bfUnreadable, Name, Error.Message());
    }
}

std::vector<int> TypesFittingSize(std::uint64_t Size, bool WithTest) {
    std::vector<int> Rows;
    for (int Row = 0; Row < static_cast<int>(TxTypes.size()); ++Row) {
        if (Row == TestTypeRow && !WithTest) continue;
        const std::uint16_t Whole = WholeMemorySize(Row);
        if (FileSizeFits(Size, TxTypes[Row].ModelSize) || (Whole != 0 && FileSizeFits(Size, Whole)))
            Rows.push_back(Row);
    }
    return Rows;
}

int PreferredType(const std::vector<int>& Rows, int Current, const std::filesystem::path& Name) {
    if (Rows.empty()) return -1;
    if (std::ranges::find(Rows, Current) != Rows.end()) return Current;
    std::string Ext = Name.extension().string();
    if (!Ext.empty()) Ext.erase(0, 1);
    std::ranges::transform(Ext, Ext.begin(), [](unsigned char C) { return std::tolower(C); });
    for (const int Row : Rows) {
        const std::string Own = TxTypes[Row].Ext;
        if (Ext == Own || Ext == AllModelsExtension(Own)) return Row;
    }
    return Rows.front();
}

TAnyBackup ReadAnyBackup(const std::filesystem::path& Name, bool WithTest) {
    TAnyBackup Backup;
    Backup.Bytes = ReadBackupBytes(Name, LargestBackup);
    if (Backup.Bytes.empty()) throw EBackupError(bfSizeFitsNoType, Name, "the file is empty");
    Backup.Rows = TypesFittingSize(Backup.Bytes.size(), WithTest);
    if (Backup.Rows.empty())
        throw EBackupError(bfSizeFitsNoType, Name,
                           "its size of " + std::to_string(Backup.Bytes.size()) +
                               " bytes is no whole number of models of any transmitter type");
    return Backup;
}

TUnitFile UnitFileOf(const std::filesystem::path& Name, std::vector<std::uint8_t> Bytes, int TxRow,
                     bool WholeMemoryAllowed) {
    TUnitFile File;
    File.Name = Name;
    File.Bytes = std::move(Bytes);
    const std::uint16_t Model = UnitSize(TxRow, ufOneModel);
    const std::uint16_t Whole = UnitSize(TxRow, ufAllModels);
    if (FileSizeFits(File.Bytes.size(), Model)) {
        File.Unit = Model;
    } else if (WholeMemoryAllowed && Whole != Model && FileSizeFits(File.Bytes.size(), Whole)) {
        File.Unit = Whole;
        File.WholeMemory = true;
    } else {
        throw EBackupError(bfSizeMismatch, Name, SizeMismatchMessage);
    }
    return File;
}

TUnitFile LoadUnitFile(const std::filesystem::path& Name, int TxRow, bool WholeMemoryAllowed) {
    return UnitFileOf(Name, ReadBackupBytes(Name), TxRow, WholeMemoryAllowed);
}

TUnitEntry DescribeUnit(const TUnitFile& File, int TxRow, std::size_t Index) {
    TUnitEntry Entry;
    Entry.Index = Index + 1;
    const std::span<const std::uint8_t> Unit = File.UnitAt(Index);
    if (File.WholeMemory) {
        // A memory image has no name of its own: the PC side never looks into its layout.
        Entry.Name = "whole memory";
        Entry.Entry = ModelEntry("", Entry.Name);
        return Entry;
    }
    // The chooser reads the name from the unit's head, as far as the shared buffer reaches.
    const std::size_t Head = std::min(Unit.size(), TransferBufferSize);
    ExtractModelName(TxTypeAt(TxRow), Unit.first(Head), 0);
    Entry.Name = Cp1252ToUtf8(ModelName);
    Entry.Entry = ModelEntryUtf8(ModelEntry(ModelNumber, ModelName));
    if (!ModelNumber.empty()) Entry.Number = std::stoi(ModelNumber);
    return Entry;
}

std::vector<TUnitEntry> DescribeUnits(const TUnitFile& File, int TxRow) {
    std::vector<TUnitEntry> Entries;
    Entries.reserve(File.Count());
    for (std::size_t Index = 0; Index < File.Count(); ++Index)
        Entries.push_back(DescribeUnit(File, TxRow, Index));
    return Entries;
}

namespace {

// Pairing by number needs every unit of both files to carry a number of its own; a number
// missing or shown twice in a file pairs by place.
bool PairByNumber(const std::vector<TUnitEntry>& A, const std::vector<TUnitEntry>& B) {
    for (const auto* Units : {&A, &B}) {
        std::set<int> Seen;
        for (const TUnitEntry& Unit : *Units)
            if (!Unit.Number || !Seen.insert(*Unit.Number).second) return false;
    }
    return true;
}

} // namespace

std::vector<TCompareLine> CompareBackups(const TUnitFile& FileA, const std::vector<TUnitEntry>& A,
                                         const TUnitFile& FileB, const std::vector<TUnitEntry>& B) {
    if (FileA.WholeMemory != FileB.WholeMemory)
        throw EBackupError(bfNotComparable, FileA.Name,
                           "one holds models, the other a whole memory image",
                           FileA.Name.string() + " and " + FileB.Name.string() +
                               " cannot be compared: one holds models, the other a whole "
                               "memory image");
    const auto Pair = [&](std::size_t I, std::size_t J) {
        const bool Same = std::ranges::equal(FileA.UnitAt(I), FileB.UnitAt(J));
        return TCompareLine{Same ? csSame : csChanged, I, J};
    };
    std::vector<TCompareLine> Lines;
    std::vector<bool> PairedB(B.size(), false);
    const bool ByNumber = PairByNumber(A, B);
    for (std::size_t I = 0; I < A.size(); ++I) {
        std::optional<std::size_t> Match;
        if (ByNumber) {
            for (std::size_t J = 0; J < B.size() && !Match; ++J)
                if (B[J].Number == A[I].Number) Match = J;
        } else if (I < B.size()) {
            Match = I;
        }
        if (Match) {
            PairedB[*Match] = true;
            Lines.push_back(Pair(I, *Match));
        } else {
            Lines.push_back({csOnlyInA, I, std::nullopt});
        }
    }
    for (std::size_t J = 0; J < B.size(); ++J)
        if (!PairedB[J]) Lines.push_back({csOnlyInB, std::nullopt, J});
    return Lines;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& Name) {
    std::error_code Error;
    if (!std::filesystem::exists(Name, Error)) return std::nullopt;
    const std::vector<std::uint8_t> Bytes = ReadBackupBytes(Name);
    return std::string(Bytes.begin(), Bytes.end());
}

void WriteBackup(const std::filesystem::path& Name, std::span<const std::uint8_t> Data,
                 const std::optional<std::string>& Description) {
    const std::filesystem::path DescriptionName = DescriptionFileName(Name);
    const std::filesystem::path* Current = &Name;
    try {
        TDataFile DataFile;
        TDataFile DescriptionFile;
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
        throw EBackupError(bfUnwritable, *Current, Error.Message());
    }
}

TUnitEntry ExtractModel(const TUnitFile& File, int TxRow, std::size_t Model,
                        const std::filesystem::path& Out) {
    if (Model == 0 || Model > File.Count())
        throw EBackupError(bfNoSuchModel, File.Name, "there is no model " + std::to_string(Model),
                           File.Name.string() + " holds " + std::to_string(File.Count()) +
                               " model(s); there is no model " + std::to_string(Model));
    const TUnitEntry Entry = DescribeUnit(File, TxRow, Model - 1);
    // The description is copied as its bytes are: its line breaks and code page stay.
    const std::optional<std::string> Description = ReadWholeFile(DescriptionFileName(File.Name));
    WriteBackup(Out, File.UnitAt(Model - 1), Description);
    return Entry;
}

std::size_t JoinBackups(const std::vector<std::filesystem::path>& Inputs, int TxRow,
                        const std::filesystem::path& Out) {
    std::vector<std::uint8_t> Joined;
    for (const std::filesystem::path& Input : Inputs) {
        const TUnitFile File = LoadUnitFile(Input, TxRow, false);
        Joined.insert(Joined.end(), File.Bytes.begin(), File.Bytes.end());
    }
    const std::size_t Models = Joined.size() / UnitSize(TxRow, ufOneModel);
    WriteBackup(Out, Joined, std::nullopt);
    return Models;
}

} // namespace vaultix::transfer
