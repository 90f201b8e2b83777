#include "PortDevice.h"

#include <algorithm>

namespace vaultix::serial::testing {

TPortDevice::~TPortDevice() {
    ThreadsRunning = false;
    Shutdown();
}

std::string TPortDevice::TakeSent() {
    const std::vector<std::uint8_t> Sent = TScriptedDevice::TakeSent();
    return std::string(Sent.begin(), Sent.end());
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

std::unique_ptr<TOxBaseDispatcher> TTestPort::CreateDispatcher() {
    auto device = std::make_unique<TPortDevice>(this);
    if (OpenErrnoFor) device->OpenErrno = OpenErrnoFor(ComNumber());
    LastDevice = device.get();
    ++Created;
    return device;
}

} // namespace vaultix::serial::testing
