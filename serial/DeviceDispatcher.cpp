// The device operations of the dispatcher over the platform serial device.

#include "serial/DeviceDispatcher.h"

#include "platform/ActivitySignal.h"
#include "platform/SyncEvent.h"
#include "serial/SystemErrorCodes.h"

#include <cerrno>
#include <chrono>
#include <new>
#include <sched.h>
#include <utility>

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
constexpr std::int32_t ecOutOfMemory = -8;
constexpr std::uint32_t OutputPurgeAckMs = 5000;
} // namespace

TOxWin32Dispatcher::TOxWin32Dispatcher(TOxCustomComPort* AOwner) : TOxBaseDispatcher(AOwner) {}

TOxWin32Dispatcher::~TOxWin32Dispatcher() {
    Shutdown();
}

std::shared_ptr<TSerialDevice> TOxWin32Dispatcher::Device() const {
    std::lock_guard lock(DeviceRefLock);
    return FDevice;
}

void TOxWin32Dispatcher::SampleDeviceLines() {
    if (const auto device = Device()) device->SampleLines();
}

bool TOxWin32Dispatcher::DeviceGone() const {
    const auto device = Device();
    return device && device->IsHungUp();
}

std::string TOxWin32Dispatcher::DevicePath() const {
    const auto device = Device();
    return device ? device->Path() : std::string();
}

// ---- Opening and closing --------------------------------------------------------------------

std::int32_t TOxWin32Dispatcher::OpenDeviceHandle(const std::string& Name, std::uint32_t,
                                                  std::uint32_t) {
    std::unique_ptr<TSerialDevice> opened;
    int error;
    try {
        error = TSerialDevice::Open(Name, opened, OpeningSettings);
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
    if (error != 0) {
        errno = error;
        return -1;
    }
    const std::int32_t handle = opened->NativeHandle();
    std::shared_ptr<TSerialDevice> device(std::move(opened));
    CommMask = 0;
    std::lock_guard lock(DeviceRefLock);
    FDevice = std::move(device);
    return handle;
}

std::int32_t TOxWin32Dispatcher::CloseDeviceHandle() {
    if (ThreadsRunning.load()) {
        StopThreadsFlag = true;
        if (const auto device = Device()) device->SetEventMask(0);
        if (CommEventDone) CommEventDone->Set();
        if (ThreadAck) ThreadAck->Reset();
        // The dispatch thread leaves on the flag and releases the rings itself; a close that
        // then found the release under way would return before it is done. So a close from
        // the application, outside any delivery, waits for the threads here. From a handler,
        // or while the dispatch thread waits for one on the main thread, it must not.
        if (TOxDispatcherThread::Current() == nullptr && !Delivering.load()) StopThreads();
    }
    std::shared_ptr<TSerialDevice> device;
    {
        std::lock_guard lock(DeviceRefLock);
        device = std::move(FDevice);
    }
    // Close releases a pending event wait and write; threads still inside a call hold their
    // own reference to the device until they return.
    const int error = device ? device->Close() : EBADF;
    DeviceHandle = -1;
    return error == 0 ? 0 : -1;
}

bool TOxWin32Dispatcher::SetupDeviceQueues(std::uint32_t InSize, std::uint32_t OutSize) {
    const auto device = Device();
    const int error = device ? device->SetupQueues(InSize, OutSize) : EBADF;
    if (error != 0) errno = error;
    return error == 0;
}

// ---- Settings and status --------------------------------------------------------------------

std::int32_t TOxWin32Dispatcher::EscapeFunction(int Code) {
    // Lines a device does not have simply do nothing; there is nothing to report.
    if (const auto device = Device()) device->Escape(Code);
    return 0;
}

std::int32_t TOxWin32Dispatcher::ReadDeviceSettings(TDeviceSettings& Settings) {
    const auto device = Device();
    return device && device->ReadSettings(Settings) == 0 ? 0 : -1;
}

std::int32_t TOxWin32Dispatcher::WriteDeviceSettings(const TDeviceSettings& Settings) {
    const auto device = Device();
    return LineErrorCode(device ? device->WriteSettings(Settings) : EBADF);
}

std::uint32_t TOxWin32Dispatcher::ReadDeviceStatus(TDeviceCounts& Counts) {
    std::uint32_t errors = 0;
    TDeviceCounts counts;
    const auto device = Device();
    if (!device || device->ClearError(errors, counts) != 0) errors = 0;
    Counts = counts;
    // Bytes count as sent once the output thread's write has returned, which is when the
    // device has transmitted them; until then they are in the ring.
    Counts.OutQue = OutputRingFill();
    return errors;
}

std::int32_t TOxWin32Dispatcher::ReportDeviceError(std::int32_t) {
    return 0;
}

std::uint32_t TOxWin32Dispatcher::ReadModemLevels() {
    std::uint32_t levels = 0;
    if (const auto device = Device()) device->GetModemStatus(levels);
    return levels;
}

std::int32_t TOxWin32Dispatcher::YieldToDevice() {
    ::sched_yield();
    return 0;
}

// ---- Bytes ----------------------------------------------------------------------------------

std::uint32_t TOxWin32Dispatcher::ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) {
    const auto device = Device();
    std::size_t got = 0;
    if (!device || device->Read(Buffer, Count, got) != 0) return 0;
    if (got > 0) InputArrived = true;
    FilledSinceCheck += static_cast<std::uint32_t>(got);
    return static_cast<std::uint32_t>(got);
}

