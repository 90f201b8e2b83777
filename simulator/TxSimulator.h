#pragma once
// A simulated transmitter on the far end of a serial line, for tests, benchmarks and users
// without hardware. It plays one transmitter type: sends one model, the whole memory or all
// models with the block protocol, or receives a restore and checks it, at the type's line
// speed, optionally misbehaving on purpose.
//
//     TTxSimulator sim(options);        // creates the pseudo-terminal pair
//     OpenPortOn(sim.SlavePath());      // the application's side
//     sim.Start();                      // the user starts the transfer at the transmitter
//     auto result = sim.Wait(10s);      // nullopt while still running
//     sim.Stop();                       // prompt, also in the middle of a wait

#include "simulator/SimLine.h"
#include "simulator/SimOptions.h"
#include "simulator/SimPlan.h"
#include "simulator/SimSession.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vaultix::simulator {

class TTxSimulator {
public:
    // Checks the options, prepares the images and opens the line (a new pseudo-terminal pair,
    // or Options.DevicePath). Throws std::invalid_argument for options that do not fit the
    // type, std::system_error when the line cannot be opened. Log, when given, receives one
    // line of text per event (acknowledgements, faults, errors) on the simulator's thread.
    explicit TTxSimulator(TSimOptions Options, TSimLog Log = {});
    ~TTxSimulator();
    TTxSimulator(const TTxSimulator&) = delete;
    TTxSimulator& operator=(const TTxSimulator&) = delete;

    // The device for the application to open: the pseudo-terminal's slave, or the device path.
    const std::string& SlavePath() const { return Line.Path(); }

    // The bytes that will be sent, or that a checked restore must bring.
    const TImage& Image() const { return Plan.Data; }
    const TSimPlan& RunPlan() const { return Plan; }
    const TSimOptions& Options() const { return RunOptions; }

    // Starts the run on the simulator's own thread; only once.
    void Start();

    // Waits up to Timeout for the run to end; nullopt while it still runs (or never started).
    std::optional<TSimResult> Wait(milliseconds Timeout);

    // Ends the run (promptly: every wait of the run watches for it) and returns its result;
    // a run that had ended already keeps its own outcome.
    TSimResult Stop();

    // Counts so far, while the run goes on.
    std::size_t BytesSent() const { return Progress.BytesSent.load(std::memory_order_relaxed); }
    std::size_t BytesReceived() const {
        return Progress.BytesReceived.load(std::memory_order_relaxed);
    }

private:
    const TSimOptions RunOptions;
    const TSimPlan Plan;
    TSimLog Log;
    TSimLine Line;
    TSimProgress Progress;

    std::mutex Mutex;
    std::condition_variable Ended;
    bool Started = false; // guarded by Mutex
    bool Done = false;    // guarded by Mutex
    TSimResult Result;    // guarded by Mutex, written once when Done becomes true
    std::mutex JoinMutex; // Stop() may come from several threads; one of them joins
    std::thread Worker;
};

} // namespace vaultix::simulator
