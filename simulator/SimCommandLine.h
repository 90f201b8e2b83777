#pragma once
// The command line of vaultix-sim, parsed into simulator options.

#include "simulator/SimOptions.h"

#include <span>
#include <string>
#include <string_view>

namespace vaultix::simulator {

struct TSimCommand {
    TSimOptions Options;
    bool ShowHelp = false;
    bool WaitForEnter = false; // start only when the user presses Enter
    bool Quiet = false;        // no event lines, only the path and the summary
    std::string FilePath;      // image to send, or the image a restore must bring
    std::string OutputPath;    // a restore's bytes are stored here
};

// The row of transfer::TxTypes for a type's name as transfer::FindTxType takes it, or for the
// row number itself. -1 when nothing matches.
int FindTxType(std::string_view Name);

// Args without the program name. Throws std::invalid_argument with a message for the user.
TSimCommand ParseCommandLine(std::span<const std::string_view> Args);

const char* UsageText();

} // namespace vaultix::simulator
