#pragma once
// The transfer engine's window on a terminal. The engine asks a window for its progress label
// and bar, pages, message boxes, its idle handler and a timer with a message pump for the pause
// before an acknowledgement. Here the pages and the label mean nothing (the session reads the
// engine's state for the progress itself), the messages are kept for the session to print, and
// the timer and the pump are Qt's, as in the window, so a pause sleeps instead of spinning.

#include "platform/IdleDriver.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferWindow.h"

#include <QTimer>

#include <string>
#include <vector>

namespace vaultix::cli {

class TCliWindow final : public transfer::TTransferWindow {
public:
    TCliWindow(platform::TIdleDriver& Idle, int TxRow);

    // The engine whose pause the timer ends.
    void Attach(transfer::TTransferEngine& Engine);
    // The session is over: a pause still running ends at once.
    void EndPumping() { FEnded = true; }
    // Another transfer of the session begins.
    void ResumePumping() { FEnded = false; }
    // Every information text the engine showed, oldest first (UTF-8, "\r" breaks lines).
    const std::vector<std::string>& Messages() const { return FMessages; }

    void SetProgressLabel(const std::string&) override {}
    void SetProgressBar(int) override {}
    void ShowPage(int) override {}
    void ShowInformation(const std::string& Text) override { FMessages.push_back(Text); }
    void InstallIdleHandler(transfer::TIdleHandler) override {}
    void ShowAnhalten() override {}
    int TxBoxIndex() override { return FTxRow; }
    void StartTimer(std::uint16_t Milliseconds) override;
    void StopTimer() override;
    bool ProcessMessages() override;

private:
    platform::TIdleDriver& FIdle;
    int FTxRow;
    QTimer FTimer;
    bool FEnded = false;
    std::vector<std::string> FMessages;
};

} // namespace vaultix::cli
