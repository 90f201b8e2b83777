#pragma once
// The program's command line: "DEBUG" (any letter case) as the first argument switches on
// debug mode; "--demo TYPE" anywhere starts the demonstration with a simulated transmitter of
// TYPE on COM1; "--help" and "--version" anywhere print their text and end the program before
// any window is made. Any other argument that does not begin with "-" (and is not the word
// DEBUG) names a backup file to open once the window shows, the way a file manager passes one.
// Other options are ignored.

#include <QStringList>

#include <optional>
#include <string>

namespace vaultix::app {

struct TStartOptions {
    bool Debug = false;
    // Row of TxTypes the demonstration plays; nothing without --demo.
    std::optional<int> DemoTxRow;
    // Backup files to look into.
    QStringList Files;
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
