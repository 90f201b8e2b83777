// Backup data files of every type and flow: the size rule, the model chooser's list and the
// command line's reading of units either refuse a file or describe each of its units, with
// names fit to print.

#include "FuzzFiles.h"

#include "tools/cli/CliOutput.h"
#include "transfer/BackupBrowse.h"
#include "transfer/BackupFiles.h"
#include "transfer/ModelList.h"
#include "transfer/TxTypes.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace vaultix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0) return 0;
    // The first byte picks the type and the flow; the rest is the file.
    const int Row = Data[0] % static_cast<int>(transfer::TxTypes.size());
    const auto Flow =
        (Data[0] / transfer::TxTypes.size()) % 2 ? transfer::ufAllModels : transfer::ufOneModel;
    const std::string Bytes(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    const std::filesystem::path File = fuzz::ScratchFile("club.a22");
    fuzz::WriteFile(File, Bytes);

    const std::uint16_t Unit = transfer::UnitSize(Row, Flow);
    const bool Fits = transfer::CheckDataFileSize(File, Unit);
    fuzz::Require(Fits == (!Bytes.empty() && Bytes.size() % Unit == 0), "the size rule");
    if (Fits) {
        std::vector<std::string> Entries;
        transfer::ListModels(File, transfer::TxTypes[Row], Unit, Entries);
        fuzz::Require(Entries.size() == Bytes.size() / Unit, "one chooser entry per unit");
        for (const std::string& Entry : Entries)
            fuzz::Require(fuzz::Printable(transfer::ModelEntryUtf8(Entry)), "an entry's controls");
    }

    try {
        const transfer::TUnitFile Units = transfer::LoadUnitFile(File, Row, true);
        for (std::size_t I = 0; I < Units.Count(); ++I) {
            const transfer::TUnitEntry Entry = transfer::DescribeUnit(Units, Row, I);
            fuzz::Require(fuzz::Printable(cli::Printable(Entry.Name)), "a printed name's controls");
            fuzz::Require(fuzz::Printable(Entry.Entry), "an entry's controls");
        }
    } catch (const transfer::EBackupError&) {
        // A file of another size is refused with words.
    }
    return 0;
}
