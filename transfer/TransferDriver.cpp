#include "transfer/TransferDriver.h"

#include "platform/ComPortMap.h"
#include "platform/IdleDriver.h"
#include "platform/PortDiagnosis.h"
#include "platform/RuntimeExceptions.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <system_error>

namespace vaultix::transfer {

TTransferDriver::TTransferDriver(TTransferEngine& Engine, serial::TOxComPort& Port,
                                 TTransferFace& Face)
    : Engine(Engine), Port(Port), Face(Face) {}

void TTransferDriver::Prepare(const TTransferPlan& Plan) {
    FVerifying = false;
    FPlan = Plan;
    std::error_code Error;
    FBackupExisted = !Plan.Sending && std::filesystem::exists(Plan.File, Error);
    FVerifyUnit.clear();
    if (Plan.Sending) {
        // A verify compares with what this restore sends, whatever becomes of the file later.
        FVerifyUnit = ReadRestoredUnit(Plan.File, Plan.UnitSize, Plan.SkipUnits);
        Engine.PrepareSend(Plan.File, Plan.UnitSize, Plan.AllModels, Plan.FromChooser,
                           Plan.SkipUnits);
        return;
    }
    // Whatever the line brought before the user is told to send is not the model.
    if (Port.Open()) Port.ClearInput();
    if (Plan.Memo) Engine.StageDescription(Plan.File, *Plan.Memo);
    Engine.PrepareReceive(Plan.File, Plan.UnitSize, Plan.AllModels);
}

void TTransferDriver::PrepareVerify(int TxRow) {
    if (!FPlan.Sending || FVerifyUnit.size() != FPlan.UnitSize)
        throw platform::Exception("There is no restore to verify.");
    FBackupExisted = false;
    FVerifySubject = RestoredSubject(FVerifyUnit, TxRow);
    // What the line brought before the user was told to send is not the model.
    if (Port.Open()) Port.ClearInput();
    Engine.PrepareReceiveInMemory(FPlan.UnitSize, FPlan.FromChooser);
    FVerifying = true;
}

TVerifyResult TTransferDriver::VerifyResult() const {
    if (!FVerifying || Engine.Running() || Engine.Outcome() != toCompleted) return {};
    return CompareUnits(FVerifyUnit, Engine.Received());
}

void TTransferDriver::Start() {
    Engine.Start();
}

void TTransferDriver::DiscardStrayInput() {
    // A prepared transfer keeps what arrives: the user was told to send already.
    if (Engine.Running() || Engine.DataFile.IsOpen() || !Port.Open()) return;
    try {
        if (Port.InputCount() > 0) Port.ClearInput();
    } catch (...) {
        // A port that fails here is noticed by its own checks, or by the next transfer's start.
    }
}

void TTransferDriver::Begin(std::string PortName) {
    if (const int Number = platform::ParseComPortName(PortName); Number >= 0)
        PortName = "COM" + std::to_string(Number);
    FPortName = PortName;
    FDevice = Port.DevicePath();
    FPortTitle = platform::PortTitle(FPortName, FDevice);
    FStranded = false;
    FMoved = false;
    FWatch.Start(Engine.Sending, FPortTitle, TTransferWatch::TClock::now());
    Port.SetInputWakeLevel(WakeLevel());
}

void TTransferDriver::Step(bool& Done) {
    Done = false;
    // A transfer whose device went away waits for Cancel and is never taken up again: whatever
    // the transmitter sends after a new start would not continue it.
    if (FStranded || !Engine.Running()) return;
    if (Port.DeviceGone()) {
        FStranded = true;
        Face.TransferPortGone(platform::ProblemText(platform::PortVanished(FPortName, FDevice)));
        return;
    }
    Engine.TransferIdle(Done);
    if (!Engine.Running()) {
        Face.TransferEnded();
        return;
    }
    Port.SetInputWakeLevel(WakeLevel());
    Face.TransferMoved(Progress(), Hint());
}

void TTransferDriver::Cancel() {
    Engine.AbortBtnClick();
}

void TTransferDriver::Stop() {
    Engine.anhaltenClick();
}

std::uint32_t TTransferDriver::WakeLevel() const {
    return Engine.InputWanted();
}

TTransferProgress TTransferDriver::Progress() {
    TTransferProgress Figures;
    Figures.Sending = Engine.Sending;
    Figures.Blocks = !Engine.Sending && Engine.AllModels;
    Figures.UnitSize = Engine.TransferSize;
    Figures.UnitDone = Engine.UnitDone();
    if (Figures.Blocks) Figures.Block = Engine.BlocksBegun();
    if (Figures.Sending) {
        Figures.Total = Figures.UnitDone;
    } else {
        std::uint64_t Stored = 0;
        try {
            if (Engine.IntoMemory())
                Stored = Engine.Received().size();
            else if (Engine.DataFile.IsOpen())
                Stored = Engine.DataFile.Length();
        } catch (...) {
        }
        Figures.Total =
            Stored + (Figures.UnitDone - std::min<std::uint32_t>(Figures.UnitDone, Engine.Count));
    }
    const TTransferWatch::TClock::time_point Now = TTransferWatch::TClock::now();
    if (Figures.Total > 0 && !FMoved) {
        FMoved = true;
        FFirstMove = Now;
    }
    // A fraction of a second says nothing about the rate yet.
    const double Seconds = std::chrono::duration<double>(Now - FFirstMove).count();
    if (FMoved && Seconds >= 0.5) Figures.BytesPerSecond = double(Figures.Total) / Seconds;
    return Figures;
}

std::string TTransferDriver::Hint() {
    if (FStranded || !Engine.Running()) return {};
    return FWatch.Hint(Engine.BytesMoved(), Engine.OutOfStep(), TTransferWatch::TClock::now());
}

void TTransferDriver::PumpMessages(platform::TIdleDriver& Idle) {
    // The pause belongs to the running step: the idle handler must not run inside it.
    platform::TIdleSuspension Suspended(Idle);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace vaultix::transfer
