// extract and join: one model out of a backup, and several backups as one all-models file.

#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"
#include "transfer/BackupBrowse.h"

#include <cstdio>
#include <vector>

namespace vaultix::cli {

TCliExit ExtractModel(const TCliCommand& Command) {
    const std::filesystem::path Out = Command.Files[1];
    const transfer::TUnitFile File = transfer::LoadUnitFile(Command.Files[0], Command.TxRow, false);
    const std::size_t Model = *Command.Model;
    const transfer::TUnitEntry Entry = transfer::ExtractModel(File, Command.TxRow, Model, Out);
    std::printf("Model %zu (%s) written to %s.\n", Model, Printable(Entry.Entry).c_str(),
                Out.c_str());
    return ceSuccess;
}

TCliExit JoinBackups(const TCliCommand& Command) {
    const std::filesystem::path Out = Command.Files.front();
    const std::vector<std::filesystem::path> Inputs(Command.Files.begin() + 1, Command.Files.end());
    const std::size_t Models = transfer::JoinBackups(Inputs, Command.TxRow, Out);
    std::printf("%zu model(s) written to %s.\n", Models, Out.c_str());
    return ceSuccess;
}

} // namespace vaultix::cli
