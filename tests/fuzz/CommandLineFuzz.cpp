// The command line of vaultix-cli: any arguments give a command or a usage error with words,
// never a crash; a command names only files it was given.

#include "FuzzFiles.h"

#include "tools/cli/CliCommandLine.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

using namespace vaultix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    // Arguments are the input split at its zero bytes, as they reach main.
    const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
    std::vector<std::string_view> Args;
    for (std::size_t Start = 0; Start <= Input.size() && Args.size() < 64;) {
        const std::size_t End = std::min(Input.find('\0', Start), Input.size());
        Args.push_back(Input.substr(Start, End - Start));
        Start = End + 1;
    }
    try {
        const cli::TCliCommand Command = cli::ParseCliCommand(Args);
        for (const std::string& File : Command.Files)
            fuzz::Require(std::find(Args.begin(), Args.end(), File) != Args.end(),
                          "a file that was not given");
        fuzz::Require(!cli::CliUsage(Command.Action).empty(), "a command without help");
    } catch (const cli::ECliUsage& Error) {
        fuzz::Require(*Error.what() != '\0', "a usage error without words");
    }
    return 0;
}
