#include "tools/cli/CliSession.h"

#include "tools/cli/CliOutput.h"
#include "tools/cli/CliPort.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace vaultix::cli {

namespace {

// A failure's words as a sentence, so that more words can follow.
std::string Sentence(const std::optional<std::string>& Failure, const char* Otherwise) {
    std::string Text = Failure ? *Failure : std::string(Otherwise);
    if (Text.empty() || std::string_view(".!?").find(Text.back()) == std::string_view::npos)
        Text += '.';
    return Text;
}

} // namespace

TCliSession::TCliSession(const TCliCommand& Command)
    : FCommand(Command), FWindow(FIdle, Command.TxRow), FProgress(stderr, ::isatty(2) != 0) {
    FServices.Install();
    FWindow.Attach(FEngine);
}

TCliSession::~TCliSession() {
    FIdle.SetIdleHandler({});
    // The port's threads reach the main thread through the services: they go first.
    try {
        FPort.SetOpen(false);
    } catch (...) {
    }
}

void TCliSession::OpenPort() {
    ApplyPortSettings();
    ConfigurePort(FPort, FCommand.TxRow, FCommand.Baud);
    // The port's threads, started by the open, never take Ctrl-C from the main thread.
    TStopSignals::HoldInThisThread();
    try {
        cli::OpenPort(FPort, FCommand.Port);
    } catch (...) {
        TStopSignals::ReleaseInThisThread();
        throw;
    }
    TStopSignals::ReleaseInThisThread();
}

bool TCliSession::WaitForEnter() {
    char Byte = 0;
    for (;;) {
        if (FSignals.Requested()) return false;
        const ssize_t Got = ::read(STDIN_FILENO, &Byte, 1);
        if (Got < 0 && errno == EINTR) continue;
        if (Got <= 0) return false;
        if (Byte == '\n') return true;
    }
}

TCliExit TCliSession::Run() {
    QSocketNotifier Notifier(FSignals.WakeDescriptor(), QSocketNotifier::Read);
    QObject::connect(&Notifier, &QSocketNotifier::activated, &Notifier, [this] {
        char Bytes[16];
        while (::read(FSignals.WakeDescriptor(), Bytes, sizeof Bytes) > 0) {
        }
        Stop(std::nullopt);
    });
    // A session runs a restore and then its verify: each run starts afresh.
    FEnded = false;
    FCancelled = false;
    FFailure.reset();
    FWindow.ResumePumping();
    FDriver.Begin(FCommand.Port);
    FIdle.SetIdleHandler([this](bool& Done) { Step(Done); });
    if (FSignals.Requested()) {
        Stop(std::nullopt);
    } else {
        TransferMoved(FDriver.Progress(), FDriver.Hint());
        FLoop.exec();
    }
    FIdle.SetIdleHandler({});
    if (FEngine.Outcome() == transfer::toCompleted) LetOutputReachTheLine();
    return Report();
}

