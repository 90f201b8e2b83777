#include "platform/OutputDrain.h"

#include <algorithm>
#include <cerrno>

namespace vaultix::platform {

namespace {

// Longest pause between two looks at the transmitter.
constexpr std::uint64_t StepMaxMs = 50;

bool NotSupported(int Error) {
    return Error == ENOTTY || Error == EINVAL || Error == ENOSYS;
}

} // namespace

std::uint64_t TOutputDrain::LineMs(std::size_t Bytes, std::uint32_t Baud, unsigned Bits) {
    const std::uint64_t bits = static_cast<std::uint64_t>(Bytes) * Bits * 1000u;
    const std::uint64_t baud = std::max<std::uint32_t>(Baud, 1);
    return (bits + baud - 1) / baud;
}

int TOutputDrain::Wait(TDrainProbe& Probe, std::uint32_t Baud, unsigned Bits) {
    using std::chrono::milliseconds;
    std::size_t queued = 0;
    if (const int e = Probe.QueuedBytes(queued)) return e;
    // The character in the transmitter itself counts too.
    const auto bound = milliseconds(LineMs(queued + 1, Baud, Bits) + DrainMarginMs);
    const auto deadline = Probe.Now() + bound;

    while (FReport != lrNotReported) {
        // Asked before any sleep, so that a driver that refuses the question costs no time.
        bool empty = false;
        if (const int e = Probe.TransmitterEmpty(empty)) {
            if (!NotSupported(e)) return e;
            FReport = lrNotReported;
            break;
        }
        if (empty && queued == 0) {
            FReport = lrReported;
            return 0;
        }
        if (Probe.Now() >= deadline) {
            // The driver's queue is empty, yet the transmitter was never said to be: the
            // driver does not report it (or no longer does).
            if (queued == 0) FReport = lrNotReported;
            break;
        }
        const auto step = std::clamp<std::uint64_t>(
            LineMs(std::max<std::size_t>(queued, 1), Baud, Bits), 1, StepMaxMs);
        if (!Probe.Sleep(static_cast<int>(step))) return ECANCELED;
        if (const int e = Probe.QueuedBytes(queued)) return e;
    }

    if (const int e = Probe.QueuedBytes(queued)) return e;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Probe.Now());
    const auto limit = std::max(left, milliseconds(LineMs(queued + 1, Baud, Bits) + DrainMarginMs));
    const int result = Probe.DrainDriver(static_cast<int>(limit.count()));
    // Past the bound the bytes count as sent: whatever holds them, a transfer must go on.
    return result == ETIMEDOUT ? 0 : result;
}

} // namespace vaultix::platform
