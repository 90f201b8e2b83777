// The engine's receive side against a transmitter that sends whatever the fuzzer gives: the line
// brings the bytes in pieces, the engine steps as the window would, and when the line falls
// silent the user cancels or stops. A reading of the protocol written here, apart from the
// engine, says what the backup must then hold: exactly the blocks the markers framed (or the
// unit, or on a stop everything that arrived), the acknowledgements it must have sent, and
// that a save which brought nothing, or was cancelled, leaves the earlier backup and its
// description byte for byte.

#include "FuzzFiles.h"

#include "platform/RuntimeExceptions.h"
#include "transfer/BackupFiles.h"
#include "transfer/TransferEngine.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace vaultix;

namespace {

// The port: what the line brought and not yet taken, and what the engine sent.
class TLinePort final : public transfer::TTransferPort {
public:
    std::deque<std::uint8_t> Input;
    std::string Output;

    std::uint16_t InputCount() override {
        return static_cast<std::uint16_t>(std::min<std::size_t>(Input.size(), 0xFFFF));
    }
    std::uint16_t OutputCount() override { return 0; }
    void ReadBlock(void* Buffer, std::uint16_t Count) override {
        if (Count > Input.size()) throw platform::Exception("read past the waiting input");
        std::copy_n(Input.begin(), Count, static_cast<std::uint8_t*>(Buffer));
        Input.erase(Input.begin(), Input.begin() + Count);
    }
    void WriteByte(std::uint8_t Value) override { Output.push_back(static_cast<char>(Value)); }
    void WriteText(const std::string& Text) override { Output += Text; }
    void ClearInput() override { Input.clear(); }
    void ClearOutput() override { Output.clear(); }
};

// The window: its timer fires as soon as the engine waits for it.
class TQuietWindow final : public transfer::TTransferWindow {
public:
    transfer::TTransferEngine* Engine = nullptr;
    int Row = 0;
    bool TimerOn = false;

