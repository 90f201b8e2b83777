// The moving parts of TSerialDevice: reading, writing until the line has sent the bytes, and the
// event wait. Every wait polls the device together with an eventfd of its own, so that a purge,
// a mask change or a close from another thread can end it.

#include "platform/SerialDevice.h"

#include "platform/SerialTermios.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vaultix::platform {

namespace {

// How often unread input is re-examined for new arrivals while a wait watches it (poll cannot
// see those: the device stays readable). Modem lines and counters are sampled by SampleLines.
constexpr int SampleIntervalMs = 15;

// A device that stays hung up must not let a waiting loop spin.
constexpr int HangUpBackoffMs = 100;

constexpr std::uint32_t ModemEvents = evCts | evDsr | evRlsd | evRing | evRingTrailing;

void ConsumeWake(int Fd) {
    std::uint64_t count;
    [[maybe_unused]] auto n = ::read(Fd, &count, sizeof count);
}

void Wake(int Fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(Fd, &one, sizeof one);
}

bool HangUpSignalled(short Revents) {
    return (Revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

// ---- read -------------------------------------------------------------------------------------

int TSerialDevice::Read(void* Buffer, std::size_t Count, std::size_t& Got) {
    Got = 0;
    TCall call(*this);
    if (!call) return EBADF;
    if (Count == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(Fd, Buffer, Count);
        if (n >= 0) {
            Got = static_cast<std::size_t>(n);
            bool rewatch;
            {
                std::lock_guard lock(StateLock);
                RxReported = RxReported > Got ? RxReported - Got : 0;
                rewatch = WaitSamplingUnread && RxReported == 0;
                if (rewatch) WaitSamplingUnread = false;
            }
            // Otherwise new input would only be seen at the wait's next sample.
            if (rewatch) Wake(EventWakeFd);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        if (errno == EIO) MarkHungUp();
        return errno;
    }
}

bool TSerialDevice::WaitReadable(int TimeoutMs) {
    TCall call(*this);
    if (!call || HungUp.load()) return false;
    pollfd p{Fd, POLLIN, 0};
    const int n = ::poll(&p, 1, TimeoutMs);
    return n > 0 && (p.revents & POLLIN) != 0 && !HangUpSignalled(p.revents);
}

// ---- write ------------------------------------------------------------------------------------

bool TSerialDevice::WriteCancelled(std::uint32_t Generation) const {
    return ClosingFlag.load() || WriteAborted.load() || PurgeGeneration.load() != Generation;
}

int TSerialDevice::Write(const void* Buffer, std::size_t Count, std::size_t& Written) {
    Written = 0;
    TCall call(*this);
    if (!call) return EBADF;
    if (WriteBusy.exchange(true)) return EBUSY;
    struct TRelease {
        TSerialDevice& Device;
        ~TRelease() {
            Device.WriteUnsent.store(0);
            Device.WriteBusy.store(false);
        }
    } release{*this};

    const std::uint32_t generation = PurgeGeneration.load();
    const auto* bytes = static_cast<const std::uint8_t*>(Buffer);
    WriteUnsent.store(Count);
    while (Written < Count) {
        if (WriteCancelled(generation)) return ClosingFlag.load() ? EBADF : ECANCELED;
        const ssize_t n = ::write(Fd, bytes + Written, Count - Written);
        if (n > 0) {
            Written += static_cast<std::size_t>(n);
            WriteUnsent.store(Count - Written);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            // The line (or the far end of a pseudo-terminal) is not taking more yet.
            pollfd fds[2] = {{Fd, POLLOUT, 0}, {WriteWakeFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return errno;
            if (fds[1].revents & POLLIN) ConsumeWake(WriteWakeFd);
            if (HangUpSignalled(fds[0].revents)) {
                MarkHungUp();
                return EIO;
            }
            continue;
        }
        const int e = n < 0 ? errno : EIO;
        if (e == EIO) MarkHungUp();
        return e;
    }
    WriteUnsent.store(0);
    return DrainOutput(generation);
}

int TSerialDevice::DrainOutput(std::uint32_t Generation) {
    std::uint32_t baud;
    unsigned bits;
    {
        std::lock_guard lock(StateLock);
        baud = Settings.BaudRate;
        bits = BitsPerCharacter(Settings);
    }
    class TProbe final : public TDrainProbe {
    public:
        TProbe(TSerialDevice& Device, std::uint32_t Generation)
            : Device(Device), Generation(Generation) {}
        int QueuedBytes(std::size_t& Bytes) override {
            if (Device.WriteCancelled(Generation)) return Cancelled();
            return Device.OutputQueued(Bytes);
        }
        int TransmitterEmpty(bool& Empty) override {
            int status = 0;
            if (::ioctl(Device.Fd, TIOCSERGETLSR, &status) != 0) return errno;
            Empty = (status & TIOCSER_TEMT) != 0;
            return 0;
        }
        int DrainDriver(int TimeoutMs) override {
            const int fd = Device.Fd;
            const auto until = Now() + std::chrono::milliseconds(TimeoutMs);
            for (;;) {
                if (Device.WriteCancelled(Generation)) return Cancelled();
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(until - Now());
                if (left.count() <= 0) return ETIMEDOUT;
                const int e = Device.DrainCall.Run([fd] { return ::tcdrain(fd) == 0 ? 0 : errno; },
                                                   static_cast<int>(left.count()));
                if (e == ECANCELED) return Cancelled();
                if (e != EINTR) return e;
            }
        }
        bool Sleep(int Ms) override {
            pollfd wake{Device.WriteWakeFd, POLLIN, 0};
            if (::poll(&wake, 1, Ms) > 0) ConsumeWake(Device.WriteWakeFd);
            return !Device.WriteCancelled(Generation);
        }

    private:
        int Cancelled() const { return Device.ClosingFlag.load() ? EBADF : ECANCELED; }
        TSerialDevice& Device;
        const std::uint32_t Generation;
    } probe(*this, Generation);

    const int result = Drain.Wait(probe, baud, bits);
    if (result == EIO) MarkHungUp();
    if (result == ECANCELED && ClosingFlag.load()) return EBADF;
    return result;
}

// ---- events -----------------------------------------------------------------------------------

int TSerialDevice::SetEventMask(std::uint32_t Mask) {
    if (Mask & ~evFullMask) return EINVAL;
    TCall call(*this);
    if (!call) return EBADF;
    int lines = 0;
    const bool haveLines = ReadModemLines(lines);
    {
        std::lock_guard lock(StateLock);
        EventMask = Mask;
        PendingEvents = 0;
        if (haveLines) ModemSnapshot = lines;
        if (WaitPending || Mask == 0) WaitRelease = true;
    }
    Wake(EventWakeFd);
    return 0;
}

void TSerialDevice::CancelWait() {
    TCall call(*this);
    if (!call) return;
    {
        std::lock_guard lock(StateLock);
        WaitRelease = true;
    }
    Wake(EventWakeFd);
}

int TSerialDevice::WaitEvent(std::uint32_t& Events) {
    Events = 0;
    TCall call(*this);
    if (!call) return EBADF;
    {
        std::lock_guard lock(StateLock);
        if (WaitPending) return EBUSY;
        if (WaitRelease) {
            WaitRelease = false;
            return 0;
        }
        WaitPending = true;
    }
    const int result = WaitLoop(Events);
    std::lock_guard lock(StateLock);
    WaitPending = false;
    // A release that raced with a returning wait has done its job: the caller is awake.
    WaitRelease = false;
    return result;
}

std::uint32_t TSerialDevice::CheckInputEvent(bool Wanted) {
    int waiting = 0;
    if (::ioctl(Fd, FIONREAD, &waiting) != 0) waiting = 0;
    const auto now = static_cast<std::size_t>(std::max(waiting, 0));
    std::lock_guard lock(StateLock);
    const bool arrived = now > RxReported;
    RxReported = now;
    return Wanted && arrived ? evRxChar : 0;
}

std::uint32_t TSerialDevice::CheckModemEvents() {
    int lines = 0;
    if (!ReadModemLines(lines)) return 0;
    std::lock_guard lock(StateLock);
    const int changed = lines ^ ModemSnapshot;
    ModemSnapshot = lines;
    std::uint32_t events = 0;
    if (changed & TIOCM_CTS) events |= evCts;
    if (changed & TIOCM_DSR) events |= evDsr;
    if (changed & TIOCM_CD) events |= evRlsd;
    if (changed & TIOCM_RNG) events |= (lines & TIOCM_RNG) ? evRing : evRingTrailing;
    return events;
}

void TSerialDevice::LinesChanged() {
    bool waiting;
    {
        std::lock_guard lock(StateLock);
        waiting = WaitPending;
    }
    if (waiting) Wake(EventWakeFd);
}

void TSerialDevice::SampleLines() {
    TCall call(*this);
    if (!call) return;
    std::uint32_t mask;
    {
        std::lock_guard lock(StateLock);
        mask = EventMask;
    }
    std::uint32_t events = 0;
    if ((mask & ModemEvents) && ModemLinesReadable()) events |= CheckModemEvents();
    if ((mask & (ModemEvents | evBreak | evErr)) && CountersSupported.load())
        events |= CollectCounterEvents();
    bool pending;
    {
        std::lock_guard lock(StateLock);
        PendingEvents |= events & EventMask;
        // Also what a status read of the same pass collected.
        pending = (PendingEvents & EventMask) != 0 && WaitPending;
    }
    if (pending) Wake(EventWakeFd);
}

int TSerialDevice::WaitAfterHangUp() {
    bool first;
    {
        std::lock_guard lock(StateLock);
        first = !HangUpReported;
        HangUpReported = true;
    }
    if (!first) {
        pollfd wake{EventWakeFd, POLLIN, 0};
        if (::poll(&wake, 1, HangUpBackoffMs) > 0) ConsumeWake(EventWakeFd);
        if (ClosingFlag.load()) return EBADF;
        std::lock_guard lock(StateLock);
        if (WaitRelease) return 0;
    }
    return EIO;
}

int TSerialDevice::WaitLoop(std::uint32_t& Events) {
    for (;;) {
        if (ClosingFlag.load()) return EBADF;
        std::uint32_t mask;
        {
            std::lock_guard lock(StateLock);
            if (WaitRelease) return 0;
            mask = EventMask;
            Events = PendingEvents & mask;
            PendingEvents = 0;
        }
        if (Events != 0) return 0;

        // Look before sleeping: what arrived since the last wait is reported at once.
        const bool wantModem = (mask & ModemEvents) && ModemLinesReadable();
        const bool wantCounters =
            (mask & (ModemEvents | evBreak | evErr)) && CountersSupported.load();
        std::uint32_t events = CheckInputEvent((mask & evRxChar) != 0);
        if (wantModem) events |= CheckModemEvents();
        if (wantCounters) events |= CollectCounterEvents();
        Events = events & mask;
        if (Events != 0) return 0;
        if (HungUp.load()) return WaitAfterHangUp();

        bool unreadInput;
        {
            std::lock_guard lock(StateLock);
            unreadInput = RxReported > 0;
            WaitSamplingUnread = (mask & evRxChar) && unreadInput;
        }
        // With input already announced but not read, the device stays readable: sample for
        // further arrivals instead of polling for them. Lines and counters are sampled by the
        // dispatcher's pass (SampleLines), which wakes this wait when they changed.
        const bool watchInput = (mask & evRxChar) && !unreadInput;
        const bool sample = (mask & evRxChar) && unreadInput;
        pollfd fds[2] = {{Fd, static_cast<short>(watchInput ? POLLIN : 0), 0},
                         {EventWakeFd, POLLIN, 0}};
        const int polled = ::poll(fds, 2, sample ? SampleIntervalMs : -1);
        const int pollError = errno;
        {
            std::lock_guard lock(StateLock);
            WaitSamplingUnread = false;
        }
        if (polled < 0 && pollError != EINTR) return pollError;
        if (fds[1].revents & POLLIN) ConsumeWake(EventWakeFd);
        if (HangUpSignalled(fds[0].revents)) MarkHungUp();
    }
}

} // namespace vaultix::platform
