#include "simulator/LinePacer.h"

#include <limits>
#include <stdexcept>

namespace vaultix::simulator {

namespace {
constexpr std::uint64_t NsPerSecond = 1'000'000'000;
}

TLinePacer::TLinePacer(std::uint32_t Baud, bool Paced) : LineBaud(Baud), IsPaced(Paced) {
    if (Baud == 0) throw std::invalid_argument("line speed 0");
}

void TLinePacer::Restart(TSimClock::time_point NewOrigin) {
    Origin = NewOrigin;
}

std::chrono::nanoseconds TLinePacer::Offset(std::uint64_t Index) const {
    if (!IsPaced) return std::chrono::nanoseconds::zero();
    // Index * 12 s / baud, rounded up to whole nanoseconds so that DueBy() at this instant
    // already counts the byte (a wait until DueAt() then never wakes a nanosecond too early
    // and loops). The product stays far below 2^64 for any image a transfer can move.
    return std::chrono::nanoseconds(
        static_cast<std::int64_t>((Index * BitsPerByte * NsPerSecond + LineBaud - 1) / LineBaud));
}

std::uint64_t TLinePacer::DueBy(TSimClock::time_point Now) const {
    if (!IsPaced) return std::numeric_limits<std::uint64_t>::max();
    if (Now < Origin) return 0;
    const auto elapsed = static_cast<std::uint64_t>(std::chrono::nanoseconds(Now - Origin).count());
    // Byte i is due once i * 12e9 / baud <= elapsed; that holds for i up to the floor below.
    return elapsed * LineBaud / (BitsPerByte * NsPerSecond) + 1;
}

} // namespace vaultix::simulator
