#include "tests/support/ScriptedDevice.h"

#include <algorithm>
#include <cerrno>

namespace vaultix::serial::testing {

using namespace vaultix::platform;

TScriptedDevice::TScriptedDevice(TOxCustomComPort* Owner) : TOxBaseDispatcher(Owner) {}

TScriptedDevice::~TScriptedDevice() {
    Shutdown();
}

std::int32_t TScriptedDevice::OpenStandard(std::uint32_t OutSize, std::uint32_t Options) {
    return OpenDevice("COM1", 4800, 2, 8, 2, 51200, OutSize, Options);
}

void TScriptedDevice::Feed(const std::vector<std::uint8_t>& Bytes) {
    std::lock_guard lock(DeviceLock);
    Waiting.insert(Waiting.end(), Bytes.begin(), Bytes.end());
}

void TScriptedDevice::Feed(const std::string& Text) {
    Feed(std::vector<std::uint8_t>(Text.begin(), Text.end()));
}

void TScriptedDevice::RaiseErrors(std::uint32_t Bits) {
    std::lock_guard lock(DeviceLock);
    ErrorWord |= Bits;
}

void TScriptedDevice::SetModemLevels(std::uint32_t Levels) {
    std::lock_guard lock(DeviceLock);
    ModemLevels = Levels;
}

TDeviceSettings TScriptedDevice::DeviceSide() {
    std::lock_guard lock(DeviceLock);
    return Side;
}

void TScriptedDevice::SetDeviceSide(const TDeviceSettings& Settings) {
    std::lock_guard lock(DeviceLock);
    Side = Settings;
}

std::vector<std::uint8_t> TScriptedDevice::TakeSent() {
    std::lock_guard output(OutputLock);
    const std::uint32_t fill = OutputRingFill();
    std::vector<std::uint8_t> sent;
    sent.reserve(fill);
    for (std::uint32_t i = 0; i < fill; ++i)
        sent.push_back(OutRing[(OutTail + i) % OutRing.size()]);
    AdvanceOutputTail(fill);
    return sent;
}

void TScriptedDevice::Pass(std::uint32_t Mask) {
    LastEventMask = Mask;
    ProcessDeviceEvent();
    ProcessTimersAndStatus();
}

TScriptedDevice::TCalls TScriptedDevice::Calls() {
    std::lock_guard lock(DeviceLock);
    return Record;
}

std::string TScriptedDevice::OpenedName() const {
    std::lock_guard lock(DeviceLock);
    return Name;
}

void TScriptedDevice::ClearCalls() {
    std::lock_guard lock(DeviceLock);
    Record = TCalls{};
}

std::int32_t TScriptedDevice::EscapeFunction(int Code) {
    std::lock_guard lock(DeviceLock);
    Record.Escapes.push_back(Code);
    return EscapeResult;
}

std::int32_t TScriptedDevice::PurgeDevice(bool Input) {
    {
        std::lock_guard lock(DeviceLock);
        Record.Purges.push_back(Input);
        if (Input) Waiting.clear();
    }
    if (!Input) ClearOutputRing();
    return 0;
}

std::uint32_t TScriptedDevice::ReadDeviceStatus(TDeviceCounts& Counts) {
    const std::uint32_t fill = OutputRingFill();
    std::lock_guard lock(DeviceLock);
    ++Record.StatusReads;
    Counts.Flags = 0;
    Counts.InQue = static_cast<std::uint32_t>(Waiting.size());
    Counts.OutQue = fill;
    const std::uint32_t errors = ErrorWord;
    ErrorWord = 0;
    return errors;
}

std::int32_t TScriptedDevice::ReportDeviceError(std::int32_t) {
    return 0;
}

std::int32_t TScriptedDevice::ReadDeviceSettings(TDeviceSettings& Settings) {
    std::lock_guard lock(DeviceLock);
    ++Record.SettingsReads;
    Settings = Side;
    return 0;
}

std::uint32_t TScriptedDevice::ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) {
    std::lock_guard lock(DeviceLock);
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(Count, Waiting.size()));
    std::copy_n(Waiting.begin(), n, Buffer);
    Waiting.erase(Waiting.begin(), Waiting.begin() + n);
    return n;
}

std::int32_t TScriptedDevice::WriteDeviceSettings(const TDeviceSettings& Settings) {
    std::lock_guard lock(DeviceLock);
    ++Record.SettingsWrites;
    Side = Settings;
    return 0;
}

std::int32_t TScriptedDevice::QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) {
    if (QueueLimit != 0 && QueueLimit < Count) {
        AppendToOutputRing(Buffer, QueueLimit);
        return -static_cast<std::int32_t>(QueueLimit);
    }
    AppendToOutputRing(Buffer, Count);
    return static_cast<std::int32_t>(Count);
}

bool TScriptedDevice::WaitDeviceEvent(std::uint32_t& Mask, void*) {
    Mask = 0;
    return false;
}

bool TScriptedDevice::SetupDeviceQueues(std::uint32_t, std::uint32_t) {
    if (!SetupQueuesOk) errno = EINVAL;
    return SetupQueuesOk;
}

void TScriptedDevice::StartThreads() {
    std::lock_guard lock(DeviceLock);
    ++Record.StartThreads;
}

void TScriptedDevice::StopThreads() {
    std::lock_guard lock(DeviceLock);
    ++Record.StopThreads;
}

std::int32_t TScriptedDevice::OpenDeviceHandle(const std::string& DeviceName, std::uint32_t,
                                               std::uint32_t) {
    {
        std::lock_guard lock(DeviceLock);
        Name = DeviceName;
    }
    if (OpenResult < 0 || OpenErrno != 0) {
        errno = OpenErrno;
        return OpenResult < 0 ? OpenResult : -1;
    }
    return OpenResult;
}

std::int32_t TScriptedDevice::CloseDeviceHandle() {
    {
        std::lock_guard lock(DeviceLock);
        ++Record.CloseHandle;
    }
    DeviceHandle = -1;
    return 0;
}

std::uint32_t TScriptedDevice::ReadModemLevels() {
    std::lock_guard lock(DeviceLock);
    return ModemLevels;
}

} // namespace vaultix::serial::testing
