#pragma once
// The program's command line: "DEBUG" (any letter case) as the first argument switches on
// debug mode; "--demo TYPE" anywhere starts the demonstration with a simulated transmitter of
// TYPE on COM1. Every other argument is ignored.

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

} // namespace vaultix::app
