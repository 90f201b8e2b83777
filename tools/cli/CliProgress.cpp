#include "tools/cli/CliProgress.h"

#include <algorithm>
#include <cmath>

namespace vaultix::cli {

TCliProgress::TCliProgress(std::FILE* Out, bool Terminal) : FOut(Out), FTerminal(Terminal) {}

std::string TCliProgress::Describe(const TProgressState& State) {
    const double BytesPerSecond = State.BytesPerSecond;
    std::string Text;
    if (State.Blocks && State.Block > 0) Text = "Block " + std::to_string(State.Block) + ":  ";
    Text += std::to_string(State.UnitDone) + " of " + std::to_string(State.UnitSize) + " bytes";
    if (BytesPerSecond > 0) Text += ", " + std::to_string(std::lround(BytesPerSecond)) + " bytes/s";
    return Text;
}

std::string TCliProgress::Bar(const TProgressState& State) {
    const double Part =
        State.UnitSize == 0 ? 0.0 : std::min(1.0, double(State.UnitDone) / State.UnitSize);
    const auto Filled = static_cast<std::size_t>(Part * BarWidth);
    // Filled in place: a chain of string sums draws a false overlap warning from GCC 12.
    std::string Text(BarWidth + 2, '-');
    Text.front() = '[';
    Text.back() = ']';
    std::fill_n(Text.begin() + 1, Filled, '#');
    return Text;
}

void TCliProgress::Show(const TProgressState& State, TCliClock::time_point Now) {
    const bool UnitComplete = State.UnitSize > 0 && State.UnitDone >= State.UnitSize;
    const bool Moved = State.Total != FLastTotal || FLastText.empty();
    if (FTerminal) {
        if (!Moved && Now - FLastShown < std::chrono::seconds(1)) return;
        if (!UnitComplete && Now - FLastShown < BarRefresh) return;
        const std::string Text = Bar(State) + "  " + Describe(State);
        if (Text == FLastText) return;
        // Back to the line's start, the new text, and the rest of the old one cleared.
        Write("\r" + Text + "\x1b[K");
        FBarShown = true;
        FLastText = Text;
    } else {
        if (!Moved) return;
        if (!UnitComplete && Now - FLastShown < LineInterval) return;
        const std::string Text = Describe(State);
        if (Text == FLastText) return;
        Write(Text + "\n");
        FLastText = Text;
    }
    FLastShown = Now;
    FLastTotal = State.Total;
}

void TCliProgress::Finish() {
    if (FBarShown) Write("\n");
    FBarShown = false;
}

void TCliProgress::Write(const std::string& Text) {
    std::fputs(Text.c_str(), FOut);
    std::fflush(FOut);
}

} // namespace vaultix::cli
