#pragma once
// Waiting until the line has sent what was written ("all sent"), with a bound in every case.
//
// Drivers tell it in different ways. A UART's driver reports its transmitter empty
// (TIOCSERGETLSR) as soon as the last stop bit has gone; that is the most exact moment and is
// used where the driver reports it. Some USB adapters' drivers (pl2303, ch341, cp210x) refuse the
// question, others (ftdi_sio) answer it only from status the adapter may never send, and cdc_acm
// counts whole transfer buffers as queued. For those the kernel's own wait (tcdrain) is used,
// which asks the driver in its own way. Every wait ends, at the latest, after the line time of
// the bytes still queued plus a margin: a driver that never reports "empty" must not hold a
// transfer.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vaultix::platform {

// What the drain asks of a device; each returns 0 or an errno value.
class TDrainProbe {
public:
    virtual ~TDrainProbe() = default;
    // Bytes the driver still holds (TIOCOUTQ).
    virtual int QueuedBytes(std::size_t& Bytes) = 0;
    // The transmitter's "empty" state (TIOCSERGETLSR); ENOTTY, EINVAL or ENOSYS: not reported.
    virtual int TransmitterEmpty(bool& Empty) = 0;
    // Waits until the driver has sent everything (tcdrain), at most TimeoutMs; ETIMEDOUT when
    // that passed, ECANCELED when a purge or close ended it.
    virtual int DrainDriver(int TimeoutMs) = 0;
    // Sleeps up to Ms; false when a purge or close ended the wait.
    virtual bool Sleep(int Ms) = 0;
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
};

// How the line's driver reports its transmitter, learnt by the first drains of an open line.
enum TLineStatusReport : std::uint8_t {
    lrUnknown,
    lrReported,    // TIOCSERGETLSR says when the transmitter is empty
    lrNotReported, // refused, or never said "empty" within the bound: tcdrain from now on
};

// Extra time beyond the bytes' line time before a drain stops waiting for the driver.
inline constexpr int DrainMarginMs = 50;

class TOutputDrain {
public:
    // Waits until the driver has sent what it holds. Baud and Bits (per character) give the
    // line time. 0 once sent or once the bound has passed; ECANCELED; another errno when the
    // device failed (EIO after a hang-up).
    int Wait(TDrainProbe& Probe, std::uint32_t Baud, unsigned Bits);

    TLineStatusReport Report() const { return FReport; }

    // Milliseconds Bytes take on the line, rounded up.
    static std::uint64_t LineMs(std::size_t Bytes, std::uint32_t Baud, unsigned Bits);

private:
    TLineStatusReport FReport = lrUnknown; // only the one writing thread drains
};

} // namespace vaultix::platform
