// The main window as the transfer engine's window: progress, pages, the idle handler, the
// engine's timer and message pump, and the buttons of the Transfer page.

#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/IdleDriver.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

namespace vaultix::app {

void TScreen::SetProgressLabel(const std::string& Text) {
    FProgressText = QString::fromStdString(Text);
    if (Text.empty()) {
        // Cleared between transfers: at once, and the next count shows at once too.
        FProgressRefresh->stop();
        ProgressLabel->clear();
        FProgressShown.invalidate();
        return;
    }
    // A count shows at once when the last redraw is a while ago; a burst of counts is shown
    // at a readable rate, its last one by the next tick of the transfer or, without one, by
    // the refresh timer. That timer is not used while the tick runs: its own firing would
    // bring round the step that sets the next count, and so keep itself going.
    if (!FProgressShown.isValid() || FProgressShown.elapsed() >= ProgressRefreshMs) {
        RefreshProgressLabel();
    } else if (!FTransferTick->isActive() && !FProgressRefresh->isActive()) {
        FProgressRefresh->start(ProgressRefreshMs - static_cast<int>(FProgressShown.elapsed()));
    }
}

void TScreen::RefreshProgressLabel() {
    FProgressRefresh->stop();
    if (ProgressLabel->text() != FProgressText) ProgressLabel->setText(FProgressText);
    FProgressShown.start();
}

void TScreen::SetProgressBar(int Position) {
    ProgressBar1->setValue(Position);
}

void TScreen::ShowPage(int Page) {
    NB1->setCurrentIndex(Page);
    // Back on the Buttons page, the actions show what they may do now.
    if (Page == transfer::npButtons && ASaveOne != nullptr) AL1Update(this);
}

void TScreen::ShowInformation(const std::string& Text) {
    ShowMessage(this, mkInformation, Text);
}

void TScreen::InstallIdleHandler(transfer::TIdleHandler Handler) {
    FIdleHandler = Handler;
    if (Handler == transfer::ihTransferIdle) {
        Idle.SetIdleHandler([this](bool& Done) { TransferIdle(this, Done); });
        Driver.Begin("COM" + std::to_string(Port.ComNumber()));
        HintLabel->clear();
        FTransferTick->start();
    } else {
        FTransferTick->stop();
        HintLabel->clear();
        // Every arrival wakes the loop, which drops it: between transfers nothing the line
        // brings is kept. A change of CTS, a hang-up or the user wake it too.
        Port.SetInputWakeLevel(1);
        Idle.SetIdleHandler([this](bool& Done) {
            PortLost();
            Driver.DiscardStrayInput();
            MonitorIdle(this, Done);
        });
    }
}

void TScreen::ShowAnhalten() {
    Anhalten->setVisible(true);
}

int TScreen::TxBoxIndex() {
    return TxBox->currentIndex();
}

void TScreen::StartTimer(std::uint16_t Milliseconds) {
    Timer->start(Milliseconds);
}

void TScreen::StopTimer() {
    Timer->stop();
}

bool TScreen::ProcessMessages() {
    if (FTerminating || QCoreApplication::closingDown()) return false;
    transfer::TTransferDriver::PumpMessages(Idle);
    return !FTerminating && !QCoreApplication::closingDown();
}

void TScreen::TransferIdle(QObject*, bool& Done) {
    Driver.Step(Done);
}

void TScreen::AbortBtnClick(QObject*) {
    const bool Verify = Driver.Verifying() && Engine.Running();
    Driver.Cancel();
    if (Verify) ShowInformation(transfer::VerifyCancelledMessage);
}

void TScreen::anhaltenClick(QObject*) {
    // A verify keeps nothing: stopping it is cancelling it.
    const bool Verify = Driver.Verifying() && Engine.Running();
    Driver.Stop();
    if (Verify) ShowInformation(transfer::VerifyCancelledMessage);
}

void TScreen::Send40aaClick(QObject*) {
    Engine.Send40aaClick();
}

void TScreen::TimerTimer(QObject*) {
    Engine.TimerTimer();
}

} // namespace vaultix::app
