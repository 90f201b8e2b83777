#include "platform/TimeBase.h"

#include <algorithm>
#include <chrono>

namespace vaultix::platform {

std::uint32_t NowMs() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::uint32_t Ticks() { return NowMs() / 55u; }

void SetTickTimerAt(TickTimer& Timer, std::uint32_t N, std::uint32_t NowTick) {
    Timer.StartTick = NowTick;
    // The expiry is kept on the wrapped tick scale, so that a timer set just before the wrap
    // still expires after it.
    Timer.ExpireTick = (NowTick + std::min(N, MaxTimerTicks)) % TickPeriod;
}

void SetTickTimer(TickTimer& Timer, std::uint32_t N) { SetTickTimerAt(Timer, N, Ticks()); }

namespace {
// Ticks from From to To on the wrapped scale.
std::uint32_t TicksBetween(std::uint32_t From, std::uint32_t To) {
    return To >= From ? To - From : To + (TickPeriod - From);
}
} // namespace

bool TickTimerExpiredAt(const TickTimer& Timer, std::uint32_t NowTick) {
    const std::uint32_t duration = TicksBetween(Timer.StartTick, Timer.ExpireTick);
    return TicksBetween(Timer.StartTick, NowTick) > duration;
}

bool TickTimerExpired(const TickTimer& Timer) { return TickTimerExpiredAt(Timer, Ticks()); }

} // namespace vaultix::platform
