// Throughput and CPU cost of moving bytes through the dispatcher and its threads over a
// pseudo-terminal pair, against a plain read/write loop over another pair in the same run.
//
//   bench_DispatcherThroughput [MiB per run, default 16] [runs, default 5] [in|out|all]
//
// Both directions are measured: the application's WriteBlock to the far end, and the far end
// to the application's ReadBlock. The application side waits for room and for input the way
// the idle loop does, on the activity signal the dispatcher threads raise.

#include "platform/ActivitySignal.h"
#include "platform/ComPortMap.h"
#include "serial/DeviceDispatcher.h"
#include "serial/ResultCodes.h"
#include "tests/support/PtyPair.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace vaultix;
using namespace vaultix::serial;

namespace {

constexpr std::size_t Chunk = 4096;

double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct TResult {
    double Seconds = 0;
    double Cpu = 0;
};

template <typename TRun> TResult Measure(TRun Run) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    Run();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            CpuSeconds() - cpu};
}

// ---- Plain loop -----------------------------------------------------------------------------

void WriteAllFd(int Fd, const std::uint8_t* Data, std::size_t Count) {
    std::size_t done = 0;
    while (done < Count) {
        const ssize_t n = ::write(Fd, Data + done, std::min(Chunk, Count - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        pollfd p{Fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
    }
}

void ReadAllFd(int Fd, std::uint8_t* Data, std::size_t Count) {
    std::size_t done = 0;
    while (done < Count) {
        const ssize_t n = ::read(Fd, Data + done, std::min(Chunk, Count - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        pollfd p{Fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
}

// A raw, non-blocking slave end opened like a device.
int OpenRawSlave(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY);
    platform::TKernelTermios t;
    platform::ReadKernelTermios(fd, t);
    t.Iflag = 0;
    t.Oflag = 0;
    t.Lflag = 0;
    t.Cc[platform::ktVmin] = 0;
    t.Cc[platform::ktVtime] = 0;
    platform::WriteKernelTermios(fd, t);
    return fd;
}

TResult PlainOut(const std::vector<std::uint8_t>& Data, std::vector<std::uint8_t>& Got) {
    testsupport::TPtyPair pty;
    const int slave = OpenRawSlave(pty.SlavePath());
    const TResult r = Measure([&] {
        std::thread far([&] { ReadAllFd(pty.MasterFd(), Got.data(), Got.size()); });
        WriteAllFd(slave, Data.data(), Data.size());
        far.join();
    });
    ::close(slave);
    return r;
}

TResult PlainIn(const std::vector<std::uint8_t>& Data, std::vector<std::uint8_t>& Got) {
    testsupport::TPtyPair pty;
    const int slave = OpenRawSlave(pty.SlavePath());
    const TResult r = Measure([&] {
        std::thread far([&] { WriteAllFd(pty.MasterFd(), Data.data(), Data.size()); });
        ReadAllFd(slave, Got.data(), Got.size());
        far.join();
    });
    ::close(slave);
    return r;
}

// ---- Through the dispatcher -----------------------------------------------------------------

// The application's wait for "something changed", as the idle loop has it.
class TActivityWait {
public:
    TActivityWait() {
        platform::SetActivityReceiver([this] {
            {
                std::lock_guard lock(Lock);
                ++Generation;
            }
            Changed.notify_one();
        });
    }
    ~TActivityWait() { platform::SetActivityReceiver(nullptr); }
    std::uint64_t Now() {
        std::lock_guard lock(Lock);
        return Generation;
    }
    // Until the generation moves past Seen; a heartbeat bounds the wait.
    void WaitPast(std::uint64_t Seen) {
        std::unique_lock lock(Lock);
        Changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return Generation != Seen; });
    }

private:
    std::mutex Lock;
    std::condition_variable Changed;
    std::uint64_t Generation = 0;
};

struct TPort {
    TPort() {
        platform::SetScanDirectory("");
        platform::SetPortOverride(1, Pty.SlavePath());
        if (Dispatcher.OpenDevice("\\\\.\\COM1", 115200, 0, 8, 1, 51200, 10240, 0x03) != 0) {
            std::fprintf(stderr, "open failed\n");
            std::exit(1);
        }
    }
    testsupport::TPtyPair Pty;
    TOxWin32Dispatcher Dispatcher{nullptr};
};

TResult DispatcherOut(const std::vector<std::uint8_t>& Data, std::vector<std::uint8_t>& Got) {
    TPort port;
    TActivityWait activity;
    return Measure([&] {
        std::thread far([&] { ReadAllFd(port.Pty.MasterFd(), Got.data(), Got.size()); });
        std::size_t done = 0;
        while (done < Data.size()) {
            const std::uint64_t seen = activity.Now();
            const auto n = static_cast<std::uint32_t>(std::min(Chunk, Data.size() - done));
            if (port.Dispatcher.WriteBlock(Data.data() + done, n) == ecOK)
                done += n;
            else
                activity.WaitPast(seen);
        }
        far.join();
    });
}

TResult DispatcherIn(const std::vector<std::uint8_t>& Data, std::vector<std::uint8_t>& Got) {
    TPort port;
    TActivityWait activity;
    return Measure([&] {
        std::thread far([&] { WriteAllFd(port.Pty.MasterFd(), Data.data(), Data.size()); });
        std::size_t done = 0;
        while (done < Got.size()) {
            const std::uint64_t seen = activity.Now();
            const auto n = static_cast<std::uint32_t>(
                std::min<std::size_t>(port.Dispatcher.InputCount(), Got.size() - done));
            if (n > 0 && port.Dispatcher.ReadBlock(Got.data() + done, n) == static_cast<int>(n))
                done += n;
            else
                activity.WaitPast(seen);
        }
        far.join();
    });
}

// ---- Report ---------------------------------------------------------------------------------

TResult Median(std::vector<TResult> Runs) {
    std::sort(Runs.begin(), Runs.end(),
              [](const TResult& a, const TResult& b) { return a.Seconds < b.Seconds; });
    return Runs[Runs.size() / 2];
}

template <typename TRun>
TResult RunChecked(TRun Run, const std::vector<std::uint8_t>& Data,
                   std::vector<std::uint8_t>& Got) {
    std::fill(Got.begin(), Got.end(), 0);
    const TResult result = Run(Data, Got);
    if (Got != Data) {
        std::fprintf(stderr, "bytes differ\n");
        std::exit(1);
    }
    return result;
}

struct TPairedResult {
    TResult Plain;
    TResult Dispatcher;
};

// Baseline and dispatcher runs alternate, so that both see the same machine: on a shared
// machine the load changes over a run of several seconds.
template <typename TPlain, typename TDisp>
TPairedResult RepeatPaired(TPlain Plain, TDisp Disp, const std::vector<std::uint8_t>& Data,
                           int Runs) {
    std::vector<TResult> plain;
    std::vector<TResult> disp;
    std::vector<std::uint8_t> got(Data.size());
    for (int i = 0; i < Runs; ++i) {
        plain.push_back(RunChecked(Plain, Data, got));
        disp.push_back(RunChecked(Disp, Data, got));
    }
    return {Median(plain), Median(disp)};
}

template <typename TRun> void Repeat(TRun Run, const std::vector<std::uint8_t>& Data, int Runs) {
    std::vector<std::uint8_t> got(Data.size());
    for (int i = 0; i < Runs; ++i)
        RunChecked(Run, Data, got);
}

void Report(const char* Direction, const TPairedResult& Result, double MiB) {
    const TResult& Plain = Result.Plain;
    const TResult& Disp = Result.Dispatcher;
    const double plainRate = MiB / Plain.Seconds;
    const double dispRate = MiB / Disp.Seconds;
    const double plainCpu = Plain.Cpu / MiB;
    const double dispCpu = Disp.Cpu / MiB;
    std::printf("%-24s %10.1f MiB/s %10.2f ms CPU/MiB\n",
                (std::string("plain ") + Direction).c_str(), plainRate, plainCpu * 1e3);
    std::printf("%-24s %10.1f MiB/s %10.2f ms CPU/MiB\n",
                (std::string("dispatcher ") + Direction).c_str(), dispRate, dispCpu * 1e3);
    std::printf("%-24s %10.2f x rate   %10.2f x CPU/MiB\n\n", "ratio", dispRate / plainRate,
                dispCpu / plainCpu);
}

} // namespace

int main(int argc, char** argv) {
    const int mib = argc > 1 ? std::max(1, std::atoi(argv[1])) : 16;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(mib) << 20);
    std::uint32_t x = 12345;
    for (auto& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    const std::string which = argc > 3 ? argv[3] : "all";
    std::printf("%d MiB per run, median of %d runs\n\n", mib, runs);
    if (which == "all" || which == "out")
        Report("out", RepeatPaired(PlainOut, DispatcherOut, data, runs), mib);
    if (which == "all" || which == "in")
        Report("in", RepeatPaired(PlainIn, DispatcherIn, data, runs), mib);
    // Only one side, for profiling: "plain-in", "disp-in", "plain-out", "disp-out".
    if (which == "plain-in") Repeat(PlainIn, data, runs);
    if (which == "disp-in") Repeat(DispatcherIn, data, runs);
    if (which == "plain-out") Repeat(PlainOut, data, runs);
    if (which == "disp-out") Repeat(DispatcherOut, data, runs);
    return 0;
}