bool TOxWin32Dispatcher::MoreInputFollows() {
    // A read this large means the line delivers faster than one pass per event; at the
    // speeds of a transmitter's cable reads are a few bytes and this never engages.
    constexpr std::uint32_t StreamingReadBytes = 1024;
    constexpr auto StreamLimit = std::chrono::milliseconds(5);
    constexpr int NextBytesWaitMs = 1;
    const std::uint32_t filled = std::exchange(FilledSinceCheck, 0);
    const auto now = std::chrono::steady_clock::now();
    if (StreamSince == TStreamClock::time_point{}) StreamSince = now;
    bool follow = filled >= StreamingReadBytes && now - StreamSince < StreamLimit &&
                  !StopThreadsFlag.load() && !CloseRequested.load();
    if (follow) {
        std::lock_guard input(InputLock);
        follow = !InFull;
    }
    if (!follow) {
        StreamSince = {};
        return false;
    }
    // The application reads what is in the ring while the next bytes arrive.
    if (InputArrived.exchange(false) && InputWakeDue()) SignalActivity();
    const auto device = Device();
    if (device && device->WaitReadable(NextBytesWaitMs)) return true;
    StreamSince = {};
    return false;
}

std::int32_t TOxWin32Dispatcher::QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) {
    AppendToOutputRing(Buffer, Count);
    if (OutputQueued) OutputQueued->Set();
    return static_cast<std::int32_t>(Count);
}

int TOxWin32Dispatcher::WriteRun(const std::uint8_t* Buffer, std::uint32_t Count) {
    const auto device = Device();
    if (!device) return EBADF;
    std::size_t written = 0;
    return device->Write(Buffer, Count, written);
}

std::int32_t TOxWin32Dispatcher::PurgeDevice(bool Input) {
    const auto device = Device();
    if (Input) return LineErrorCode(device ? device->Purge(purgeInput) : EBADF);
    if (OutThread.load() != nullptr && OutputFlushRequest && ThreadAck) {
        // The output thread gives up its pending write and says so before the ring is
        // emptied under it. The request goes first, so that a cancelled write finds it.
        ThreadAck->Reset();
        OutputFlushRequest->Set();
        if (device) device->AbortWrite();
        ThreadAck->Wait(OutputPurgeAckMs);
    }
    ClearOutputRing();
    // This also lifts the abort, so later writes go out again.
    return LineErrorCode(device ? device->Purge(purgeOutput) : EBADF);
}

// ---- Events ---------------------------------------------------------------------------------

int TOxWin32Dispatcher::SetCommMask(std::uint32_t Mask) {
    const auto device = Device();
    const int error = device ? device->SetEventMask(Mask) : EBADF;
    if (error == 0) CommMask = Mask;
    return error;
}

int TOxWin32Dispatcher::SetCommTimeouts() {
    const auto device = Device();
    return device ? device->SetImmediateReads() : EBADF;
}

bool TOxWin32Dispatcher::WaitDeviceEvent(std::uint32_t& Mask, void*) {
    Mask = 0;
    const auto device = Device();
    const int error = device ? device->WaitEvent(Mask) : EBADF;
    if (error != 0) {
        Mask = 0;
        errno = error;
        return false;
    }
    return true;
}

// ---- RS-485 ---------------------------------------------------------------------------------

bool TOxWin32Dispatcher::SetDriverRs485(bool On) {
    const auto device = Device();
    if (!device) return false;
    const int fd = device->NativeHandle();
    if (fd < 0) return false;
    serial_rs485 config{};
    if (::ioctl(fd, TIOCGRS485, &config) != 0) return false;
    if (On) {
        config.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        config.flags &= ~static_cast<decltype(config.flags)>(SER_RS485_RTS_AFTER_SEND);
    } else {
        config.flags &= ~static_cast<decltype(config.flags)>(SER_RS485_ENABLED);
    }
    return ::ioctl(fd, TIOCSRS485, &config) == 0 && On;
}

void TOxWin32Dispatcher::SetRs485Mode(bool On) {
    std::lock_guard state(StateLock);
    Rs485Active = On;
    const bool driverToggles = SetDriverRs485(On);
    {
        std::lock_guard output(OutputLock);
        HasRtsToggle = !On || driverToggles;
    }
    if (On && !driverToggles) {
        std::uint32_t base = 0;
        if (const auto device = Device()) device->Escape(escGetBaseAddress, &base);
        UartBase = static_cast<std::uint16_t>(base);
    }
    ApplyPriorities();
}

} // namespace vaultix::serial
