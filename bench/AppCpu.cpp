// CPU of the main window and its port while idle and while transfers run at the transmitter's
// line speed: the real window (offscreen), the real port component and its threads, and the
// simulated transmitter on a pseudo-terminal pacing its bytes like the cable does.
//
//   bench_AppCpu [idle seconds, default 10]
//
// The simulator runs in this process; its own thread's CPU is taken off the figures, so they
// are the program's alone. A paced transfer should cost next to nothing: the line, not the
// program, sets the pace.

#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/ComPortMap.h"
#include "platform/IdleDriver.h"
#include "platform/QtNotifyServices.h"
#include "serial/ComPort.h"
#include "tests/support/HeadlessQt.h"
#include "tools/simulator/TxSimulator.h"
#include "transfer/TransferEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <time.h>
#include <unistd.h>

namespace {

using namespace vaultix;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int Mc22Row = 2;

double ProcessCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string ResidentMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return line.substr(6);
    return "?";
}

void RunFor(std::chrono::milliseconds Duration) {
    QEventLoop loop;
    QTimer::singleShot(Duration, &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (Done() || std::chrono::milliseconds(clock.elapsed()) > Limit) loop.quit();
    });
    poll.start(5);
    if (!Done()) loop.exec();
    return Done();
}

class TBench {
public:
    TBench() : Dir(fs::temp_directory_path() / ("vaultix-bench-" + std::to_string(::getpid()))) {
        fs::create_directories(Dir);
        platform::SetScanDirectory("");
        platform::ClearPortOverrides();
        app::SetMessageBoxFunction(
            [](QWidget*, app::TMessageKind, const std::string&) { return true; });
        const auto answer = [this](QWidget*, const app::TFileDialogRequest&) {
            return std::optional<QString>(QString::fromStdString((Dir / FileName).string()));
        };
        app::SetSaveFileNameFunction(answer);
        app::SetOpenFileNameFunction(answer);
        // The port opens on the first simulator; each transfer moves COM1 to a fresh one.
        Next = MakeSimulator(simulator::TSimMode::smSendModel, 1);
        platform::SetPortOverride(1, Next->SlavePath());
        app::TScreenOptions options;
        options.ProgramDir = QString::fromStdString(Dir.string() + "/");
        options.TxIndex = Mc22Row;
        options.PortIndex = 0;
        options.WriteSettings = false;
        options.Terminate = [] {};
        options.OnTransferStarting = [this](app::TScreen&) {
            if (Next) Next->Start();
        };
        Screen = std::make_unique<app::TScreen>(Idle, std::move(options));
        Screen->show();
    }

    ~TBench() {
        Screen.reset();
        Current.reset();
        Next.reset();
        std::error_code ignored;
        fs::remove_all(Dir, ignored);
    }

    bool PortOpen() const { return Screen->Port.Open(); }

    void MeasureIdle(std::chrono::seconds Duration) {
        RunFor(1s); // start-up settles
        const double cpu = ProcessCpuSeconds();
        RunFor(Duration);
        const double used = ProcessCpuSeconds() - cpu;
        std::printf("%-34s %8.2f s %9.1f ms CPU %8.2f %% of one core\n", "idle, port open",
                    static_cast<double>(Duration.count()), used * 1e3,
                    100.0 * used / static_cast<double>(Duration.count()));
    }

    // One transfer through the window's own buttons, the simulator playing Mode.
    bool Transfer(const char* Name, QPushButton* Button, const std::string& File,
                  simulator::TSimMode Mode, std::size_t Models) {
        FileName = File;
        Current = std::move(Next);
        Next = MakeSimulator(Mode, Models, Dir / File);
        Screen->Port.SetOpen(false);
        platform::SetPortOverride(1, Next->SlavePath());
        Screen->Port.SetOpen(true);
        if (Current) Current->Stop();
        Current.reset();

        QElapsedTimer clock;
        clock.start();
        const double cpu = ProcessCpuSeconds();
        Button->click();
        Screen->ConfirmBtn->click();
        const bool ended =
            RunUntil([&] { return !Screen->TransferEngine().Running(); }, std::chrono::minutes(2));
        const double used = ProcessCpuSeconds() - cpu;
        const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        const auto result = Next->Wait(10s);
        if (!ended || !result || !result->Ok()) {
            std::fprintf(stderr, "%s did not complete\n", Name);
            return false;
        }
        const double own = used - std::chrono::duration<double>(result->Cpu).count();
        std::printf("%-34s %8.2f s %9.1f ms CPU %8.2f %% of one core\n", Name, seconds, own * 1e3,
                    100.0 * own / seconds);
        return true;
    }

    std::unique_ptr<app::TScreen> Screen;

private:
    // A restore expects the bytes of the file it is given.
    static std::unique_ptr<simulator::TTxSimulator>
    MakeSimulator(simulator::TSimMode Mode, std::size_t Models, const fs::path& File = {}) {
        simulator::TSimOptions options;
        options.TypeRow = Mc22Row;
        options.Mode = Mode;
        options.Models = Models;
        options.Paced = true;
        options.Linger = 0ms;
        if (Mode == simulator::TSimMode::smReceiveModels) {
            std::ifstream in(File, std::ios::binary);
            options.Image.assign(std::istreambuf_iterator<char>(in), {});
        }
        return std::make_unique<simulator::TTxSimulator>(std::move(options));
    }

    fs::path Dir;
    std::string FileName;
    platform::TIdleDriver Idle;
    std::unique_ptr<simulator::TTxSimulator> Current;
    std::unique_ptr<simulator::TTxSimulator> Next;
};

} // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string runtime = testsupport::PrepareHeadlessQt();
    if (runtime.empty()) return 2;
    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        platform::TQtNotifyServices services;
        services.Install();
        TBench bench;
        if (!bench.PortOpen()) {
            std::fprintf(stderr, "the port did not open\n");
            return 1;
        }
        bench.MeasureIdle(std::chrono::seconds(idleSeconds));
        using simulator::TSimMode;
        const bool ok = bench.Transfer("save one MC-22 model", bench.Screen->SaveOne, "bench.m22",
                                       TSimMode::smSendModel, 1) &&
                        bench.Transfer("restore one MC-22 model", bench.Screen->RestoreOne,
                                       "bench.m22", TSimMode::smReceiveModels, 1) &&
                        bench.Transfer("save all, 8 MC-22 models", bench.Screen->SaveAll,
                                       "bench.a22", TSimMode::smSendAll, 8);
        std::printf("resident memory                    %s\n", ResidentMemory().c_str());
        status = ok ? 0 : 1;
    }
    std::error_code ignored;
    fs::remove_all(runtime, ignored);
    return status;
}
