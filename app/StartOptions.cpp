#include "app/StartOptions.h"

#include "platform/ProgramPlaces.h"
#include "transfer/TxTypes.h"

#ifndef VAULTIX_VERSION
#define VAULTIX_VERSION "unknown"
#endif

namespace vaultix::app {

TStartOptions ParseStartOptions(const QStringList& Arguments) {
    TStartOptions Options;
    Options.Debug = !Arguments.isEmpty() && Arguments.front().toUpper() == QLatin1String("DEBUG");
    const qsizetype Demo = Arguments.indexOf(QLatin1String("--demo"));
    for (qsizetype I = 0; I < Arguments.size(); ++I) {
        if (Demo >= 0 && I == Demo + 1) continue;
        const QString& Argument = Arguments[I];
        // DEBUG counts only first; anywhere else it is passed over, not taken for a file.
        if (!Argument.startsWith(QLatin1Char('-')) && Argument.toUpper() != QLatin1String("DEBUG"))
            Options.Files << Argument;
    }
    if (Demo < 0) return Options;
    if (Demo + 1 >= Arguments.size()) {
        Options.Error = "--demo needs a transmitter type, for example: --demo MC-22";
        return Options;
    }
    const std::string Type = Arguments[Demo + 1].toStdString();
    const int Row = transfer::FindTxType(Type);
    if (Row < 0) {
        Options.Error = "Unknown transmitter type for --demo: " + Type;
    } else if (Row == transfer::TestTypeRow && !Options.Debug) {
        Options.Error = "The type " + Type + " is offered in debug mode only (DEBUG first).";
    } else {
        Options.DemoTxRow = Row;
    }
    return Options;
}

TStartRequest StartRequestOf(const QStringList& Arguments) {
    for (const QString& Argument : Arguments) {
        if (Argument == QLatin1String("--help") || Argument == QLatin1String("-h")) return srHelp;
        if (Argument == QLatin1String("--version")) return srVersion;
    }
    return srRun;
}

std::string HelpText() {
    const platform::TProgramPlaces Places = platform::OwnProgramPlaces();
    return "Usage: vaultix [DEBUG] [--demo TYPE] [FILE]\n"
           "       vaultix --help | --version\n"
           "\n"
           "Saves the model memories of radio-control transmitters (MC-18, MC-20, MC-22, MC-24,\n"
           "MX-22) to files over a serial cable, and writes them back.\n"
           "\n"
           "  DEBUG         as the first argument, in any letter case: debug mode, with the test\n"
           "                type ByteCount and the debug controls of the transfer page\n"
           "  --demo TYPE   try it without a transmitter: a simulated TYPE (" +
           transfer::TxTypeNames(false) +
           ")\n"
           "                on COM1; the settings file is left as it is\n"
           "  FILE          a backup to look into: its type, description and models, to\n"
           "                compare, extract from or join with others\n"
           "  --help        this text\n"
           "  --version     the program's version\n"
           "\n"
           "Settings file: " +
           Places.SettingsFile + (Places.Portable ? " (beside the program)" : "") +
           "\n"
           "User guide:    " +
           Places.GuideFile + "\n";
}

std::string VersionText() {
    return "vaultix " VAULTIX_VERSION "\n";
}

} // namespace vaultix::app
