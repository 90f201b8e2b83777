#include "app/DemoMode.h"

#include "app/Screen.h"
#include "platform/ComPortMap.h"
#include "transfer/BackupFiles.h"
#include "transfer/TxTypes.h"

#include <cstdio>

namespace vaultix::app {

namespace {

constexpr int DemoComPort = 1;
// Models of a demonstration "save all".
constexpr std::size_t DemoModelCount = 3;

simulator::TSimOptions BaseOptions(int TxRow) {
    simulator::TSimOptions Options;
    Options.TypeRow = TxRow;
    Options.Mode = simulator::TSimMode::smSendModel;
    Options.StartDelay = TDemo::DemoSendDelay;
    Options.Linger = std::chrono::milliseconds(0);
    return Options;
}

bool SameRole(const simulator::TSimOptions& A, const simulator::TSimOptions& B) {
    return A.TypeRow == B.TypeRow && A.Mode == B.Mode && A.Models == B.Models;
}

} // namespace

TDemo::TDemo(int TxRow) : FTxRow(TxRow), FSimulator(MakeSimulator(BaseOptions(TxRow))) {}

TDemo::~TDemo() {
    if (FSimulator) FSimulator->Stop();
}

std::string TDemo::DevicePath() const {
    return FSimulator->SlavePath();
}

std::unique_ptr<simulator::TTxSimulator> TDemo::MakeSimulator(simulator::TSimOptions Options) {
    return std::make_unique<simulator::TTxSimulator>(
        std::move(Options),
        [](const std::string& Line) { std::fprintf(stderr, "demo: %s\n", Line.c_str()); });
}

simulator::TSimOptions TDemo::OptionsFor(TScreen& Screen) const {
    const transfer::TTransferEngine& Engine = Screen.TransferEngine();
    const int Row = Screen.TxBoxIndex();
    simulator::TSimOptions Options = BaseOptions(transfer::IsValidTxSelection(Row) ? Row : FTxRow);
    const bool WholeMemory = Engine.TransferSize == transfer::WholeMemorySize(Options.TypeRow) &&
                             Engine.TransferSize != 0;
    using simulator::TSimMode;
    if (Screen.TransferDriver().Verifying()) {
        Options.Mode = WholeMemory ? TSimMode::smSendMemory : TSimMode::smSendModel;
    } else if (Engine.Sending) {
        Options.StartDelay = std::chrono::milliseconds(0);
        Options.Mode = WholeMemory ? TSimMode::smReceiveMemory : TSimMode::smReceiveModels;
        Options.Models = 1;
    } else if (Engine.AllModels) {
        Options.Mode = TSimMode::smSendAll;
        Options.Models = DemoModelCount;
    } else {
        Options.Mode = WholeMemory ? TSimMode::smSendMemory : TSimMode::smSendModel;
    }
    return Options;
}

void TDemo::BeforeTransfer(TScreen& Screen) {
    simulator::TSimOptions Wanted = OptionsFor(Screen);
    if (Screen.TransferDriver().Verifying()) {
        // The demonstration's transmitter holds what the restore brought it, and sends that.
        Wanted.Image = FSimulator->Stop().Received;
        if (Wanted.Image.size() != Screen.TransferEngine().TransferSize)
            Wanted.Image = Screen.TransferDriver().VerifyUnit();
    }
    if (FStarted || !SameRole(Wanted, FSimulator->Options())) {
        // A fresh simulator on a new pseudo-terminal: COM1 moves over to it.
        auto Next = MakeSimulator(std::move(Wanted));
        const serial::TTraceLogState Tracing = Screen.Port.Tracing();
        Screen.Port.SetOpen(false);
        FSimulator->Stop();
        FSimulator = std::move(Next);
        platform::SetPortOverride(DemoComPort, FSimulator->SlavePath());
        if (Tracing != serial::tlOff) Screen.Port.SetTracing(serial::tlOn);
        Screen.Port.SetOpen(true);
    }
    FSimulator->Start();
    FStarted = true;
}

} // namespace vaultix::app
