#pragma once
// The scripted device as a port component's own dispatcher, so that the component's
// notification window finds the component through it, with what the component's tests look at.

#include "serial/ComPort.h"
#include "tests/support/ScriptedDevice.h"

#include <functional>
#include <memory>
#include <string>

namespace vaultix::serial::testing {

class TPortDevice : public TScriptedDevice {
public:
    explicit TPortDevice(TOxCustomComPort* Owner) : TScriptedDevice(Owner) {}
    ~TPortDevice() override;

    // Takes every byte from the output ring, as the output thread would.
    std::string TakeSent();
    // Pretends the threads are (still) running.
    void SetThreadsRunning(bool Running) { ThreadsRunning = Running; }
    void SetLineErrorBits(std::uint32_t Bits) { LineErrorBits = Bits; }

    platform::TDeviceSettings Settings() { return DeviceSide(); }
    bool Rs485On() const { return Rs485Active.load(); }
    std::uint32_t AvailThresholdNow() const { return static_cast<std::uint32_t>(AvailThreshold); }
    bool PortHandlerOn();
    std::size_t WindowCount();
    std::uint32_t TraceEntries();

protected:
    void StopThreads() override {
        TScriptedDevice::StopThreads();
        ThreadsRunning = false;
    }
};

// A port whose dispatchers are scripted devices; OpenErrnoFor makes the open of a port number
// fail with that errno (0: success).
class TTestPort : public TOxComPort {
public:
    TPortDevice* Device() { return LastDevice; }
    std::function<int(std::uint16_t ComNumber)> OpenErrnoFor;
    int Created = 0;

protected:
    std::unique_ptr<TOxBaseDispatcher> CreateDispatcher() override;

private:
    TPortDevice* LastDevice = nullptr;
};

} // namespace vaultix::serial::testing
