#include "transfer/TransferEngine.h"

#include <algorithm>
#include <exception>
#include <span>

#include "platform/RuntimeExceptions.h"
#include "transfer/BackupFiles.h"
#include "transfer/Cp1252.h"
#include "transfer/DescriptionFile.h"
#include "transfer/FileError.h"

namespace vaultix::transfer {

namespace {

constexpr std::uint8_t MarkerLead = 0x80;
constexpr std::uint8_t MarkerBlock = 0xAA;
constexpr std::uint8_t MarkerEnd = 0xFF;
constexpr std::uint8_t AcknowledgeLead = 0x40;
constexpr std::uint8_t AcknowledgeTail = 0xAA;

constexpr int Mc24Row = 3;
// One-model transfers of the types from this row on name the model in their outcome.
constexpr int FirstNamedRow = 2;
// Units this small are single models of the MC-18 types, which name the model too.
constexpr std::uint16_t LargestSmallUnit = 258;

// Sets a flag for the length of a scope, also when the scope is left by an exception.
class TFlagScope {
public:
    explicit TFlagScope(bool& Flag) : FFlag(Flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

} // namespace

TTransferEngine::TTransferEngine(TTransferPort& Port, TTransferWindow& Window)
    : Port(Port), Window(Window) {}

void TTransferEngine::SetTransferFields(bool SendingMode, bool AllModelsMode, bool FromChooserMode,
                                        std::uint16_t UnitSize) {
    Sending = SendingMode;
    AllModels = AllModelsMode;
    FromChooser = FromChooserMode;
    TransferSize = UnitSize;
    BlockNo = 0;
    EndSeen = false;
    Count = 0;
    AwaitHeader = false;
}

void TTransferEngine::PrepareReceive(const std::filesystem::path& FileName, std::uint16_t UnitSize,
                                     bool AllModelsMode) {
    SetTransferFields(false, AllModelsMode, false, UnitSize);
    // A block-protocol receive starts by expecting a block header.
    AwaitHeader = AllModelsMode;
    CreateDataFile(FileName);
}

void TTransferEngine::PrepareReceiveInMemory(std::uint16_t UnitSize, bool BackToChooser) {
    DataFile.Close();
    DescriptionFile.Close();
    SetTransferFields(false, false, BackToChooser, UnitSize);
    FReceived.clear();
    // Reserved once: the steps that take the unit allocate nothing.
    FReceived.reserve(UnitSize);
    FIntoMemory = true;
}

void TTransferEngine::PrepareSend(const std::filesystem::path& FileName, std::uint16_t UnitSize,
                                  bool AllModelsMode, bool FromChooserMode, std::size_t SkipUnits) {
    SetTransferFields(true, AllModelsMode, FromChooserMode, UnitSize);
    OpenDataFile(FileName, SkipUnits);
}

void TTransferEngine::CreateDataFile(const std::filesystem::path& FileName) {
    FIntoMemory = false;
    DataFile.CreateFor(FileName);
}

void TTransferEngine::StageDescription(const std::filesystem::path& FileName,
                                       std::string_view MemoText) {
    const std::string Bytes = DescriptionBytes(DescriptionFileName(FileName), MemoText);
    DescriptionFile.CreateFor(DescriptionFileName(FileName));
    DescriptionFile.Write(Bytes.data(), Bytes.size());
}

void TTransferEngine::KeepReceivedFiles() {
    // A save that brought no byte has no model to keep: an empty file in place of an earlier
    // backup would lose that backup, so the files of the chosen name are not touched.
    if (DataFile.IsWriting() && DataFile.Length() == 0) {
        // Only temporaries go; a failure to remove one says nothing about the backup.
        for (TDataFile* File : {&DataFile, &DescriptionFile}) {
            try {
                File->Close();
            } catch (...) {
            }
        }
        throw platform::Exception(NoModelMessage);
    }
    const std::filesystem::path Name = DataFile.Name();
    const std::filesystem::path DescriptionName = DescriptionFile.Name();
    try {
        DataFile.Commit();
    } catch (...) {
        DescriptionFile.Close();
        throw;
    }
    FDataKept = true;
    try {
        DescriptionFile.Commit();
    } catch (const platform::Exception& Error) {
        // The pair is half written: say which half, so nobody takes the old description for
        // the new model's or believes the earlier backup is still there.
        throw platform::Exception("The backup was saved in " + Name.string() +
                                  ", but its description was not written to " +
                                  DescriptionName.string() + " (" + Error.Message() +
                                  "); that file stays as it was.");
    }
}

void TTransferEngine::OpenDataFile(const std::filesystem::path& FileName, std::size_t SkipUnits) {
    FIntoMemory = false;
    DataFile.OpenForReading(FileName);
    try {
        const std::uint64_t Skipped = static_cast<std::uint64_t>(SkipUnits) * TransferSize;
        DataFile.Skip(Skipped);
        // Sending a unit cut short would hand the transmitter bytes that are not the backup's.
        if (DataFile.Length() - Skipped < TransferSize) RaiseEndOfFile();
    } catch (...) {
        DataFile.Close();
        throw;
    }
}

void TTransferEngine::Start() {
    if (Running()) throw platform::Exception("A transfer is already running.");
    if (TransferSize == 0) throw platform::Exception("The transfer has no unit size.");
    const bool Ready =
        FIntoMemory ? !Sending && !AllModels : DataFile.IsOpen() && DataFile.IsWriting() != Sending;
    if (!Ready) throw platform::Exception("The data file of the transfer is not open.");
    const int Selection = Window.TxBoxIndex();
    FTxRow = IsValidTxSelection(Selection) ? Selection : DefaultTxTypeRow;
    FState = tsRunning;
    FOutcome = toRunning;
    ++FGeneration;
    FBufferStart = FBufferEnd = 0;
    FTaken = 0;
    FOutOfStep = false;
    FDataKept = false;
    FBlocksBegun = 0;
    FLabelShown = false;
    FShownBar = -1;
    Window.InstallIdleHandler(ihTransferIdle);
}

void TTransferEngine::TransferIdle(bool& Done) {
    Done = false;
    // A modal box opened during a Pause runs the idle handler again; the paused step owns the
    // transfer until it returns.
    if (FState != tsRunning || FInStep) return;
    const std::uint32_t Generation = FGeneration;
    try {
        TFlagScope InStep(FInStep);
        Step();
    } catch (...) {
        // A failure that outlasts the step (a vanished device, a full disk) would otherwise be
        // raised again by every following step. The bytes moved so far may be incomplete, so
        // the transfer cannot be trusted to succeed any more either.
        if (Generation == FGeneration && FState == tsRunning) {
            FState = tsHalted;
            SetLabel(HaltedLabel);
        }
        throw;
    }
}

void TTransferEngine::Step() {
    if (Sending) {
        SendStep();
    } else {
        ReceiveStep();
    }
    ShowProgress();
    if (!Sending && AllModels && Count == TransferSize && !AwaitHeader) {
        AwaitHeader = true;
        const std::uint32_t Generation = FGeneration;
        Pause(AcknowledgeDelay);
        // Cancel or stop during the pause ended this transfer: its file is closed and the
        // transmitter must not see an acknowledgement for it.
        if (Generation != FGeneration) return;
        Port.WriteByte(AcknowledgeLead);
        Port.WriteByte(AcknowledgeTail);
    }
    if (IsComplete()) Complete();
}

void TTransferEngine::SendStep() {
    // The port sets the pace: the output buffer is topped up to a few bytes, in one piece, so
    // that a line whose driver reports "sent" only per transfer (a USB adapter) still carries
    // bytes back to back. Waiting for each byte to leave cost such a line a round trip a byte.
    if (Count >= TransferSize) return;
    const std::uint16_t Queued = Port.OutputCount();
    if (Queued >= SendLead) return;
    if (Count == FBufferEnd) LoadPiece();
    const std::uint32_t Piece = std::min<std::uint32_t>(SendLead - Queued, FBufferEnd - Count);
    const auto* First = TransferBuffer.data() + (Count - FBufferStart);
    Port.WriteText(std::string(reinterpret_cast<const char*>(First), Piece));
    Count += static_cast<std::uint16_t>(Piece);
}

// Loads the next part of the unit: all of it, or for a unit larger than the buffer as much as
// the buffer holds.
void TTransferEngine::LoadPiece() {
    const std::size_t Want = std::min<std::size_t>(TransferBuffer.size(), TransferSize - Count);
    if (DataFile.Read(TransferBuffer.data(), Want) < Want) RaiseEndOfFile();
    FBufferStart = Count;
    FBufferEnd = Count + static_cast<std::uint32_t>(Want);
    if (Count == 0)
        ExtractModelName(Row(), std::span<const std::uint8_t>(TransferBuffer.data(), Want), 0);
}

void TTransferEngine::ReceiveStep() {
    if (AwaitHeader) {
        if (Port.InputCount() >= 2) {
            std::uint8_t Header[2];
            Take(Header, 2);
            AwaitHeader = false;
            if (Header[0] == MarkerLead) {
                if (Header[1] == MarkerBlock) {
                    Count = 0;
                    ++FBlocksBegun;
                } else if (Header[1] == MarkerEnd) {
                    EndSeen = true;
                }
            } else {
                // No marker: the two bytes open the next block.
                if (BlockNo == 0 && FTxRow == Mc24Row) Window.ShowAnhalten();
                FOutOfStep = true;
                Store(Header, 2);
                Count = 2;
                ++BlockNo;
                ++FBlocksBegun;
            }
        }
    } else if (Count < TransferSize) {
        const std::uint16_t Rest = TransferSize - Count;
        if (Port.InputCount() >= Rest) {
            TakeRestOfUnit(Rest);
            Count = TransferSize;
        }
    }
    // Long units are taken in pieces so that the port's input buffer never fills up. A piece
    // never reaches the unit's end: the rest is taken whole above, and Count cannot pass
    // TransferSize (nor wrap) with more bytes waiting than the unit needs.
    if (TransferSize - Count > EarlyTake && Port.InputCount() >= EarlyTake) {
        TakeToFile(EarlyTake);
        Count += EarlyTake;
    }
}

void TTransferEngine::TakeRestOfUnit(std::uint16_t Rest) {
    const std::uint16_t First =
        static_cast<std::uint16_t>(std::min<std::size_t>(Rest, TransferBuffer.size()));
    Take(TransferBuffer.data(), First);
    ExtractModelName(Row(), std::span<const std::uint8_t>(TransferBuffer.data(), First), Count);
    Store(TransferBuffer.data(), First);
    TakeToFile(Rest - First);
}

void TTransferEngine::Take(void* Buffer, std::uint16_t Size) {
    Port.ReadBlock(Buffer, Size);
    FTaken += Size;
}

std::uint32_t TTransferEngine::InputWanted() const {
    if (FState != tsRunning || Sending) return 0;
    if (AwaitHeader) return 2;
    // A unit just completed waits for its acknowledgement, which the next step sends at once.
    if (Count >= TransferSize) return 1;
    const std::uint32_t Rest = TransferSize - Count;
    return Rest > EarlyTake ? EarlyTake : Rest;
}

std::uint64_t TTransferEngine::BytesMoved() {
    if (Sending) {
        const std::uint16_t Queued = Port.OutputCount();
        return Count > Queued ? Count - Queued : 0;
    }
    return FTaken + Port.InputCount();
}

void TTransferEngine::TakeToFile(std::size_t Size) {
    while (Size > 0) {
        const auto Piece =
            static_cast<std::uint16_t>(std::min<std::size_t>(Size, TransferBuffer.size()));
        Take(TransferBuffer.data(), Piece);
        Store(TransferBuffer.data(), Piece);
        Size -= Piece;
    }
}

void TTransferEngine::Store(const void* Bytes, std::size_t Size) {
    if (!FIntoMemory) {
        DataFile.Write(Bytes, Size);
        return;
    }
    const auto* First = static_cast<const std::uint8_t*>(Bytes);
    FReceived.insert(FReceived.end(), First, First + Size);
}

std::uint32_t TTransferEngine::UnitDone() {
    // Bytes handed to the port; at most SendLead of them have not left yet.
    if (Sending) return Count;
    const std::uint32_t Missing = TransferSize - std::min(Count, TransferSize);
    const std::uint32_t Waiting =
        AwaitHeader ? 0 : std::min<std::uint32_t>(Port.InputCount(), Missing);
    return std::min(Count, TransferSize) + Waiting;
}

void TTransferEngine::ShowProgress() {
    const std::uint32_t DoneBytes = UnitDone();
    FLabel.clear();
    if (!Sending && AllModels) {
        // The block in progress. BlockNo counts only blocks that came without their header,
        // which would leave a transmitter that sends one before each block at "Block 0".
        FLabel += "Block ";
        FLabel += std::to_string(FBlocksBegun);
        FLabel += ":  ";
    }
    FLabel += std::to_string(DoneBytes);
    FLabel += " bytes of ";
    FLabel += std::to_string(TransferSize);
    FLabel += " transferred.";
    SetLabel(FLabel);
    const double Percent = TransferSize == 0 ? 0.0 : DoneBytes * 100.0 / TransferSize;
    SetBar(static_cast<int>(std::min(Percent, 100.0)));
}

bool TTransferEngine::IsComplete() {
    const int Handed = int{Count} - int{Port.OutputCount()};
    return (!AllModels && Handed >= TransferSize) || (AllModels && EndSeen) ||
           (Sending && FromChooser && Handed >= TransferSize);
}

std::string TTransferEngine::CompletionMessage() const {
    if (AllModels) return CompletedMessage;
    if (FTxRow >= FirstNamedRow || TransferSize <= LargestSmallUnit) {
        const std::string Name = ShownCp1252(ModelName);
        if (Sending) return "Model \"" + Name + "\" successfully transferred.";
        return "Model " + ShownCp1252(ModelNumber) + " \"" + Name + "\" successfully transferred.";
    }
    return CompletedMessage; // the whole memory of an MC-18 type
}

void TTransferEngine::Complete() {
    const std::string Message = CompletionMessage();
    const int Page = FromChooser ? npChooseModel : npButtons;
    Finish(toCompleted);
    try {
        std::exception_ptr Failure;
        try {
            if (Sending) {
                DataFile.Close();
            } else if (!FIntoMemory) {
                KeepReceivedFiles();
            }
        } catch (...) {
            Failure = std::current_exception();
            FOutcome = toFailed;
        }
        // The transfer is over even when its file could not be finished; the error is raised
        // once, and no success is reported. A receive into memory has no outcome of its own:
        // the face compares and tells.
        Window.InstallIdleHandler(ihMonitorIdle);
        if (!Failure && !FIntoMemory) Window.ShowInformation(Message);
        ResetProgress();
        if (Failure) std::rethrow_exception(Failure);
    } catch (...) {
        Window.ShowPage(Page);
        throw;
    }
    Window.ShowPage(Page);
}

void TTransferEngine::Finish(TTransferOutcome Outcome) {
    FState = tsIdle;
    FOutcome = Outcome;
    ++FGeneration;
}

void TTransferEngine::AbortBtnClick() {
    const bool Active = Running();
    const bool Receiving = Active && !Sending;
    if (Active) Finish(toCancelled);
    Window.InstallIdleHandler(ihMonitorIdle);
    Window.ShowPage(npButtons);
    // Deletes a receive's new content and description; the files of the chosen name were
    // never touched.
    DataFile.Close();
    DescriptionFile.Close();
    if (Receiving && !FIntoMemory) Window.ShowInformation(CancelledMessage);
}

void TTransferEngine::anhaltenClick() {
    const bool Active = Running();
    if (Active) Finish(toStopped);
    Window.InstallIdleHandler(ihMonitorIdle);
    Window.ShowPage(npButtons);
    // A receive into memory keeps nothing: stopping it is cancelling it.
    if (!Active || FIntoMemory) {
        if (Active) FOutcome = toCancelled;
        DataFile.Close();
        DescriptionFile.Close();
        return;
    }
    std::exception_ptr Failure;
    try {
        // While sending, the data file is the backup being sent: whatever the transmitter
        // sent back is dropped rather than written to it.
        if (Sending) {
            Port.ClearInput();
        } else {
            TakeToFile(Port.InputCount());
        }
    } catch (...) {
        Failure = std::current_exception();
    }
    // What arrived is kept even when the last bytes could not be taken.
    try {
        if (Sending) {
            DataFile.Close();
        } else {
            KeepReceivedFiles();
        }
    } catch (...) {
        if (!Failure) Failure = std::current_exception();
    }
    if (Failure) {
        FOutcome = toFailed;
        std::rethrow_exception(Failure);
    }
    Window.ShowInformation(StoppedMessage);
}

void TTransferEngine::Send40aaClick() {
    Port.WriteByte(AcknowledgeLead);
    Port.WriteByte(AcknowledgeTail);
}

void TTransferEngine::Pause(std::uint16_t Milliseconds) {
    Waiting = true;
    Window.StartTimer(Milliseconds);
    try {
        while (Waiting) {
            if (!Window.ProcessMessages()) TimerTimer();
        }
    } catch (...) {
        TimerTimer();
        throw;
    }
}

void TTransferEngine::TimerTimer() {
    Waiting = false;
    Window.StopTimer();
}

void TTransferEngine::ResetProgress() {
    SetBar(0);
    SetLabel(std::string());
}

void TTransferEngine::SetLabel(const std::string& Text) {
    if (FLabelShown && Text == FShownLabel) return;
    FLabelShown = true;
    FShownLabel = Text;
    Window.SetProgressLabel(Text);
}

void TTransferEngine::SetBar(int Position) {
    if (Position == FShownBar) return;
    FShownBar = Position;
    Window.SetProgressBar(Position);
}

} // namespace vaultix::transfer
