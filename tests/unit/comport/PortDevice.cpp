#include "PortDevice.h"

#include <algorithm>
#include <cerrno>

namespace vaultix::serial::testing {

using namespace vaultix::platform;

TPortDevice::TPortDevice(TOxCustomComPort* Owner) : TOxBaseDispatcher(Owner) {}

TPortDevice::~TPortDevice() {
    ThreadsRunning = false;
    Shutdown();
}

void TPortDevice::Feed(const std::string& Text) {
    std::lock_guard lock(DeviceLock);
    Waiting.insert(Waiting.end(), Text.begin(), Text.end());
}

void TPortDevice::SetModemLevels(std::uint32_t Levels) {
    std::lock_guard lock(DeviceLock);
    ModemLevels = Levels;
}

std::string TPortDevice::TakeSent() {
    std::lock_guard output(OutputLock);
    const std::uint32_t fill = OutputRingFill();
    std::string sent;
    for (std::uint32_t i = 0; i < fill; ++i)
        sent.push_back(static_cast<char>(OutRing[(OutTail + i) % OutRing.size()]));
    AdvanceOutputTail(fill);
    return sent;
}

void TPortDevice::Pass(std::uint32_t Mask) {
    LastEventMask = Mask;
    ProcessDeviceEvent();
    ProcessTimersAndStatus();
}

std::string TPortDevice::OpenedName() const {
    std::lock_guard lock(DeviceLock);
    return Name;
}

TDeviceSettings TPortDevice::Settings() {
    std::lock_guard lock(DeviceLock);
    return Side;
}

bool TPortDevice::PortHandlerOn() {
    std::lock_guard state(StateLock);
    return PortHandlerActive;
}

std::size_t TPortDevice::WindowCount() {
    std::lock_guard state(StateLock);
    return static_cast<std::size_t>(std::count_if(NotifyWindows.begin(), NotifyWindows.end(),
                                                  [](const auto& w) { return !w.Deleted; }));
}

std::uint32_t TPortDevice::TraceEntries() {
    std::lock_guard state(StateLock);
    return Trace.TracingOn() ? Trace.EntryCount() : 0;
}

std::int32_t TPortDevice::EscapeFunction(int) {
    return 0;
}

std::int32_t TPortDevice::PurgeDevice(bool Input) {
    if (Input) {
        std::lock_guard lock(DeviceLock);
        Waiting.clear();
    } else {
        ClearOutputRing();
    }
    return 0;
}

std::uint32_t TPortDevice::ReadDeviceStatus(TDeviceCounts& Counts) {
    const std::uint32_t fill = OutputRingFill();
    std::lock_guard lock(DeviceLock);
    Counts.Flags = 0;
    Counts.InQue = static_cast<std::uint32_t>(Waiting.size());
    Counts.OutQue = fill;
    return 0;
}

std::int32_t TPortDevice::ReadDeviceSettings(TDeviceSettings& Settings) {
    std::lock_guard lock(DeviceLock);
    Settings = Side;
    return 0;
}

std::uint32_t TPortDevice::ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) {
    std::lock_guard lock(DeviceLock);
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(Count, Waiting.size()));
    std::copy_n(Waiting.begin(), n, Buffer);
    Waiting.erase(Waiting.begin(), Waiting.begin() + n);
    return n;
}

std::int32_t TPortDevice::WriteDeviceSettings(const TDeviceSettings& Settings) {
    std::lock_guard lock(DeviceLock);
    Side = Settings;
    return 0;
}

std::int32_t TPortDevice::QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) {
    AppendToOutputRing(Buffer, Count);
    return static_cast<std::int32_t>(Count);
}

bool TPortDevice::WaitDeviceEvent(std::uint32_t& Mask, void*) {
    Mask = 0;
    return false;
}

std::int32_t TPortDevice::OpenDeviceHandle(const std::string& DeviceName, std::uint32_t,
                                           std::uint32_t) {
    {
        std::lock_guard lock(DeviceLock);
        Name = DeviceName;
    }
    if (OpenErrno != 0) {
        errno = OpenErrno;
        return -1;
    }
    return 3;
}

std::int32_t TPortDevice::CloseDeviceHandle() {
    DeviceHandle = -1;
    return 0;
}

std::uint32_t TPortDevice::ReadModemLevels() {
    std::lock_guard lock(DeviceLock);
    return ModemLevels;
}

std::unique_ptr<TOxBaseDispatcher> TTestPort::CreateDispatcher() {
    auto device = std::make_unique<TPortDevice>(this);
    if (OpenErrnoFor) device->OpenErrno = OpenErrnoFor(ComNumber());
    LastDevice = device.get();
    ++Created;
    return device;
}

} // namespace vaultix::serial::testing
