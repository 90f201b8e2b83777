#include "tools/cli/CliWindow.h"

#include <QCoreApplication>
#include <QEventLoop>

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
    // The pause belongs to the running step: the idle handler must not run inside it.
    platform::TIdleSuspension Suspended(FIdle);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !FEnded;
}

} // namespace vaultix::cli
