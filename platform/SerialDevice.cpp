#include "platform/SerialDevice.h"

#include "platform/ComPortMap.h"
#include "platform/SerialTermios.h"
#include "platform/Termios2.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vaultix::platform {

namespace {

int MapOpenError(int Error) {
    switch (Error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case ENOTTY:
    case EISDIR:
    case EINVAL:
    case EIO: // a line that is going away or was never set up
        return deNotFound;
    case EAGAIN:
    case EBUSY:
        return deInUse;
    case EACCES:
    case EPERM:
        return deNoAccess;
    default:
        return Error;
    }
}

// What a driver answers for an ioctl it does not implement.
bool NotSupported(int Error) {
    return Error == ENOTTY || Error == EINVAL || Error == ENOSYS;
}

// The speed the driver reports back, compared with 2 % slack: some drivers state the rate their
// divisor achieves, and a UART tolerates that much.
bool SpeedTook(std::uint32_t Wanted, std::uint32_t Got) {
    const std::uint64_t diff = Wanted > Got ? Wanted - Got : Got - Wanted;
    return diff * 50u <= Wanted;
}

} // namespace

// ---- lifetime ---------------------------------------------------------------------------------

TSerialDevice::TCall::TCall(TSerialDevice& Device) : Device(Device) {
    std::lock_guard lock(Device.CallLock);
    Entered = !Device.Closing;
    if (Entered) ++Device.CallsInFlight;
}

TSerialDevice::TCall::~TCall() {
    if (!Entered) return;
    std::lock_guard lock(Device.CallLock);
    if (--Device.CallsInFlight == 0 && Device.Closing) Device.CallsDone.notify_all();
}

TSerialDevice::TSerialDevice(std::string Path, int Fd, int EventWake, int WriteWake,
                             const TDeviceSettings& Settings)
    : DevicePath(std::move(Path)), Fd(Fd), EventWakeFd(EventWake), WriteWakeFd(WriteWake),
      Settings(Settings) {
    // Baselines, so that the first wait reports only what happens after the open.
    int bits = 0;
    if (ReadModemLines(bits)) ModemSnapshot = bits;
    CollectCounterEvents();
    ErrorWord = 0;
}

TSerialDevice::~TSerialDevice() {
    bool open;
    {
        std::lock_guard lock(CallLock);
        open = !Closing;
    }
    if (open) Close();
}

int TSerialDevice::Open(std::string_view Name, std::unique_ptr<TSerialDevice>& Device,
                        const TDeviceSettings& Initial) {
    Device.reset();
    const std::string path = ResolveDeviceName(Name);
    if (path.empty()) return deNotFound;

    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return MapOpenError(errno);
    auto fail = [fd](int Error) {
        ::close(fd);
        return Error;
    };

    // A regular file or /dev/null opens fine; only a terminal answers TCGETS2.
    TKernelTermios termios;
    if (const int e = ReadKernelTermios(fd, termios)) return fail(MapOpenError(e));

    // flock holds against root and against a second open in this process; TIOCEXCL alone does
    // neither, but makes other users' opens fail early with EBUSY.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(MapOpenError(errno));
    ::ioctl(fd, TIOCEXCL);

    if (const int e = EncodeSettings(Initial, termios)) return fail(e);
    if (const int e = WriteKernelTermios(fd, termios)) return fail(MapOpenError(e));
    TKernelTermios back;
    if (const int e = ReadKernelTermios(fd, back)) return fail(MapOpenError(e));
    if (!SpeedTook(Initial.BaudRate, back.Ospeed)) return fail(EINVAL);
    ::tcflush(fd, TCIFLUSH);

    const int eventWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int writeWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventWake < 0 || writeWake < 0) {
        const int e = errno;
        if (eventWake >= 0) ::close(eventWake);
        if (writeWake >= 0) ::close(writeWake);
        return fail(e);
    }
    Device.reset(new TSerialDevice(path, fd, eventWake, writeWake, Initial));
    if (Device->ModemSupported.load()) {
        TSerialDevice* const device = Device.get();
        device->LineWatch.Start(fd, [device] { device->LinesChanged(); });
    }
    return 0;
}

