#pragma once
// One transfer with the transmitter, from opening the port to the outcome: the same port
// component, transfer engine and idle driver as the window, run by an event loop of its own.
// Ctrl-C acts as Cancel, a device that goes away ends the transfer, and every end keeps the
// earlier backup of the chosen name unless the transfer completed.

#include "platform/IdleDriver.h"
#include "platform/QtNotifyServices.h"
#include "serial/ComPort.h"
#include "tools/cli/CliCommandLine.h"
#include "tools/cli/CliProgress.h"
#include "tools/cli/CliSignals.h"
#include "tools/cli/CliWindow.h"
#include "transfer/TransferDriver.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferPort.h"

#include <QEventLoop>

#include <chrono>
#include <optional>
#include <string>

namespace vaultix::cli {

class TCliSession final : public transfer::TTransferFace {
public:
    // An application object must exist.
    explicit TCliSession(const TCliCommand& Command);
    ~TCliSession();
    TCliSession(const TCliSession&) = delete;
    TCliSession& operator=(const TCliSession&) = delete;

    // Opens the command's port; raises ECliFailure with cePortOpen when it cannot.
    void OpenPort();
    serial::TOxComPort& Port() { return FPort; }
    transfer::TTransferDriver& Driver() { return FDriver; }
    bool StopRequested() const { return FSignals.Requested(); }

    // Waits for the user to press Enter; false when standard input ended or Ctrl-C came first.
    bool WaitForEnter();

    // Runs the transfer the engine was started for to its end, tells the outcome and returns
    // the exit status.
    TCliExit Run();

    // The longest wait for the port to send what it holds after a transfer, and the time the
    // far end of the line gets afterwards before the port closes.
    static constexpr std::chrono::seconds OutputDrainLimit{3};
    static constexpr std::chrono::milliseconds FarEndGrace{200};
    // A verify waits for the transmitter's send-back this long for its first byte, and this
    // long for the next one once it comes; then nothing is verified. A transmitter sends a
    // model without pauses, so a gap means the line was cut or the sending stopped.
    static constexpr std::chrono::seconds VerifyFirstByteLimit{60};
    static constexpr std::chrono::seconds VerifyGapLimit{5};

    void TransferMoved(const transfer::TTransferProgress& Progress,
                       const std::string& Hint) override;
    void TransferPortGone(const std::string& Text) override { Stop(Text); }
    void TransferEnded() override { EndLoop(); }

private:
    void Step(bool& Done);
    // Ends a verify whose send-back stays silent beyond its limit.
    void EndSilentVerify();
    void LetOutputReachTheLine();
    void ShowHint(const std::string& Hint, TCliClock::time_point Now);
    // Ends the transfer the way Cancel does: by the user, or for Reason.
    void Stop(std::optional<std::string> Reason);
    void EndLoop();
    TCliExit Report();
    TCliExit ReportVerify();
    // What becomes of the files of the transfer when it did not complete.
    std::string FilesLeftText() const;

    const TCliCommand& FCommand;
    platform::TQtNotifyServices FServices;
    platform::TIdleDriver FIdle;
    serial::TOxComPort FPort;
    transfer::TTransferPortOf<serial::TOxComPort> FLink{FPort};
    TCliWindow FWindow;
    transfer::TTransferEngine FEngine{FLink, FWindow};
    transfer::TTransferDriver FDriver{FEngine, FPort, *this};
    TCliProgress FProgress;
    // What to check when nothing moves, the same words as the window's; told again every
    // HintRepeat while it lasts.
    std::string FHintShown;
    TCliClock::time_point FHintShownAt{};
    static constexpr std::chrono::seconds HintRepeat{10};
    TStopSignals FSignals;
    QEventLoop FLoop;
    bool FEnded = false;
    bool FCancelled = false;
    std::optional<std::string> FFailure;
};

} // namespace vaultix::cli
