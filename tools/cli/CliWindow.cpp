#include "tools/cli/CliWindow.h"

#include "transfer/TransferDriver.h"

namespace vaultix::cli {

TCliWindow::TCliWindow(platform::TIdleDriver& Idle, int TxRow) : FIdle(Idle), FTxRow(TxRow) {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
}

void TCliWindow::Attach(transfer::TTransferEngine& Engine) {
    QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [&Engine] { Engine.TimerTimer(); });
}

void TCliWindow::StartTimer(std::uint16_t Milliseconds) {
    FTimer.start(Milliseconds);
}

void TCliWindow::StopTimer() {
    FTimer.stop();
}

bool TCliWindow::ProcessMessages() {
    if (FEnded) return false;
    transfer::TTransferDriver::PumpMessages(FIdle);
    return !FEnded;
}

} // namespace vaultix::cli
