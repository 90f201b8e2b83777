#pragma once
// The serial layer's clock: a 32-bit millisecond count that wraps, and 55 ms ticks for the
// coarse timers (stop waits, timer triggers).

#include <cstdint>

namespace vaultix::platform {

// Milliseconds on a monotonic clock, low 32 bits: wraps about every 49.7 days.
std::uint32_t NowMs();

// NowMs / 55.
std::uint32_t Ticks();

// The tick count wraps once NowMs wraps; this is its period (Ticks() never reaches it).
inline constexpr std::uint32_t TickPeriod = 0xFFFFFFFFu / 55u + 1u;
// The longest a TickTimer may run: half the tick period.
inline constexpr std::uint32_t MaxTimerTicks = 39045157u;

struct TickTimer {
    std::uint32_t StartTick = 0;
    std::uint32_t ExpireTick = 0;
};

// Starts Timer for N ticks from now (at most MaxTimerTicks).
void SetTickTimer(TickTimer& Timer, std::uint32_t N);
void SetTickTimerAt(TickTimer& Timer, std::uint32_t N, std::uint32_t NowTick);

// True once more than N ticks have passed since the timer was set, also when the tick count
// wrapped in between.
bool TickTimerExpired(const TickTimer& Timer);
bool TickTimerExpiredAt(const TickTimer& Timer, std::uint32_t NowTick);

} // namespace vaultix::platform
