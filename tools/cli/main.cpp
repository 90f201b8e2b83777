// vaultix-cli: the transfer engine and the backup files without the window.

#include "tools/cli/CliCommandLine.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/CliOutput.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

using namespace vaultix::cli;

namespace {

TCliExit RunCommand(const TCliCommand& Command, int argc, char** argv) {
    switch (Command.Action) {
    case caPorts:
        return ListPorts(Command);
    case caList:
        return ListBackup(Command);
    case caDiff:
        return DiffBackups(Command);
    case caExtract:
        return ExtractModel(Command);
    case caJoin:
        return JoinBackups(Command);
    case caSave:
    case caRestore: {
        // The port component reaches the main thread through Qt's event loop.
        QCoreApplication Application(argc, argv);
        return Command.Action == caSave ? SaveBackup(Command) : RestoreBackup(Command);
    }
    case caNone:
        break;
    }
    return ceUsage;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> Args(argv + 1, argv + argc);
    TCliCommand Command;
    try {
        Command = ParseCliCommand(Args);
    } catch (const ECliUsage& Error) {
        PrintError(Error.what());
        std::fputs("Try \"vaultix-cli --help\".\n", stderr);
        return ceUsage;
    }
    if (Command.ShowVersion) {
        std::printf("vaultix-cli %s\n", VAULTIX_VERSION);
        return ceSuccess;
    }
    if (Command.ShowHelp) {
        std::fputs(CliUsage(Command.Action).c_str(), stdout);
        return ceSuccess;
    }
    try {
        return RunCommand(Command, argc, argv);
    } catch (const ECliFailure& Failure) {
        PrintError(Failure.what());
        return Failure.Status;
    } catch (const std::exception& Error) {
        PrintError(Error.what());
        return ceFailed;
    }
}