int TSerialDevice::Close() {
    {
        std::lock_guard lock(CallLock);
        if (Closing) return EBADF;
        Closing = true;
        ClosingFlag.store(true);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto a = ::write(EventWakeFd, &one, sizeof one);
    [[maybe_unused]] auto b = ::write(WriteWakeFd, &one, sizeof one);
    LineWatch.Stop();
    DrainCall.Cancel();
    {
        std::unique_lock lock(CallLock);
        CallsDone.wait(lock, [this] { return CallsInFlight == 0; });
    }
    // Output still queued would make the close wait for it (up to half a minute on a USB
    // adapter), and after a hang-up it can never be sent.
    ::tcflush(Fd, TCOFLUSH);
    ::ioctl(Fd, TIOCNXCL);
    const int result = ::close(Fd) == 0 ? 0 : errno;
    ::close(EventWakeFd);
    ::close(WriteWakeFd);
    // A close that reports EIO after a hang-up still released the descriptor.
    return result == EIO ? 0 : result;
}

// ---- settings ---------------------------------------------------------------------------------

int TSerialDevice::SetupQueues(std::uint32_t, std::uint32_t) {
    TCall call(*this);
    return call ? 0 : EBADF;
}

int TSerialDevice::ReadSettings(TDeviceSettings& Out) {
    TCall call(*this);
    if (!call) return EBADF;
    std::lock_guard lock(StateLock);
    Out = Settings;
    return 0;
}

int TSerialDevice::ApplySettings(const TDeviceSettings& New) {
    TKernelTermios termios;
    if (const int e = ReadKernelTermios(Fd, termios)) return e;
    if (const int e = EncodeSettings(New, termios)) return e;
    if (const int e = WriteKernelTermios(Fd, termios)) return e;
    TKernelTermios back;
    if (const int e = ReadKernelTermios(Fd, back)) return e;
    return SpeedTook(New.BaudRate, back.Ospeed) ? 0 : EINVAL;
}

void TSerialDevice::ApplyControlLines(const TDeviceSettings& New) {
    switch (New.Flags & dcbDtrControlMask) {
    case 0:
        ModemLines(TIOCMBIC, TIOCM_DTR);
        break;
    case dcbDtrControlEnable:
        ModemLines(TIOCMBIS, TIOCM_DTR);
        break;
    default:
        break;
    }
    switch (New.Flags & dcbRtsControlMask) {
    case 0:
        ModemLines(TIOCMBIC, TIOCM_RTS);
        break;
    case dcbRtsControlEnable:
        ModemLines(TIOCMBIS, TIOCM_RTS);
        break;
    default:
        break;
    }
}

int TSerialDevice::WriteSettings(const TDeviceSettings& New) {
    TCall call(*this);
    if (!call) return EBADF;
    if (const int e = ApplySettings(New)) {
        if (e == EIO) MarkHungUp();
        return e;
    }
    ApplyControlLines(New);
    std::lock_guard lock(StateLock);
    Settings = New;
    return 0;
}

int TSerialDevice::SetImmediateReads() {
    TCall call(*this);
    if (!call) return EBADF;
    TKernelTermios termios;
    if (const int e = ReadKernelTermios(Fd, termios)) return e;
    if (termios.Cc[ktVmin] == 0 && termios.Cc[ktVtime] == 0) return 0;
    termios.Cc[ktVmin] = 0;
    termios.Cc[ktVtime] = 0;
    return WriteKernelTermios(Fd, termios);
}

// ---- status -----------------------------------------------------------------------------------

int TSerialDevice::ModemLines(unsigned long Request, int Bits) {
    if (!ModemSupported.load()) return 0;
    if (::ioctl(Fd, Request, &Bits) == 0) return 0;
    const int e = errno;
    if (NotSupported(e)) {
        ModemSupported.store(false);
        return 0;
    }
    return e;
}

namespace {

std::mutex& ModemLineSourceLock() {
    static std::mutex Lock;
    return Lock;
}

TSerialDevice::TModemLineSource& InstalledModemLineSource() {
    static TSerialDevice::TModemLineSource Source;
    return Source;
}

// Read without the lock on every sample; the source itself is copied under it.
std::atomic<bool> ModemLineSourceSet{false};

} // namespace

void TSerialDevice::SetModemLineSource(TModemLineSource Source) {
    std::lock_guard lock(ModemLineSourceLock());
    ModemLineSourceSet.store(static_cast<bool>(Source));
    InstalledModemLineSource() = std::move(Source);
}

bool TSerialDevice::ModemLinesReadable() const {
    return ModemLineSourceSet.load() || ModemSupported.load();
}

bool TSerialDevice::ReadModemLines(int& Bits) {
    Bits = 0;
    if (ModemLineSourceSet.load()) {
        TModemLineSource Source;
        {
            std::lock_guard lock(ModemLineSourceLock());
            Source = InstalledModemLineSource();
        }
        if (Source) return Source(Fd, Bits);
    }
    if (LineWatch.Levels(Bits)) return true;
    if (!ModemSupported.load()) return false;
    if (::ioctl(Fd, TIOCMGET, &Bits) == 0) return true;
    if (NotSupported(errno)) ModemSupported.store(false);
    Bits = 0;
    return false;
}

std::uint32_t TSerialDevice::CollectCounterEvents() {
    if (!CountersSupported.load()) return 0;
    serial_icounter_struct raw{};
    if (::ioctl(Fd, TIOCGICOUNT, &raw) != 0) {
        if (NotSupported(errno)) CountersSupported.store(false);
        return 0;
    }
    const TLineCounters now{
        static_cast<std::uint32_t>(raw.cts),        static_cast<std::uint32_t>(raw.dsr),
        static_cast<std::uint32_t>(raw.rng),        static_cast<std::uint32_t>(raw.dcd),
        static_cast<std::uint32_t>(raw.frame),      static_cast<std::uint32_t>(raw.overrun),
        static_cast<std::uint32_t>(raw.parity),     static_cast<std::uint32_t>(raw.brk),
        static_cast<std::uint32_t>(raw.buf_overrun)};
    LineWatch.CheckCount(now.Cts + now.Dsr + now.Ring + now.Dcd);
    std::lock_guard lock(StateLock);
    // Two threads may sample at once; a sample older than the base shows as a huge unsigned
    // difference and is dropped instead of counting backwards.
    auto grew = [](std::uint32_t Now, std::uint32_t& Base) {
        const std::uint32_t delta = Now - Base;
        if (delta == 0 || delta > 0x7FFFFFFFu) return false;
        Base = Now;
        return true;
    };
    TLineCounters& base = CounterBase;
    std::uint32_t events = 0;
    if (grew(now.Cts, base.Cts)) events |= evCts;
    if (grew(now.Dsr, base.Dsr)) events |= evDsr;
    if (grew(now.Dcd, base.Dcd)) events |= evRlsd;
    if (grew(now.Ring, base.Ring)) events |= evRing;
    if (grew(now.Break, base.Break)) {
        events |= evBreak;
        ErrorWord |= ceBreak;
    }
    std::uint32_t errors = 0;
    if (grew(now.Frame, base.Frame)) errors |= ceFrame;
    if (grew(now.Overrun, base.Overrun)) errors |= ceOverrun;
    if (grew(now.Parity, base.Parity)) errors |= ceRxParity;
    if (grew(now.BufferOverrun, base.BufferOverrun)) errors |= ceRxOver;
    if (errors != 0) {
        events |= evErr;
        ErrorWord |= errors;
    }
    return events;
}

int TSerialDevice::OutputQueued(std::size_t& Bytes) {
    Bytes = 0;
    if (!OutQueueSupported.load()) return 0;
    int queued = 0;
    if (::ioctl(Fd, TIOCOUTQ, &queued) == 0) {
        Bytes = queued > 0 ? static_cast<std::size_t>(queued) : 0;
        return 0;
    }
    const int e = errno;
    if (NotSupported(e)) {
        OutQueueSupported.store(false);
        return 0;
    }
    return e;
}

int TSerialDevice::ClearError(std::uint32_t& Errors, TDeviceCounts& Counts) {
    Errors = 0;
    Counts = {};
    TCall call(*this);
    if (!call) return EBADF;
    int waiting = 0;
    if (::ioctl(Fd, FIONREAD, &waiting) != 0) {
        const int e = errno;
        if (e == EIO) MarkHungUp();
        return e;
    }
    std::size_t queued = 0;
    if (const int e = OutputQueued(queued)) return e;
    const std::uint32_t events = CollectCounterEvents();
    std::lock_guard lock(StateLock);
    PendingEvents |= events & EventMask;
    Errors = ErrorWord;
    ErrorWord = 0;
    Counts.InQue = waiting > 0 ? static_cast<std::uint32_t>(waiting) : 0;
    Counts.OutQue = static_cast<std::uint32_t>(queued + WriteUnsent.load());
    return 0;
}

int TSerialDevice::GetModemStatus(std::uint32_t& Status) {
    Status = 0;
    TCall call(*this);
    if (!call) return EBADF;
    int bits = 0;
    if (!ReadModemLines(bits)) return 0;
    if (bits & TIOCM_CTS) Status |= msCtsOn;
    if (bits & TIOCM_DSR) Status |= msDsrOn;
    if (bits & TIOCM_RNG) Status |= msRingOn;
    if (bits & TIOCM_CD) Status |= msDcdOn;
    return 0;
}

// ---- escape functions and purge -------------------------------------------------------------

int TSerialDevice::Escape(int Code, std::uint32_t* Value) {
    TCall call(*this);
    if (!call) return EBADF;
    auto plain = [this](unsigned long Request) {
        if (::ioctl(Fd, Request) == 0) return 0;
        return NotSupported(errno) ? 0 : errno;
    };
    switch (Code) {
    case escSetDtr:
        return ModemLines(TIOCMBIS, TIOCM_DTR);
    case escClrDtr:
        return ModemLines(TIOCMBIC, TIOCM_DTR);
    case escSetRts:
        return ModemLines(TIOCMBIS, TIOCM_RTS);
    case escClrRts:
        return ModemLines(TIOCMBIC, TIOCM_RTS);
    case escSetBreak:
        return plain(TIOCSBRK);
    case escClrBreak:
        return plain(TIOCCBRK);
    case escGetBaseAddress: {
        serial_struct info{};
        std::uint32_t base = 0;
        if (::ioctl(Fd, TIOCGSERIAL, &info) == 0)
            base = info.port;
        else if (!NotSupported(errno))
            return errno;
        if (Value) *Value = base;
        return 0;
    }
    default:
        return EINVAL;
    }
}

void TSerialDevice::AbortWrite() {
    TCall call(*this);
    if (!call) return;
    WriteAborted.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(WriteWakeFd, &one, sizeof one);
    DrainCall.Cancel();
}

int TSerialDevice::Purge(int What) {
    // The purge word's abort and clear bits for each direction.
    constexpr int txBits = 0x01 | 0x04;
    constexpr int rxBits = 0x02 | 0x08;
    if ((What & (txBits | rxBits)) == 0) return EINVAL;
    TCall call(*this);
    if (!call) return EBADF;
    int result = 0;
    if (What & txBits) {
        PurgeGeneration.fetch_add(1);
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(WriteWakeFd, &one, sizeof one);
        DrainCall.Cancel();
        if (::tcflush(Fd, TCOFLUSH) != 0) result = errno;
        WriteAborted.store(false);
    }
    if (What & rxBits) {
        if (::tcflush(Fd, TCIFLUSH) != 0 && result == 0) result = errno;
        std::lock_guard lock(StateLock);
        RxReported = 0;
    }
    return result;
}

} // namespace vaultix::platform
