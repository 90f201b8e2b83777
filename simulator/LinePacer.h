#pragma once
// Output pacing at the speed of a real line. Each byte on the wire is 12 bit times (start bit,
// 8 data bits, parity, 2 stop bits), so 4800 baud carries 400 bytes/s and 4000 baud 333.3.
// Bytes are scheduled against a fixed origin, never "sleep one byte time after each write":
// a late wake-up is caught up by the next bytes instead of adding up over a long run.

#include "simulator/SimLine.h"

#include <chrono>
#include <cstdint>

namespace vaultix::simulator {

inline constexpr std::uint32_t BitsPerByte = 12;

class TLinePacer {
public:
    // Paced false: every byte is due at once.
    TLinePacer(std::uint32_t Baud, bool Paced);

    // Starts a new schedule: the next byte is due at Origin. The transmitter restarts its
    // output after every pause (waiting for an acknowledgement), not in the middle of a run.
    void Restart(TSimClock::time_point Origin);

    // Offset of byte Index (from 0) after the origin.
    std::chrono::nanoseconds Offset(std::uint64_t Index) const;

    // Bytes of this schedule due by Now, in total (sent ones included).
    std::uint64_t DueBy(TSimClock::time_point Now) const;

    // When byte Index of this schedule is due.
    TSimClock::time_point DueAt(std::uint64_t Index) const { return Origin + Offset(Index); }

    bool Paced() const { return IsPaced; }
    std::uint32_t Baud() const { return LineBaud; }

private:
    std::uint32_t LineBaud;
    bool IsPaced;
    TSimClock::time_point Origin{};
};

} // namespace vaultix::simulator
