#pragma once
// The progress of a transfer on standard error: a bar redrawn in place while a terminal shows
// it, plain lines otherwise (a log, a pipe). The session hands over the transfer's state after
// every step of the engine and at every heartbeat, also while nothing moves, so whatever the
// user should learn during a transfer is told from here.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "transfer/TransferDriver.h"

namespace vaultix::cli {

using TCliClock = std::chrono::steady_clock;

using TProgressState = transfer::TTransferProgress;

class TCliProgress {
public:
    static constexpr std::chrono::milliseconds BarRefresh{100};
    static constexpr std::chrono::seconds LineInterval{1};
    static constexpr int BarWidth = 30;

    TCliProgress(std::FILE* Out, bool Terminal);

    void Show(const TProgressState& State, TCliClock::time_point Now);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();

    // The text of one report: "Block 2:  512 of 1024 bytes, 400 bytes/s".
    static std::string Describe(const TProgressState& State);
    // The bar: "[###########-------------------]".
    static std::string Bar(const TProgressState& State);

private:
    void Write(const std::string& Text);

    std::FILE* FOut;
    bool FTerminal;
    bool FBarShown = false;
    std::string FLastText;
    TCliClock::time_point FLastShown{};
    std::uint64_t FLastTotal = 0;
};

} // namespace vaultix::cli
