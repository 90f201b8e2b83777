#pragma once
// The transfer engine: moves the bytes of one transfer between the serial port and a data file
// and speaks the transmitter's protocol. It has no thread of its own; TransferIdle is one step,
// called by the window's idle handler while a transfer runs. It reaches the port and the window
// only through TTransferPort and TTransferWindow.
//
// A flow starts a transfer in three moves: set the transfer fields and open the data file
// (PrepareReceive / PrepareSend, or the fields by hand plus CreateDataFile / OpenDataFile),
// tell the user to ready the transmitter, then Start. Every end of a transfer (completion,
// Cancel, stop) installs MonitorIdle again; a receive writes the chosen file only at its end.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/DataFile.h"
#include "transfer/TransferBuffer.h"
#include "transfer/TransferPort.h"
#include "transfer/TransferWindow.h"
#include "transfer/TxTypes.h"

namespace vaultix::transfer {

// How the last transfer ended, for drivers without a window (the command line, tests).
enum TTransferOutcome {
    toNone,      // no transfer has run yet
    toRunning,   // a transfer runs (possibly halted by an error)
    toCompleted, // complete, the outcome was shown
    toCancelled, // Cancel
    toStopped,   // stop-and-keep
    toFailed,    // the end could not be carried out (the error was raised)
};

class TTransferEngine {
public:
    TTransferEngine(TTransferPort& Port, TTransferWindow& Window);
    TTransferEngine(const TTransferEngine&) = delete;
    TTransferEngine& operator=(const TTransferEngine&) = delete;

    // Transfer fields; the flows set them before Start, the engine reads and updates them.
    bool Sending = false;           // true: PC to transmitter
    bool AllModels = false;         // receiving: block protocol; sending: only with FromChooser
    bool FromChooser = false;       // sending one model picked in the chooser; its page returns
    bool AwaitHeader = false;       // block protocol: the next two bytes are a block header
    bool EndSeen = false;           // block protocol: the end marker has arrived
    std::uint16_t BlockNo = 0;      // blocks received in this transfer
    std::uint16_t TransferSize = 0; // bytes of one unit
    std::uint16_t Count = 0;        // bytes of the current unit transferred so far
    TDataFile DataFile;
    // A save's description, kept back until the data file of its name is replaced, so that a
    // cancelled save leaves the earlier backup's pair of files as it was.
    TDataFile DescriptionFile;
    bool Waiting = false; // Pause waits for the timer

    // The program-wide buffer between port and file.
    static inline std::array<std::uint8_t, TransferBufferSize>& TransferBuffer =
        transfer::TransferBuffer;

    static constexpr std::uint16_t AcknowledgeDelay = 700; // milliseconds
    static constexpr std::uint16_t EarlyTake = 5120;       // bytes taken before a unit is whole
    // Bytes a send keeps queued ahead of the line: about 30 ms at the transmitters' speeds, so
    // the driver has the next byte when one has left, and Cancel stops the line at once.
    static constexpr std::uint16_t SendLead = 12;

    // Receive side: sets the fields for a receive of units of UnitSize bytes (block protocol
    // with AllModelsMode) and starts new content for FileName. FileName itself is replaced
    // only when the transfer completes or is stopped.
    void PrepareReceive(const std::filesystem::path& FileName, std::uint16_t UnitSize,
                        bool AllModelsMode);
    // Send side: sets the fields for sending one unit of UnitSize bytes and opens FileName
    // at the unit after SkipUnits units.
    void PrepareSend(const std::filesystem::path& FileName, std::uint16_t UnitSize,
                     bool AllModelsMode, bool FromChooserMode, std::size_t SkipUnits = 0);
    // Receive side into memory: one plain unit of UnitSize bytes that no file takes, for a
    // verify that compares what the transmitter sends back with the backup. At the end nothing
    // is shown but the page (the chooser's with BackToChooser); the face tells the result.
    void PrepareReceiveInMemory(std::uint16_t UnitSize, bool BackToChooser);
    // The file halves of the above, for flows that set the fields themselves.
    void CreateDataFile(const std::filesystem::path& FileName);
    // Writes the description of the save to come beside its data file FileName; it replaces
    // the description file there when the received data replace the data file.
    void StageDescription(const std::filesystem::path& FileName, std::string_view MemoText);
    // Raises the end-of-file I/O error unless a whole unit of TransferSize bytes follows the
    // skipped units, and then leaves no file open.
    void OpenDataFile(const std::filesystem::path& FileName, std::size_t SkipUnits = 0);
    // Installs TransferIdle. The type of TxBox at this moment is the transfer's type.
    void Start();

