#pragma once
// An in-memory device under the real dispatcher, owned by a port component so that the
// component's notification window finds the component through it. The test scripts the bytes
// waiting and the modem lines and reads back what was written; the threads do nothing, so the
// test drives the dispatch passes itself.

#include "serial/ComPort.h"
#include "serial/Dispatcher.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vaultix::serial::testing {

class TPortDevice : public TOxBaseDispatcher {
public:
    explicit TPortDevice(TOxCustomComPort* Owner);
    ~TPortDevice() override;

    // ---- Script -------------------------------------------------------------------------
    void Feed(const std::string& Text);
    void SetModemLevels(std::uint32_t Levels);
    // Takes every byte from the output ring, as the output thread would.
    std::string TakeSent();
    // One dispatch pass after a device event with this mask.
    void Pass(std::uint32_t Mask = platform::evRxChar);
    // Pretends the threads are (still) running.
    void SetThreadsRunning(bool Running) { ThreadsRunning = Running; }
    void SetLineErrorBits(std::uint32_t Bits) { LineErrorBits = Bits; }

    // ---- What happened ------------------------------------------------------------------
    std::string OpenedName() const;
    platform::TDeviceSettings Settings();
    bool Rs485On() const { return Rs485Active.load(); }
    std::uint32_t AvailThresholdNow() const { return static_cast<std::uint32_t>(AvailThreshold); }
    bool PortHandlerOn();
    std::size_t WindowCount();
    std::uint32_t TraceEntries();

protected:
    std::int32_t EscapeFunction(int Code) override;
    std::int32_t PurgeDevice(bool Input) override;
    std::uint32_t ReadDeviceStatus(platform::TDeviceCounts& Counts) override;
    std::int32_t ReportDeviceError(std::int32_t) override { return 0; }
    std::int32_t ReadDeviceSettings(platform::TDeviceSettings& Settings) override;
    std::uint32_t ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) override;
    std::int32_t WriteDeviceSettings(const platform::TDeviceSettings& Settings) override;
    std::int32_t QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) override;
    bool WaitDeviceEvent(std::uint32_t& Mask, void*) override;
    bool SetupDeviceQueues(std::uint32_t, std::uint32_t) override { return true; }
    void StartThreads() override {}
    void StopThreads() override { ThreadsRunning = false; }
    std::int32_t OpenDeviceHandle(const std::string& Name, std::uint32_t InSize,
                                  std::uint32_t OutSize) override;
    std::int32_t CloseDeviceHandle() override;
    std::uint32_t ReadModemLevels() override;

public:
    std::int32_t YieldToDevice() override { return 0; }
    void SetThreadBoost(std::uint8_t) override {}

    // A failed open: errno given to the dispatcher (a missing device: ENOENT).
    int OpenErrno = 0;

private:
    mutable std::mutex DeviceLock; // guards the members below; never held across a call
    std::deque<std::uint8_t> Waiting;
    std::uint32_t ModemLevels = 0;
    platform::TDeviceSettings Side;
    std::string Name;
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
