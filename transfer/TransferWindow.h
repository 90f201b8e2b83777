#pragma once
// What the transfer engine needs of the main window: the progress label and bar, the pages of
// the notebook NB1, an information box, the idle handler switch, the Anhalten button, the
// transmitter selection, and the timer and message pump behind Pause. The main window
// implements it with its own controls; tests and the command line implement it without any.
// Texts are UTF-8; "\r" in a text breaks the line.

#include <cstdint>
#include <string>

namespace vaultix::transfer {

// Pages of NB1.
enum TNotebookPage : int {
    npButtons = 0,
    npTransfer = 1,
    npDescription = 2,
    npChooseModel = 3,
};

// The application keeps one idle handler; these are the two the program has.
enum TIdleHandler {
    ihMonitorIdle,  // no transfer runs: the window mirrors CTS
    ihTransferIdle, // a transfer runs: the window calls TTransferEngine::TransferIdle
};

class TTransferWindow {
public:
    virtual ~TTransferWindow() = default;

    // Caption of ProgressLabel.
    virtual void SetProgressLabel(const std::string& Text) = 0;
    // Position of ProgressBar1, 0 to 100.
    virtual void SetProgressBar(int Position) = 0;
    // Shows page Page of NB1.
    virtual void ShowPage(int Page) = 0;
    // Modal box with the information icon and an OK button; returns when it is closed. The
    // current idle handler keeps running while it is open.
    virtual void ShowInformation(const std::string& Text) = 0;
    // Makes Handler the application's idle handler.
    virtual void InstallIdleHandler(TIdleHandler Handler) = 0;
    // Makes the button Anhalten visible (it stays visible until the program ends).
    virtual void ShowAnhalten() = 0;
    // Selection index of TxBox; -1 when nothing is selected.
    virtual int TxBoxIndex() = 0;

    // Timer: a one-shot timer. StartTimer sets its interval and enables it; when it fires, the
    // window calls TTransferEngine::TimerTimer. StopTimer disables it.
    virtual void StartTimer(std::uint16_t Milliseconds) = 0;
    virtual void StopTimer() = 0;
    // Handles the window's pending messages, waiting for the next one when none is pending
    // (the timer's firing is one), and returns. Never calls the idle handler. Returns false
    // when the application is shutting down, which ends a Pause at once.
    virtual bool ProcessMessages() = 0;
};

} // namespace vaultix::transfer