    void SetProgressLabel(const std::string&) override {}
    void SetProgressBar(int Position) override {
        fuzz::Require(Position >= 0 && Position <= 100, "the progress bar stays in its range");
    }
    void ShowPage(int) override {}
    void ShowInformation(const std::string&) override {}
    void InstallIdleHandler(transfer::TIdleHandler) override {}
    void ShowAnhalten() override {}
    int TxBoxIndex() override { return Row; }
    void StartTimer(std::uint16_t) override { TimerOn = true; }
    void StopTimer() override { TimerOn = false; }
    bool ProcessMessages() override {
        if (TimerOn) Engine->TimerTimer();
        return true;
    }
};

// What the protocol makes of Line: the backup's bytes, the acknowledgements owed, whether the
// transfer completed, and where the bytes it did not take begin.
struct TExpected {
    std::string Kept;
    std::size_t Acknowledgements = 0;
    bool Complete = false;
    std::size_t Taken = 0;
};

TExpected ReadProtocol(const std::string& Line, std::size_t Unit, bool Blocks) {
    TExpected Result;
    if (!Blocks) {
        Result.Complete = Line.size() >= Unit;
        Result.Taken = std::min(Line.size(), Unit);
        Result.Kept = Line.substr(0, Result.Taken);
        return Result;
    }
    std::size_t At = 0;
    std::size_t InBlock = 0; // bytes of the current block already kept
    bool Header = true;
    while (true) {
        if (Header) {
            if (Line.size() - At < 2) break;
            const auto Lead = static_cast<std::uint8_t>(Line[At]);
            const auto Second = static_cast<std::uint8_t>(Line[At + 1]);
            At += 2;
            Header = false;
            if (Lead != 0x80) {
                Result.Kept += Line.substr(At - 2, 2);
                InBlock = 2;
            } else if (Second == 0xAA) {
                InBlock = 0;
            } else if (Second == 0xFF) {
                if (InBlock == Unit) ++Result.Acknowledgements;
                Result.Complete = true;
                break;
            }
            // 0x80 and any other byte: the block in hand stays as it is.
        }
        if (InBlock < Unit) {
            if (Line.size() - At < Unit - InBlock) break;
            Result.Kept += Line.substr(At, Unit - InBlock);
            At += Unit - InBlock;
            InBlock = Unit;
        }
        ++Result.Acknowledgements;
        Header = true;
    }
    Result.Taken = At;
    return Result;
}

std::string ReadFile(const std::filesystem::path& Name) {
    std::ifstream In(Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

const char EarlierData[] = "the earlier backup";
const char EarlierDescription[] = "its description";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 2) return 0;
    // First byte: the type, the flow and how the user ends a silent line; second: how many
    // bytes the line brings at a time. The rest is the line.
    const int Row = Data[0] % static_cast<int>(transfer::TxTypeCount);
    const auto Flow = (Data[0] / transfer::TxTypeCount) % 2 && transfer::TxTypes[Row].SaveAllAllowed
                          ? transfer::ufAllModels
                          : transfer::ufOneModel;
    const bool Blocks = Flow == transfer::ufAllModels && transfer::AllModelsByBlocks(Row);
    const bool StopsWhenSilent = (Data[0] / transfer::TxTypeCount / 2) % 2;
    static constexpr std::size_t Pieces[] = {1, 2, 3, 7, 64, 1000, 4096, 1 << 16};
    const std::size_t Piece = Pieces[Data[1] % std::size(Pieces)];
    const std::string Line(reinterpret_cast<const char*>(Data) + 2, Size - 2);

    const std::filesystem::path File = fuzz::ScratchFile("club.m22");
    const std::filesystem::path Description = transfer::DescriptionFileName(File);
    fuzz::WriteFile(File, EarlierData);
    fuzz::WriteFile(Description, EarlierDescription);

    const std::uint16_t Unit = transfer::UnitSize(Row, Flow);
    TLinePort Port;
    TQuietWindow Window;
    transfer::TTransferEngine Engine(Port, Window);
    Window.Engine = &Engine;
    Window.Row = Row;
    Engine.PrepareReceive(File, Unit, Blocks);
    Engine.StageDescription(File, "new description");
    Engine.Start();

    std::string Failure;
    auto Guarded = [&Failure](auto&& Action) {
        try {
            Action();
        } catch (const platform::Exception& Error) {
            Failure = Error.Message();
        }
    };
    std::size_t Sent = 0;
    while (Engine.Running() && Failure.empty()) {
        if (Sent < Line.size()) {
            const std::size_t Now = std::min(Piece, Line.size() - Sent);
            Port.Input.insert(Port.Input.end(), Line.begin() + Sent, Line.begin() + Sent + Now);
            Sent += Now;
        }
        // Steps until one changes nothing; the line then brings its next piece.
        for (bool Moved = true; Moved && Engine.Running() && Failure.empty();) {
            const auto Before = std::make_tuple(Port.Input.size(), Port.Output.size(), Engine.Count,
                                                Engine.AwaitHeader);
            bool Done = false;
            Guarded([&] { Engine.TransferIdle(Done); });
            Moved = Before != std::make_tuple(Port.Input.size(), Port.Output.size(), Engine.Count,
                                              Engine.AwaitHeader);
        }
        if (Sent == Line.size() && Engine.Running() && Failure.empty()) {
            if (StopsWhenSilent) {
                Guarded([&] { Engine.anhaltenClick(); });
            } else {
                Engine.AbortBtnClick();
            }
        }
    }
    fuzz::Require(Failure.empty() || Failure == transfer::TTransferEngine::NoModelMessage,
                  "a receive fails only for want of a model");

    const TExpected Expected = ReadProtocol(Line, Unit, Blocks);
    std::string Kept = Expected.Kept;
    if (!Expected.Complete && StopsWhenSilent) Kept += Line.substr(Expected.Taken);
    const bool Replaced = (Expected.Complete || StopsWhenSilent) && !Kept.empty();
    fuzz::Require(Failure.empty() == (Replaced || (!Expected.Complete && !StopsWhenSilent)),
                  "no model is said exactly when nothing arrived");
    fuzz::Require(Port.Output.size() == 2 * Expected.Acknowledgements,
                  "one acknowledgement per block the protocol answers");
    for (std::size_t I = 0; I < Port.Output.size(); I += 2)
        fuzz::Require(Port.Output.compare(I, 2, "\x40\xAA") == 0, "acknowledgements are 40 AA");
    fuzz::Require(ReadFile(File) == (Replaced ? Kept : EarlierData),
                  "the backup holds exactly what the protocol accepted, or the earlier one");
    fuzz::Require(ReadFile(Description) ==
                      (Replaced ? std::string("new description") : EarlierDescription),
                  "the description follows its data file");
    std::size_t Files = 0;
    for ([[maybe_unused]] const auto& Entry :
         std::filesystem::directory_iterator(File.parent_path()))
        ++Files;
    fuzz::Require(Files == 2, "no temporary is left beside the backup");
    return 0;
}
