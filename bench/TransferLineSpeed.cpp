// End-to-end speed of a single-model transfer over the real port component: the transfer engine
// receives and sends one MC-22 and one MC-24 model through TOxComPort, with the simulated
// transmitter on the far side of a pseudo-terminal pacing its bytes at the type's line speed.
// The figure of merit is wall time over line time (bytes x 12 bits / baud); the engine should
// add no more than 2 % to what the cable itself costs.

#include "platform/ComPortMap.h"
#include "serial/ComPort.h"
#include "simulator/TxSimulator.h"
#include "transfer/TransferEngine.h"
#include "transfer/TransferPort.h"
#include "transfer/TransferWindow.h"
#include "transfer/TxTypes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vaultix;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int Mc22Row = 2;
constexpr int Mc24Row = 3;
constexpr double TargetRatio = 1.02;

// A window with no controls: it keeps the last information text and runs the pause timer by
// sleeping until its deadline.
class TBenchWindow final : public transfer::TTransferWindow {
public:
    explicit TBenchWindow(int Row) : FRow(Row) {}

    transfer::TTransferEngine* Engine = nullptr;
    std::string Information;

    void SetProgressLabel(const std::string&) override {}
    void SetProgressBar(int) override {}
    void ShowPage(int) override {}
    void ShowInformation(const std::string& Text) override { Information = Text; }
    void InstallIdleHandler(transfer::TIdleHandler) override {}
    void ShowAnhalten() override {}
    int TxBoxIndex() override { return FRow; }

    void StartTimer(std::uint16_t Milliseconds) override {
        FTimerOn = true;
        FDeadline = Clock::now() + std::chrono::milliseconds(Milliseconds);
    }
    void StopTimer() override { FTimerOn = false; }
    bool ProcessMessages() override {
        if (!FTimerOn) return true;
        const auto now = Clock::now();
        if (now < FDeadline)
            std::this_thread::sleep_for(std::min<Clock::duration>(FDeadline - now, 1ms));
        if (Clock::now() >= FDeadline && FTimerOn && Engine != nullptr) Engine->TimerTimer();
        return true;
    }

private:
    int FRow;
    bool FTimerOn = false;
    Clock::time_point FDeadline{};
};

struct TCaseResult {
    bool Ok = false;
    double WallSeconds = 0;
    double SimSeconds = 0; // the simulator's own first-to-last-byte figure
    std::size_t Bytes = 0;
    std::string Note;
};

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void OpenPort(serial::TOxComPort& Port, const std::string& Path) {
    platform::SetScanDirectory("");
    platform::SetPortOverride(1, Path);
    Port.SetComNumber(1);
    Port.SetBaud(4800);
    Port.SetParity(serial::pEven);
    Port.SetDataBits(8);
    Port.SetStopBits(2);
    Port.SetInSize(51200);
    Port.SetOutSize(10240);
    Port.SetOpen(true);
}

// One transfer; Sending: PC to transmitter. Wall time runs from the simulator's start (no
// start delay) until the engine is done and, for a send, the simulator has every byte.
TCaseResult RunCase(int Row, bool Sending, const std::filesystem::path& Dir) {
    const transfer::TTxInfo& info = transfer::TxTypes[Row];
    simulator::TSimOptions options;
    options.TypeRow = Row;
    options.Mode =
        Sending ? simulator::TSimMode::smReceiveModels : simulator::TSimMode::smSendModel;
    options.Models = 1;
    options.Paced = true;
    options.CheckGenerated = Sending;
    options.Seed = 7;
    options.StartDelay = 0ms;
    options.Linger = 0ms;
    options.IdleTimeout = 10s;

    simulator::TTxSimulator sim(options);
    serial::TOxComPort port;
    OpenPort(port, sim.SlavePath());
    transfer::TTransferPortOf<serial::TOxComPort> enginePort(port);
    TBenchWindow window(Row);
    transfer::TTransferEngine engine(enginePort, window);
    window.Engine = &engine;

    const std::filesystem::path file =
        Dir / (std::string(Sending ? "send." : "receive.") + info.Ext);
    if (Sending) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(sim.Image().data()),
                  static_cast<std::streamsize>(sim.Image().size()));
        out.close();
        engine.PrepareSend(file, info.ModelSize, false, false);
    } else {
        port.ClearInput();
        engine.PrepareReceive(file, info.ModelSize, false);
    }
    engine.Start();

    TCaseResult result;
    result.Bytes = info.ModelSize;
    const auto start = Clock::now();
    sim.Start();
    const auto giveUp = start + 30s;
    bool done = false;
    while (engine.Running() && Clock::now() < giveUp) {
        engine.TransferIdle(done);
        std::this_thread::sleep_for(200us);
    }
    if (Sending) {
        while (sim.BytesReceived() < info.ModelSize && Clock::now() < giveUp)
            std::this_thread::sleep_for(200us);
    }
    const auto end = Clock::now();
    result.WallSeconds = std::chrono::duration<double>(end - start).count();

    auto simResult = sim.Wait(5s);
    if (!simResult) simResult = sim.Stop();
    result.SimSeconds = std::chrono::duration<double>(simResult->Duration).count();
    port.SetOpen(false);

    result.Ok = engine.Outcome() == transfer::toCompleted && simResult->Ok();
    if (!Sending) {
        // The simulator sent its generated model; the file must hold exactly that.
        result.Ok =
            engine.Outcome() == transfer::toCompleted && simResult->Ok() &&
            ReadFile(file) == std::vector<std::uint8_t>(sim.Image().begin(), sim.Image().end());
    }
    if (!result.Ok) {
        result.Note = "outcome " + std::to_string(engine.Outcome()) + ", simulator " +
                      simulator::OutcomeText(simResult->Outcome);
        for (const std::string& e : simResult->Errors)
            result.Note += "; " + e;
        if (!window.Information.empty()) result.Note += "; window: " + window.Information;
    }
    platform::ClearPortOverrides();
    return result;
}

} // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vaultix-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);

    struct TCase {
        const char* Name;
        int Row;
        bool Sending;
    };
    const TCase cases[] = {
        {"receive MC-22", Mc22Row, false},
        {"receive MC-24", Mc24Row, false},
        {"send MC-22", Mc22Row, true},
        {"send MC-24", Mc24Row, true},
    };

    bool allOk = true;
    std::printf("%-14s %6s %9s %9s %9s %7s  %s\n", "case", "bytes", "wall s", "line s", "sim s",
                "ratio", "result");
    for (const TCase& c : cases) {
        TCaseResult r;
        try {
            r = RunCase(c.Row, c.Sending, dir);
        } catch (const std::exception& e) {
            r.Note = std::string("exception: ") + e.what();
        }
        const double line = static_cast<double>(r.Bytes) * 12.0 / transfer::TxTypes[c.Row].BaudRate;
        const double ratio = line > 0 ? r.WallSeconds / line : 0;
        const bool pass = r.Ok && ratio <= TargetRatio;
        allOk &= pass;
        std::printf("%-14s %6zu %9.3f %9.3f %9.3f %7.4f  %s%s%s\n", c.Name, r.Bytes, r.WallSeconds,
                    line, r.SimSeconds, ratio, pass ? "ok" : (r.Ok ? "SLOW" : "FAILED"),
                    r.Note.empty() ? "" : "  ", r.Note.c_str());
    }
    std::filesystem::remove_all(dir);
    std::printf("target: wall / line <= %.2f\n", TargetRatio);
    return allOk ? 0 : 1;
}