void TCliSession::LetOutputReachTheLine() {
    // Only restores and the acknowledgements of an all-models save send anything.
    if (!FEngine.Sending && !FEngine.AllModels) return;
    // Closing a port discards what it has not sent yet: the last acknowledgement of a save is
    // still on its way when the transfer completes.
    const auto Deadline = TCliClock::now() + OutputDrainLimit;
    while (FPort.OutputCount() > 0 && TCliClock::now() < Deadline && !FSignals.Requested()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // A port counts bytes as sent once the kernel holds them. A pseudo-terminal (a socat cable,
    // the simulator) hands them on only when its far end reads, and a close drops what is
    // unread, so the far end gets a moment.
    std::this_thread::sleep_for(FarEndGrace);
}

void TCliSession::Step(bool& Done) {
    Done = false;
    if (FEnded) return;
    try {
        // The idle heartbeat keeps the progress and the hints going while nothing moves.
        FDriver.Step(Done);
        if (FDriver.Verifying() && FEngine.Running()) EndSilentVerify();
    } catch (const std::exception& Error) {
        Stop(OneLine(Error.what()));
    }
}

void TCliSession::EndSilentVerify() {
    const transfer::TTransferWatch& Watch = FDriver.Watch();
    const auto Silent = TCliClock::now() - Watch.LastMove();
    if (Watch.Moved() == 0) {
        if (Silent >= VerifyFirstByteLimit)
            Stop("Nothing came from the transmitter for " +
                 std::to_string(VerifyFirstByteLimit.count()) + " s.");
    } else if (Silent >= VerifyGapLimit) {
        Stop("The transmitter stopped sending after " + std::to_string(Watch.Moved()) + " of " +
             std::to_string(FEngine.TransferSize) + " bytes (nothing for " +
             std::to_string(VerifyGapLimit.count()) + " s).");
    }
}

void TCliSession::TransferMoved(const transfer::TTransferProgress& Progress,
                                const std::string& Hint) {
    const TCliClock::time_point Now = TCliClock::now();
    FProgress.Show(Progress, Now);
    ShowHint(Hint, Now);
}

void TCliSession::ShowHint(const std::string& Hint, TCliClock::time_point Now) {
    if (Hint.empty()) {
        FHintShown.clear();
        return;
    }
    // A new hint at once, the same one again while it lasts, with its seconds counted up.
    const std::string Kind = Hint.substr(Hint.find(" s") + 2);
    if (Kind == FHintShown && Now - FHintShownAt < HintRepeat) return;
    FHintShown = Kind;
    FHintShownAt = Now;
    FProgress.Finish();
    std::fputs((Hint + "\n").c_str(), stderr);
    std::fflush(stderr);
}

void TCliSession::Stop(std::optional<std::string> Reason) {
    if (FEnded) return;
    if (Reason) {
        FFailure = std::move(Reason);
    } else {
        FCancelled = true;
    }
    // Cancel deletes a save's new content and leaves the files of the chosen name alone.
    try {
        FDriver.Cancel();
    } catch (const std::exception& Error) {
        if (!FFailure) FFailure = OneLine(Error.what());
    }
    EndLoop();
}

void TCliSession::EndLoop() {
    FEnded = true;
    FWindow.EndPumping();
    FLoop.quit();
}

std::string TCliSession::FilesLeftText() const {
    // The failure's own words say what was written.
    if (FEngine.DataKept()) return {};
    if (FEngine.Sending)
        return "The transmitter got part of the backup only: restore it once more.";
    if (FDriver.BackupExisted())
        return "The earlier backup " + FCommand.Files.front() + " stays as it was.";
    return "Nothing was saved.";
}

TCliExit TCliSession::ReportVerify() {
    if (FEngine.Outcome() == transfer::toCompleted && !FFailure && !FCancelled) {
        const transfer::TVerifyResult Result = FDriver.VerifyResult();
        std::fputs((WithNewlines(FDriver.VerifyText()) + "\n").c_str(), stdout);
        std::fflush(stdout);
        return Result.Identical() ? ceSuccess : ceFailed;
    }
    if (FCancelled) {
        PrintError(transfer::VerifyCancelledMessage);
        return ceFailed;
    }
    PrintError(Sentence(FFailure, "The verify did not complete") + " " +
               transfer::NothingVerifiedText);
    return ceFailed;
}

TCliExit TCliSession::Report() {
    FProgress.Finish();
    if (FDriver.Verifying()) return ReportVerify();
    if (FEngine.Outcome() == transfer::toCompleted && !FFailure && !FCancelled) {
        const std::string Message = FWindow.Messages().empty() ? "" : FWindow.Messages().back();
        std::fputs((WithNewlines(Message) + "\n").c_str(), stdout);
        std::fflush(stdout);
        return ceSuccess;
    }
    if (FCancelled) {
        PrintError(FEngine.Sending ? std::string("Transfer interrupted by user! ") + FilesLeftText()
                                   : std::string(transfer::TTransferEngine::CancelledMessage) +
                                         " " + FilesLeftText());
        return ceFailed;
    }
    std::string Failure = Sentence(FFailure, "The transfer did not complete");
    if (const std::string Left = FilesLeftText(); !Left.empty()) Failure += " " + Left;
    PrintError(Failure);
    return ceFailed;
}

} // namespace vaultix::cli
