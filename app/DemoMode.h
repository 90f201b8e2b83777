#pragma once
// The demonstration: a simulated transmitter on a pseudo-terminal in this process, reached as
// COM1, so that every flow can be tried without a transmitter or a cable.
//
// The window opens with the demonstration's type selected and COM1 open on the simulator.
// Whenever a transfer starts (the user has confirmed the instruction), the simulator takes the
// part the flow needs: for a save it starts sending DemoSendDelay later, as a user at the
// transmitter would; for a restore it receives and keeps what arrives. When the part needs a
// fresh simulator, COM1 is moved onto it and the port reopened before the transfer starts.

#include "simulator/TxSimulator.h"

#include <chrono>
#include <memory>
#include <string>

namespace vaultix::app {

class TScreen;

class TDemo {
public:
    static constexpr std::chrono::milliseconds DemoSendDelay{2000};

    // Prepares a simulator of the type in row TxRow that sends one model. Throws
    // std::system_error when no pseudo-terminal can be made.
    explicit TDemo(int TxRow);
    ~TDemo();
    TDemo(const TDemo&) = delete;
    TDemo& operator=(const TDemo&) = delete;

    int TxRow() const { return FTxRow; }
    // The device COM1 stands for.
    std::string DevicePath() const;

    // The window's hook right before a transfer starts.
    void BeforeTransfer(TScreen& Screen);

    // The simulator now on COM1.
    simulator::TTxSimulator* Simulator() { return FSimulator.get(); }

private:
    simulator::TSimOptions OptionsFor(TScreen& Screen) const;
    static std::unique_ptr<simulator::TTxSimulator> MakeSimulator(simulator::TSimOptions Options);

    const int FTxRow;
    std::unique_ptr<simulator::TTxSimulator> FSimulator;
    bool FStarted = false;
};

} // namespace vaultix::app
