// extract and join: one model out of a backup, and several backups as one all-models file.

#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"
#include "tools/cli/CliUnits.h"
#include "transfer/BackupFiles.h"

#include <cstdio>
#include <vector>

namespace vaultix::cli {

TCliExit ExtractModel(const TCliCommand& Command) {
    const std::filesystem::path Name = Command.Files[0];
    const std::filesystem::path Out = Command.Files[1];
    const TUnitFile File = LoadUnitFile(Name, Command.TxRow, false);
    const std::size_t Model = *Command.Model;
    if (Model > File.Count())
        throw ECliFailure(ceFailed, Name.string() + " holds " + std::to_string(File.Count()) +
                                        " model(s); there is no model " + std::to_string(Model));
    const TUnitEntry Entry = DescribeUnit(File, Command.TxRow, Model - 1);
    const std::optional<std::string> Description =
        ReadWholeFile(transfer::DescriptionFileName(Name));
    WriteBackup(Out, File.UnitAt(Model - 1), Description);
    std::printf("Model %zu (%s) written to %s.\n", Model, Printable(Entry.Entry).c_str(),
                Out.c_str());
    return ceSuccess;
}

TCliExit JoinBackups(const TCliCommand& Command) {
    const std::filesystem::path Out = Command.Files.front();
    std::vector<std::uint8_t> Joined;
    for (std::size_t I = 1; I < Command.Files.size(); ++I) {
        const TUnitFile File = LoadUnitFile(Command.Files[I], Command.TxRow, false);
        Joined.insert(Joined.end(), File.Bytes.begin(), File.Bytes.end());
    }
    const std::size_t Models =
        Joined.size() / transfer::UnitSize(Command.TxRow, transfer::ufOneModel);
    // The inputs are all read before the result replaces anything, so OUT may be one of them.
    WriteBackup(Out, Joined, std::nullopt);
    std::printf("%zu model(s) written to %s.\n", Models, Out.c_str());
    return ceSuccess;
}

} // namespace vaultix::cli
