#pragma once
// The command line of vaultix-cli: one command and its options, checked before anything is
// opened, so that a mistake in the command line never touches a port or a file.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vaultix::cli {

enum TCliAction {
    caNone,    // only --help or --version
    caPorts,   // the serial ports and what stands behind them
    caSave,    // a backup from the transmitter
    caRestore, // a backup back into the transmitter
    caList,    // the models of a backup file
    caDiff,    // two backup files model by model
    caExtract, // one model of a backup as a file of its own
    caJoin,    // several backups as one all-models file
};

// The exit status of the program.
enum TCliExit : int {
    ceSuccess = 0,
    ceFailed = 1,   // a transfer failed or was cancelled, files differ, a file was refused
    ceUsage = 2,    // the command line is wrong
    cePortOpen = 3, // the port cannot be opened
};

// A mistake in the command line; the text says what is wrong, for one line on standard error.
class ECliUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCliCommand {
    TCliAction Action = caNone;
    bool ShowHelp = false;
    bool ShowVersion = false;
    bool Debug = false;
    int TxRow = -1;                   // row of transfer::TxTypes; -1 until --type
    std::string Port;                 // COMn or a device path
    bool All = false;                 // save: all models; restore: the whole memory image
    std::optional<std::size_t> Model; // counting from 1
    std::optional<std::string> Description;
    std::optional<std::uint32_t> Baud; // the test type only
    bool Yes = false;                  // restore without asking first
    bool Verify = false;               // restore: compare what the transmitter sends back
    bool Json = false;
    std::vector<std::string> Files;
};

// The row of transfer::TxTypes for a type's code ("mc22") or its list text ("MC-22"), in any
// letter case; the test type only in debug mode. Raises ECliUsage for anything else.
int FindCliType(std::string_view Name, bool Debug);

// Arguments without the program's name. Raises ECliUsage.
TCliCommand ParseCliCommand(std::span<const std::string_view> Args);

// The program's own help, or the help of one command.
std::string CliUsage(TCliAction Action);
// "vaultix-cli save": the command's name as the user types it.
std::string CliCommandName(TCliAction Action);

} // namespace vaultix::cli
