#include "transfer/TransferVerify.h"

#include "transfer/Cp1252.h"
#include "transfer/DataFile.h"
#include "transfer/FileError.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace vaultix::transfer {

std::vector<std::uint8_t> ReadRestoredUnit(const std::filesystem::path& File,
                                           std::uint16_t UnitSize, std::size_t SkipUnits) {
    TDataFile Data;
    Data.OpenForReading(File);
    Data.Skip(static_cast<std::uint64_t>(SkipUnits) * UnitSize);
    std::vector<std::uint8_t> Unit(UnitSize);
    if (Data.Read(Unit.data(), Unit.size()) < Unit.size()) RaiseEndOfFile();
    Data.Close();
    return Unit;
}

std::string RestoredSubject(std::span<const std::uint8_t> Unit, int TxRow) {
    const std::uint16_t Memory = WholeMemorySize(TxRow);
    if (Memory != 0 && Unit.size() == Memory) return "The memory image";
    const TTxInfo& Row = TxTypeAt(TxRow);
    const std::string Name = ShownCp1252(ExtractModelName(Row, Unit, 0));
    std::string Number = ShownCp1252(ModelNumber);
    // The number carries a blank of its own for the chooser's column.
    while (!Number.empty() && Number.back() == ' ')
        Number.pop_back();
    return Number.empty() ? "Model \"" + Name + "\"" : "Model " + Number + " \"" + Name + "\"";
}

std::string SubjectInSentence(std::string Subject) {
    if (!Subject.empty())
        Subject.front() =
            static_cast<char>(std::tolower(static_cast<unsigned char>(Subject.front())));
    return Subject;
}

TVerifyResult CompareUnits(std::span<const std::uint8_t> Sent,
                           std::span<const std::uint8_t> Received) {
    TVerifyResult Result;
    Result.Compared = true;
    Result.Size = Sent.size();
    const std::size_t Both = std::min(Sent.size(), Received.size());
    for (std::size_t At = 0; At < Both; ++At) {
        if (Sent[At] == Received[At]) continue;
        if (Result.Differing == 0) Result.FirstDifference = At;
        ++Result.Differing;
    }
    // A length that does not match counts every missing or surplus byte.
    const std::size_t Longer = std::max(Sent.size(), Received.size());
    if (Longer > Both) {
        if (Result.Differing == 0) Result.FirstDifference = Both;
        Result.Differing += Longer - Both;
    }
    return Result;
}

std::string VerifyResultText(const TVerifyResult& Result, const std::string& Subject) {
    if (!Result.Compared) return VerifyCancelledMessage;
    const std::string Size = std::to_string(Result.Size);
    if (Result.Identical())
        return Subject + " verified:\rthe transmitter holds exactly the " + Size +
               " bytes of the backup.";
    char Hex[24];
    std::snprintf(Hex, sizeof Hex, "0x%zX", Result.FirstDifference);
    return Subject + " differs from the backup:\r" + std::to_string(Result.Differing) + " of " +
           Size + " bytes differ, the first at offset " + std::to_string(Result.FirstDifference) +
           " (" + Hex + ").\rRestore it again, then verify once more.";
}

} // namespace vaultix::transfer
