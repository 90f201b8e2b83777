#pragma once
// The program's command line: "DEBUG" (any letter case) as the first argument switches on
// debug mode; "--demo TYPE" anywhere starts the demonstration with a simulated transmitter of
// TYPE on COM1; "--help" and "--version" anywhere print their text and end the program before
// any window is made. Every other argument is ignored.

#include <QStringList>

#include <optional>
#include <string>

namespace vaultix::app {

struct TStartOptions {
    bool Debug = false;
    // Row of TxTypes the demonstration plays; nothing without --demo.
    std::optional<int> DemoTxRow;
    // Set when --demo names no type; the program says so and ends.
    std::string Error;
};

// Arguments without the program's own name.
TStartOptions ParseStartOptions(const QStringList& Arguments);

enum TStartRequest {
    srRun,     // start the window
    srHelp,    // --help or -h: print HelpText
    srVersion, // --version: print VersionText
};

// What the command line asks for; needs no application object, so it works without a display.
TStartRequest StartRequestOf(const QStringList& Arguments);
// The usage, with the settings file and user guide this copy of the program uses.
std::string HelpText();
std::string VersionText();

} // namespace vaultix::app
