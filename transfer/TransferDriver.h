#pragma once
// Runs one transfer of the engine to its end for a face (the window, the command line): starts
// it from a plan, hands each step to the engine, keeps the port asleep until the bytes a step
// can act on are there, works out the progress figures and the hint of a silent transfer, and
// notices a device that has gone away. The face only presents what the driver tells it
// through TTransferFace, and says when the user cancels or stops.

#include "serial/ComPort.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferVerify.h"
#include "transfer/TransferWatch.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vaultix::platform {
class TIdleDriver;
}

namespace vaultix::transfer {

// What one save or restore moves, and where.
struct TTransferPlan {
    bool Sending = false;            // restore: PC to transmitter
    std::filesystem::path File;      // the backup's data file
    std::uint16_t UnitSize = 0;      // bytes of one unit (BackupFiles' UnitSize)
    bool AllModels = false;          // save: block protocol; restore: with FromChooser
    bool FromChooser = false;        // restore: one model picked out of an all-models file
    std::size_t SkipUnits = 0;       // restore: units of File before the one to send
    std::optional<std::string> Memo; // save: the description to put beside the data file
};

// The figures of a running transfer, worked out once for every face.
struct TTransferProgress {
    bool Sending = false;
    bool Blocks = false;        // all models, block by block
    std::uint32_t Block = 0;    // the block in progress, from 1; 0 before the first
    std::uint32_t UnitDone = 0; // bytes of the unit in progress
    std::uint32_t UnitSize = 0;
    std::uint64_t Total = 0;   // bytes of the whole transfer so far
    double BytesPerSecond = 0; // since the first byte; 0 until that says anything
};

// What the driver tells the face that runs it.
class TTransferFace {
public:
    virtual ~TTransferFace() = default;
    // After every step of a running transfer and at every heartbeat: the figures, and what the
    // user may check when nothing moves (empty: nothing).
    virtual void TransferMoved(const TTransferProgress& Progress, const std::string& Hint) = 0;
    // The port's device went away during the transfer; Text says which port in one sentence.
    // The transfer cannot go on: its steps do nothing until the face cancels it.
    virtual void TransferPortGone(const std::string& Text) = 0;
    // The engine is no longer running: completed, cancelled or stopped.
    virtual void TransferEnded() = 0;
};

class TTransferDriver {
public:
    TTransferDriver(TTransferEngine& Engine, serial::TOxComPort& Port, TTransferFace& Face);

    // Sets the engine up for Plan and opens its data file; a save stages its description and
    // drops what the port holds, which arrived before the user was told to send.
    // Raises the file's error when the file cannot be used.
    void Prepare(const TTransferPlan& Plan);
    // After the restore prepared last, for the type in row TxRow: sets the engine up to receive
    // what the transmitter sends back into memory, to compare it with the unit that restore
    // sent, and drops what the port holds. Nothing is written anywhere.
    void PrepareVerify(int TxRow);
    // Starts the prepared transfer; the engine installs its idle handler, whose steps go to
    // Step.
    void Start();
    // Between transfers: drops what the line brought, so that nothing piles up in the port's
    // rings or the line behind them and no stray byte can become part of the next save.
    void DiscardStrayInput();
    // The transfer began on the port the user knows as PortName ("COM3", or a device path):
    // watching it starts now.
    void Begin(std::string PortName);
    // How messages name the transfer's port: "COM3 (/dev/ttyUSB0)", or the path given.
    const std::string& PortTitle() const { return FPortTitle; }
    // One step of the running transfer. A failure the engine raises reaches the caller.
    void Step(bool& Done);
    // Cancel: a save's new content goes, the earlier backup of the name stays.
    void Cancel();
    // Stop-and-keep: a save keeps what arrived under the chosen name.
    void Stop();

    // The unit the restore prepared last sends, read when it was prepared; a verify compares
    // the send-back with it. Empty when the last transfer prepared was a save.
    const std::vector<std::uint8_t>& VerifyUnit() const { return FVerifyUnit; }
    // Whether the transfer prepared or run last is a verify.
    bool Verifying() const { return FVerifying; }
    // What the verify found, once it no longer runs: compared when the whole unit came back.
    TVerifyResult VerifyResult() const;
    // The verify's result in words.
    std::string VerifyText() const { return VerifyResultText(VerifyResult(), FVerifySubject); }
    // "Model 12 "GLIDER"": what the verify checks.
    const std::string& VerifySubject() const { return FVerifySubject; }
    // As the running transfer's hint sees it: the bytes moved, and when they last changed.
    const TTransferWatch& Watch() const { return FWatch; }

    // Whether the running transfer lost its device and waits to be cancelled.
    bool Stranded() const { return FStranded; }
    // Whether a backup of the plan's name was there before this transfer.
    bool BackupExisted() const { return FBackupExisted; }
    TTransferProgress Progress();
    std::string Hint();
    // The wake level the port keeps while the transfer runs: the loop sleeps through the bytes
    // before those the next step can act on.
    std::uint32_t WakeLevel() const;

    // Handles the pending messages of the face's event loop, waiting for the next one, without
    // letting Idle's handler run inside the running step's pause.
    static void PumpMessages(platform::TIdleDriver& Idle);

private:
    TTransferEngine& Engine;
    serial::TOxComPort& Port;
    TTransferFace& Face;
    TTransferWatch FWatch;
    std::string FPortName; // as the user knows it: "COM3", or a device path
    std::string FDevice;
    std::string FPortTitle;
    bool FStranded = false;
    bool FBackupExisted = false;
    bool FMoved = false;
    TTransferPlan FPlan;
    bool FVerifying = false;
    std::vector<std::uint8_t> FVerifyUnit;
    std::string FVerifySubject;
    TTransferWatch::TClock::time_point FFirstMove{};
};

} // namespace vaultix::transfer