    // One step; always leaves Done false. A failure raised by a step halts the transfer: the
    // error reaches the caller this once, later steps do nothing, and the transfer never
    // reports success; Cancel or stop ends it.
    void TransferIdle(bool& Done);
    // Cancel: ends the transfer; a receive's new content is deleted, the previous backup of
    // that name stays.
    void AbortBtnClick();
    // Stop-and-keep: ends the transfer; a receive stores what arrived under the chosen name.
    void anhaltenClick();
    // Sends the acknowledgement at once, whatever the engine's state.
    void Send40aaClick();
    // Waits Milliseconds while the window keeps handling its messages.
    void Pause(std::uint16_t Milliseconds);
    // The timer's event: ends a Pause.
    void TimerTimer();

    // Bytes the transfer has moved so far: received (taken, markers included, and waiting) or
    // sent (handed to the device).
    std::uint64_t BytesMoved();
    // A block-protocol receive saw a block begin without its header: a stray byte may have
    // shifted the blocks, and the transmitter's end marker may never be read as one.
    bool OutOfStep() const { return FOutOfStep; }
    // Blocks of a block-protocol receive begun so far, with or without their header.
    std::uint32_t BlocksBegun() const { return FBlocksBegun; }
    // Bytes of the unit in progress: received ones waiting in the input count in, never more
    // than the unit lacks, and none while a block header is due; sent ones once the port has
    // them.
    std::uint32_t UnitDone();
    // The waiting input the next step can act on: 2 for a block header, the rest of the unit or
    // the next early piece; 0 when input does not matter (sending, no transfer running).
    std::uint32_t InputWanted() const;

    // What a receive into memory has taken so far; the whole unit once it completed.
    const std::vector<std::uint8_t>& Received() const { return FReceived; }
    bool IntoMemory() const { return FIntoMemory; }

    bool Running() const { return FState != tsIdle; }
    bool Halted() const { return FState == tsHalted; }
    TTransferOutcome Outcome() const { return FOutcome; }
    // Whether this transfer's data file replaced the file of its name, also when its
    // description could not follow.
    bool DataKept() const { return FDataKept; }

    static constexpr char CompletedMessage[] = "Transfer successfully completed.";
    static constexpr char CancelledMessage[] =
        "Transfer interrupted by user!\rIncomplete data file has been deleted.";
    static constexpr char StoppedMessage[] =
        "Transfer interrupted by user!\rIncomplete data file stored for debugging purposes.";
    static constexpr char NoModelMessage[] = "The transmitter sent no model, so nothing was saved.";
    static constexpr char HaltedLabel[] = "Transfer halted by an error. Click Cancel.";

private:
    // The fields every transfer starts from: nothing transferred, no block seen.
    void SetTransferFields(bool SendingMode, bool AllModelsMode, bool FromChooserMode,
                           std::uint16_t UnitSize);

    enum TState { tsIdle, tsRunning, tsHalted };

    void Step();
    void SendStep();
    void ReceiveStep();
    void ShowProgress();
    bool IsComplete();
    void Complete();
    std::string CompletionMessage() const;
    void Finish(TTransferOutcome Outcome);
    // Puts a receive's data file, then its staged description, in place of the chosen name's.
    void KeepReceivedFiles();
    // ReadBlock, counting what this transfer took.
    void Take(void* Buffer, std::uint16_t Size);
    void TakeToFile(std::size_t Size);
    // Appends received bytes to the data file, or to memory for a verify.
    void Store(const void* Bytes, std::size_t Size);
    void TakeRestOfUnit(std::uint16_t Rest);
    void LoadPiece();
    void ResetProgress();
    void SetLabel(const std::string& Text);
    void SetBar(int Position);
    const TTxInfo& Row() const { return TxTypeAt(FTxRow); }

    TTransferPort& Port;
    TTransferWindow& Window;

    TState FState = tsIdle;
    std::uint64_t FTaken = 0;
    bool FOutOfStep = false;
    bool FDataKept = false;
    bool FIntoMemory = false;
    std::vector<std::uint8_t> FReceived;
    std::uint32_t FBlocksBegun = 0; // with or without their header
    TTransferOutcome FOutcome = toNone;
    // Changes whenever a transfer starts or ends, so that a step resuming after Pause can tell
    // that its transfer was ended meanwhile.
    std::uint32_t FGeneration = 0;
    bool FInStep = false;
    int FTxRow = DefaultTxTypeRow;
    // Positions of the unit held in TransferBuffer while sending: [FBufferStart, FBufferEnd).
    std::uint32_t FBufferStart = 0;
    std::uint32_t FBufferEnd = 0;
    // What the window shows, so that steps only touch it when something changed.
    std::string FLabel;
    std::string FShownLabel;
    bool FLabelShown = false;
    int FShownBar = -1;
};

} // namespace vaultix::transfer
