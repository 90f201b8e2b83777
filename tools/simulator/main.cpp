// vaultix-sim: a simulated transmitter on a pseudo-terminal (or a serial device).

#include "simulator/SimCommandLine.h"
#include "simulator/TxSimulator.h"
#include "transfer/TxTypes.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

using namespace vaultix::simulator;

namespace {

volatile std::sig_atomic_t StopRequested = 0;

extern "C" void OnStopSignal(int) {
    StopRequested = 1;
}

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of the Enter key is interrupted by Ctrl-C.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char* ModeText(TSimMode Mode) {
    switch (Mode) {
    case TSimMode::smSendModel:
        return "sending one model";
    case TSimMode::smSendMemory:
        return "sending the whole memory";
    case TSimMode::smSendAll:
        return "sending all models";
    case TSimMode::smReceiveModels:
        return "receiving a restore of models";
    case TSimMode::smReceiveMemory:
        return "receiving a restore of the whole memory";
    }
    return "?";
}

void PrintSummary(const TSimResult& Result) {
    std::fprintf(stderr, "outcome: %s; %zu bytes sent, %zu received in %lld ms\n",
                 OutcomeText(Result.Outcome), Result.BytesSent, Result.BytesReceived,
                 static_cast<long long>(Result.Duration.count()));
    for (const TAckRecord& ack : Result.Acks)
        std::fprintf(stderr, "  acknowledgement (%s, block %zu) after %lld ms%s\n",
                     AckKindText(ack.Kind), ack.Block, static_cast<long long>(ack.Delay.count()),
                     ack.Early ? "  TOO EARLY" : "");
    for (const std::string& error : Result.Errors)
        std::fprintf(stderr, "FAILED: %s\n", error.c_str());
}

bool AsAsked(const TSimResult& Result, const TSimOptions& Options) {
    if (!Result.Errors.empty()) return false;
    switch (Result.Outcome) {
    case TSimOutcome::soCompleted:
        return true;
    case TSimOutcome::soHungUp:
        return Options.Faults.HangupAfter.has_value();
    case TSimOutcome::soStalled:
        return Options.Faults.StallAfter.has_value();
    default:
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    TSimCommand command;
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        command = ParseCommandLine(args);
        if (command.ShowHelp) {
            std::fputs(UsageText(), stdout);
            return 0;
        }
        if (!command.FilePath.empty()) command.Options.Image = LoadImageFile(command.FilePath);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vaultix-sim: %s\nTry vaultix-sim --help.\n", error.what());
        return 2;
    }

    InstallStopSignals();
    TSimLog log;
    if (!command.Quiet)
        log = [](const std::string& Line) { std::fprintf(stderr, "sim: %s\n", Line.c_str()); };
    try {
        TTxSimulator simulator(command.Options, log);
        const auto& row =
            vaultix::transfer::TxTypes[static_cast<std::size_t>(command.Options.TypeRow)];
        std::printf("%s\n", simulator.SlavePath().c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "%s transmitter at %u baud%s on %s: %s, %zu unit(s) of %zu bytes\n",
                     row.TxBoxEntry, simulator.RunPlan().Baud,
                     command.Options.Paced ? "" : " (fast)", simulator.SlavePath().c_str(),
                     ModeText(command.Options.Mode), simulator.RunPlan().Units,
                     simulator.RunPlan().UnitSize);
        if (command.WaitForEnter) {
            std::fprintf(stderr, "Press Enter to start the transfer.\n");
            std::string line;
            std::getline(std::cin, line);
        }
        if (StopRequested) return 1;

        simulator.Start();
        std::optional<TSimResult> result;
        // The signal handler only sets a flag; looking at it five times a second is enough.
        while (!(result = simulator.Wait(milliseconds(200))))
            if (StopRequested) result = simulator.Stop();

        PrintSummary(*result);
        if (!command.OutputPath.empty()) SaveImageFile(command.OutputPath, result->Received);
        return AsAsked(*result, command.Options) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vaultix-sim: %s\n", error.what());
        return 2;
    }
}
