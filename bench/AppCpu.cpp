// CPU and wake-ups of the main window and its port while idle and while transfers run at the
// transmitter's line speed: the real window (offscreen), the real port component and its
// threads, and the simulated transmitter on a pseudo-terminal pacing its bytes like the cable
// does. Then the time from a change of CTS to the window's CTS box, with the modem lines
// scripted (a pseudo-terminal has none).
//
//   bench_AppCpu [idle seconds, default 10]
//
// Each figure is measured twice in the same run: as the program used to run (a 20 ms heartbeat,
// a wake-up of the window at every byte, and so a hand-off between the port's threads at each
// one) and as it runs now. The simulator runs in this
// process; its CPU is taken off the figures and its threads are not counted, so they are the
// program's alone. Wake-ups are the voluntary context switches of the main thread and of the
// port's three threads (vx-comm, vx-dispatch, vx-output), read from /proc.

#include "app/Screen.h"
#include "app/UserDialogs.h"
#include "platform/ComPortMap.h"
#include "platform/IdleDriver.h"
#include "platform/QtNotifyServices.h"
#include "platform/SerialDevice.h"
#include "serial/ComPort.h"
#include "simulator/TxSimulator.h"
#include "tests/support/HeadlessQt.h"
#include "transfer/TransferEngine.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace {

using namespace vaultix;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int Mc22Row = 2;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Times the main thread's event loop woke from a sleep: it announced it would wait and came
// back more than a moment later. A loop that goes round again at once for the events it posted
// itself (a repaint after a label changed) has not slept.
std::atomic<std::uint64_t> LoopWakes{0};
std::int64_t LoopBlockedAt = 0;

double ProcessCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Voluntary context switches, by thread: the main thread and the port's own threads.
std::map<std::string, std::uint64_t> ThreadWakes() {
    std::map<std::string, std::uint64_t> wakes;
    const std::string self = std::to_string(::getpid());
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::string name;
        std::ifstream(task.path() / "comm") >> name;
        if (task.path().filename() == self)
            name = "main";
        else if (name.rfind("vx-", 0) != 0)
            continue;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                wakes[name] += std::stoull(line.substr(line.find(':') + 1));
    }
    return wakes;
}

