#include "simulator/TxSimulator.h"

#include <chrono>
#include <stdexcept>

#include <time.h>

namespace vaultix::simulator {

TTxSimulator::TTxSimulator(TSimOptions Options, TSimLog Log)
    : RunOptions(std::move(Options)), Plan(PlanRun(RunOptions)), Log(std::move(Log)) {
    if (RunOptions.DevicePath.empty())
        Line.OpenPty();
    else
        Line.OpenDevice(RunOptions.DevicePath, Plan.Baud);
}

TTxSimulator::~TTxSimulator() {
    Stop();
}

void TTxSimulator::Start() {
    std::lock_guard lock(Mutex);
    if (Started) throw std::logic_error("the simulator runs only once");
    Started = true;
    Worker = std::thread([this] {
        TSimSession session(Line, RunOptions, Plan, Progress, Log);
        TSimResult result = session.Run();
        timespec cpu{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        result.Cpu = std::chrono::seconds(cpu.tv_sec) + std::chrono::nanoseconds(cpu.tv_nsec);
        std::lock_guard done(Mutex);
        Result = std::move(result);
        Done = true;
        Ended.notify_all();
    });
}

std::optional<TSimResult> TTxSimulator::Wait(milliseconds Timeout) {
    std::unique_lock lock(Mutex);
    if (!Ended.wait_for(lock, Timeout, [this] { return Done; })) return std::nullopt;
    return Result;
}

TSimResult TTxSimulator::Stop() {
    Line.Cancel();
    {
        std::unique_lock lock(Mutex);
        if (!Started) {
            Started = true;
            Done = true;
            Result.Outcome = TSimOutcome::soStopped;
        }
    }
    {
        // Started is set now, so Worker no longer changes; the first Stop() joins it.
        std::lock_guard join(JoinMutex);
        if (Worker.joinable() && Worker.get_id() != std::this_thread::get_id()) Worker.join();
    }
    std::lock_guard lock(Mutex);
    return Result;
}

} // namespace vaultix::simulator
