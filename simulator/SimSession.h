#pragma once
// One run of the simulated transmitter, from the first byte to the end of the linger time.
// Lives on the simulator's thread; only the counters in TSimProgress are shared.

#include "simulator/LinePacer.h"
#include "simulator/SimLine.h"
#include "simulator/SimOptions.h"
#include "simulator/SimPlan.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace vaultix::simulator {

struct TSimProgress {
    std::atomic<std::size_t> BytesSent{0};
    std::atomic<std::size_t> BytesReceived{0};
};

using TSimLog = std::function<void(const std::string&)>;

class TSimSession {
public:
    TSimSession(TSimLine& Line, const TSimOptions& Options, const TSimPlan& Plan,
                TSimProgress& Progress, TSimLog Log);

    // Runs the scenario; never throws.
    TSimResult Run();

private:
    enum class TPhase { phSending, phReceiving, phLinger };
    struct TInterrupt {
        TSimOutcome Outcome;
    };

    void RunScenario();
    void SendAllModels();
    void ReceiveRestore();
    void SendBackRestore();

    // Sends the bytes of the transfer, applying pacing and the byte-position faults.
    void SendPart(std::span<const std::uint8_t> Bytes);
    void WriteOnLine(std::span<const std::uint8_t> Bytes);
    void ApplyFaultsAt(std::size_t Position);
    void WaitForAck(TAckKind Kind, std::size_t Block);
    void StallUntilStopped();
    [[noreturn]] void HangUpNow();
    void Linger();
    void SleepUntil(TSimClock::time_point Deadline);

    // Waits for Wanted until Deadline, reading whatever input arrives meanwhile. Returns the
    // events; cancellation and hang-up end the run.
    unsigned WaitOnLine(unsigned Wanted, std::optional<TSimClock::time_point> Deadline);
    void DrainInput();
    void TakeInput(std::span<const std::uint8_t> Bytes, TSimClock::time_point At);
    void TakeRestoreByte(std::uint8_t Byte);
    void NoteUnexpected(std::uint8_t Byte);
    void NoteActivity(TSimClock::time_point At);
    void Report(const std::string& Error);
    void Say(const std::string& Text) const;
    void Finish();

    TSimLine& Line;
    const TSimOptions& Options;
    const TSimPlan& Plan;
    TSimProgress& Progress;
    TSimLog Log;
    TSimResult Result;
    TLinePacer Pacer;

    TPhase Phase = TPhase::phSending;
    bool ExpectAcks = false;
    std::size_t TransferPos = 0;      // bytes of the transfer itself sent or received
    std::uint64_t ScheduledBytes = 0; // bytes written since the pacer's last restart
    bool GarbageDone = false;
    TSimClock::time_point LastWrite{};
    std::optional<TSimClock::time_point> FirstActivity;
    TSimClock::time_point LastActivity{};

    // Acknowledgement scanning: 0x40 seen, waiting for 0xAA.
    bool AckHalfSeen = false;
    TSimClock::time_point AckHalfTime{};
    std::deque<TSimClock::time_point> PendingAcks;

    std::size_t UnexpectedCount = 0;
    std::uint8_t FirstUnexpected = 0;
    std::size_t FirstUnexpectedAfter = 0; // bytes sent when it came
    std::size_t Mismatches = 0;
    std::size_t FirstMismatch = 0;
    std::array<std::uint8_t, 4096> ReadBuffer{};
};

} // namespace vaultix::simulator