// The wake-ups per second of each thread between two readings, and of the main thread's event
// loop. A thread's voluntary context switches also count its waits for locks and for Qt's
// painting helpers; the loop's own wake-ups are what the window's idle handling causes.
std::string WakeRates(const std::map<std::string, std::uint64_t>& Before,
                      const std::map<std::string, std::uint64_t>& After, std::uint64_t LoopBefore,
                      double Seconds) {
    const auto rate = [&](const std::string& Name) {
        const auto after = After.find(Name);
        const auto before = Before.find(Name);
        const std::uint64_t a = after == After.end() ? 0 : after->second;
        const std::uint64_t b = before == Before.end() ? 0 : before->second;
        return static_cast<double>(a - std::min(a, b)) / Seconds;
    };
    double total = 0;
    char loop[32];
    std::snprintf(loop, sizeof loop, "%7.1f",
                  static_cast<double>(LoopWakes.load() - LoopBefore) / Seconds);
    std::string text = loop;
    for (const char* name : {"main", "vx-comm", "vx-dispatch", "vx-output"}) {
        char cell[32];
        std::snprintf(cell, sizeof cell, " %7.1f", rate(name));
        text += cell;
        total += rate(name);
    }
    char cell[32];
    std::snprintf(cell, sizeof cell, " %8.1f", total);
    return text + cell;
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

// Runs the event loop until Done holds, looking each time Sender emits Signal: no polling timer
// of its own, which would wake the main thread and spoil the wake-up counts.
template <class TSender, class TSignal>
bool RunUntil(TSender* Sender, TSignal Signal, const std::function<bool()>& Done,
              std::chrono::milliseconds Limit) {
    if (Done()) return true;
    QEventLoop loop;
    const QMetaObject::Connection watch = QObject::connect(Sender, Signal, &loop, [&] {
        if (Done()) loop.quit();
    });
    QTimer::singleShot(Limit, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(watch);
    return Done();
}

// The modem lines the port's device reports: scripted, so that CTS can move.
std::atomic<int> ScriptedLines{0};

class TBench {
public:
    explicit TBench(bool Before)
        : Dir(fs::temp_directory_path() / ("vaultix-bench-" + std::to_string(::getpid()))),
          Config(Before ? "before" : "now") {
        if (Before) Idle.SetHeartbeatInterval(20ms);
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
        options.OnTransferStarting = [this, Before](app::TScreen&) {
            if (Next) Next->Start();
            // The baseline's loop wakes at every byte that arrives, as it did before it learnt
            // to sleep until the bytes a step can act on are there: once the transfer's handler
            // is in place, it is wrapped to keep the port's wake level at one byte.
            if (Before) QTimer::singleShot(0, Screen.get(), [this] { WakeAtEveryByte(); });
        };
        Screen = std::make_unique<app::TScreen>(Idle, std::move(options));
        Screen->show();
    }

    void WakeAtEveryByte() {
        app::TScreen& S = *Screen;
        if (S.CurrentIdleHandler() != transfer::ihTransferIdle) return;
        Idle.SetIdleHandler([&S](bool& Done) {
            S.TransferIdle(&S, Done);
            S.Port.SetInputWakeLevel(1);
        });
        S.Port.SetInputWakeLevel(1);
    }

    ~TBench() {
        Screen.reset();
        Current.reset();
        Next.reset();
        std::error_code ignored;
        fs::remove_all(Dir, ignored);
    }

    bool PortOpen() const { return Screen->Port.Open(); }

    void MeasureIdle(std::chrono::seconds Duration, const char* Name = "idle, port open") {
        RunFor(1s); // start-up settles
        const auto wakes = ThreadWakes();
        const std::uint64_t loop = LoopWakes.load();
        const double cpu = ProcessCpuSeconds();
        RunFor(Duration);
        const double used = ProcessCpuSeconds() - cpu;
        const double seconds = static_cast<double>(Duration.count());
        Report(Name, seconds, used, WakeRates(wakes, ThreadWakes(), loop, seconds));
    }

    // From a change of CTS on the line to the window's CTS box, Changes times. The line moves
    // on a thread of its own at odd moments, while the window sleeps.
    void MeasureCtsLatency(int Changes) {
        std::vector<double> latencies;
        for (int i = 0; i < Changes; ++i) {
            const bool want = !Screen->CTSMON->isChecked();
            std::atomic<std::int64_t> movedAt{0};
            std::thread line([&, i] {
                std::this_thread::sleep_for(std::chrono::milliseconds(150 + 37 * (i % 5)));
                movedAt.store(Now());
                ScriptedLines.store(want ? TIOCM_CTS : 0);
            });
            std::int64_t shownAt = 0;
            const bool shown = RunUntil(
                Screen->CTSMON, &QCheckBox::toggled,
                [&] {
                    if (Screen->CTSMON->isChecked() != want) return false;
                    shownAt = Now();
                    return true;
                },
                3s);
            line.join();
            if (!shown) {
                std::fprintf(stderr, "the CTS box did not follow the line\n");
                return;
            }
            latencies.push_back(static_cast<double>(shownAt - movedAt.load()) * 1e-6);
        }
        std::sort(latencies.begin(), latencies.end());
        std::printf("%-26s %-6s median %5.1f ms, max %5.1f ms over %d changes\n",
                    "CTS change to CTS box", Config, latencies[latencies.size() / 2],
                    latencies.back(), Changes);
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
        const auto wakes = ThreadWakes();
        const std::uint64_t loop = LoopWakes.load();
        const double cpu = ProcessCpuSeconds();
        Button->click();
        Screen->ConfirmBtn->click();
        // A transfer ends on the Buttons page.
        const bool ended = RunUntil(
            Screen->NB1, &QStackedWidget::currentChanged,
            [&] { return !Screen->TransferEngine().Running(); }, std::chrono::minutes(2));
        const double used = ProcessCpuSeconds() - cpu;
        const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        const auto result = Next->Wait(10s);
        if (!ended || !result || !result->Ok()) {
            std::fprintf(stderr, "%s did not complete\n", Name);
            return false;
        }
        const double own = used - std::chrono::duration<double>(result->Cpu).count();
        Report(Name, seconds, own, WakeRates(wakes, ThreadWakes(), loop, seconds));
        if (Mode == simulator::TSimMode::smSendModel) {
            // From the click to the saved file, over what the cable needs for the bytes.
            const double line = static_cast<double>(result->BytesSent) * 12.0 / 4800.0;
            std::printf("%-26s %-6s %.4f (%.3f s of %.3f s line time)\n", "  wall / line time",
                        Config, seconds / line, seconds, line);
        }
        return true;
    }

    static void Header() {
        std::printf("%-26s %-6s %8s %7s %14s wake-ups/s: %6s %8s%8s%8s%8s%9s\n", "", "", "wall",
                    "CPU", "", "loop", "main", "comm", "disp", "out", "all");
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

    void Report(const char* Name, double Seconds, double Cpu, const std::string& Wakes) {
        std::printf("%-26s %-6s %7.2fs %6.2f %% of one core %s\n", Name, Config, Seconds,
                    100.0 * Cpu / Seconds, Wakes.c_str());
    }

    fs::path Dir;
    const char* Config;
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
        QAbstractEventDispatcher* const loop = QAbstractEventDispatcher::instance();
        QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock,
                         [] { LoopBlockedAt = Now(); });
        QObject::connect(loop, &QAbstractEventDispatcher::awake, [] {
            if (LoopBlockedAt != 0 && Now() - LoopBlockedAt > 200'000) LoopWakes.fetch_add(1);
            LoopBlockedAt = 0;
        });
        TBench::Header();
        for (const bool before : {true, false}) {
            TBench bench(before);
            if (!bench.PortOpen()) {
                std::fprintf(stderr, "the port did not open\n");
                return 1;
            }
            bench.MeasureIdle(std::chrono::seconds(idleSeconds));
            // The lines of a real UART, scripted; the idle figures above are a pseudo-terminal's,
            // whose device has no lines to sample.
            platform::TSerialDevice::SetModemLineSource([](int, int& Bits) {
                Bits = ScriptedLines.load();
                return true;
            });
            bench.MeasureCtsLatency(20);
            bench.MeasureIdle(std::chrono::seconds(idleSeconds), "idle, scripted modem lines");
            platform::TSerialDevice::SetModemLineSource({});
            using simulator::TSimMode;
            const bool ok = bench.Transfer("save one MC-22 model", bench.Screen->SaveOne,
                                           "bench.m22", TSimMode::smSendModel, 1) &&
                            bench.Transfer("restore one MC-22 model", bench.Screen->RestoreOne,
                                           "bench.m22", TSimMode::smReceiveModels, 1) &&
                            bench.Transfer("save all, 8 MC-22 models", bench.Screen->SaveAll,
                                           "bench.a22", TSimMode::smSendAll, 8);
            if (!ok) status = 1;
        }
        std::printf("resident memory %s\n", ResidentMemory().c_str());
    }
    std::error_code ignored;
    fs::remove_all(runtime, ignored);
    return status;
}
