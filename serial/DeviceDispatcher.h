#pragma once
// The dispatcher's device layer: the device operations over the platform serial API, and the
// start, stop and bookkeeping of the three dispatcher threads. The name is the one the port
// component creates; on this system it runs over a termios device.
//
// Device lifetime. The serial device object is shared: CloseDeviceHandle closes it and drops
// the dispatcher's reference, while a thread still inside a call keeps its own reference until
// the call returns (EBADF once closed). So a close never waits for a device call, and no call
// runs on a freed device.
//
// Stopping. StopThreads holds no lock while it waits for the threads, since they take the
// state, input and output locks on their way out, and it never waits for the thread it runs
// on (the dispatch thread stops the others when a close was asked for from a handler).

#include "platform/SerialDevice.h"
#include "serial/Dispatcher.h"
#include "serial/DispatcherThreads.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vaultix::serial {

class TOxWin32Dispatcher : public TOxBaseDispatcher {
    friend class TOxDispatcherThread;
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;

public:
    explicit TOxWin32Dispatcher(TOxCustomComPort* AOwner);
    ~TOxWin32Dispatcher() override;

    // On: the driver's own RS-485 mode where it has one (it then switches RTS around each
    // transmission); otherwise RTS is raised for each write and lowered once the device has
    // sent everything, which needs the UART's base address. The output thread gets one
    // priority level more.
    void SetRs485Mode(bool On) override;

    std::int32_t YieldToDevice() override;
    bool DeviceGone() const override;
    std::string DevicePath() const override;
    // Comm and dispatch thread at normal + Boost, output thread at normal + Boost (+ 1 in
    // RS-485 mode), capped at time-critical.
    void SetThreadBoost(std::uint8_t Boost) override;

    // The comm thread's event masks: with the ring's trailing edge, and without it for drivers
    // that reject it.
    static constexpr std::uint32_t FullEventMask = platform::evFullMask;
    static constexpr std::uint32_t BasicEventMask = platform::evDefaultMask;

protected:
    // ---- Device operations --------------------------------------------------------------
    std::int32_t EscapeFunction(int Code) override;
    std::int32_t PurgeDevice(bool Input) override;
    std::uint32_t ReadDeviceStatus(platform::TDeviceCounts& Counts) override;
    std::int32_t ReportDeviceError(std::int32_t Code) override;
    std::int32_t ReadDeviceSettings(platform::TDeviceSettings& Settings) override;
    std::uint32_t ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) override;
    std::int32_t WriteDeviceSettings(const platform::TDeviceSettings& Settings) override;
    std::int32_t QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) override;
    // Blocks until a line event of the mask in force, a release or a failure. True with the
    // events in Mask (none after a release); false with errno set. Overlapped is not used.
    bool WaitDeviceEvent(std::uint32_t& Mask, void* Overlapped) override;
    bool SetupDeviceQueues(std::uint32_t InSize, std::uint32_t OutSize) override;
    void StartThreads() override;
    void StopThreads() override;
    std::int32_t OpenDeviceHandle(const std::string& Name, std::uint32_t InSize,
                                  std::uint32_t OutSize) override;
    std::int32_t CloseDeviceHandle() override;
    std::uint32_t ReadModemLevels() override;
    // True while a fast stream keeps the kernel's line buffer filled: the next bytes are
    // taken as they come instead of after a round trip through the comm thread. A stream is
    // followed for a few milliseconds at most, so line events and timers still get looked at.
    bool MoreInputFollows() override;
    // Modem lines and line counters, sampled here instead of by a waking comm thread.
    void SampleDeviceLines() override;

    // ---- What the threads use -------------------------------------------------------------
    // Each thread calls this as it leaves; afterwards it touches the dispatcher no more.
    void ThreadFinished(TOxDispatcherThread* Thread);
    // Sets the device's event mask; 0 or the platform error.
    int SetCommMask(std::uint32_t Mask);
    // The mask the comm thread set last.
    std::uint32_t EventMaskInForce() const { return CommMask.load(); }
    int SetCommTimeouts();
    // Writes the run and returns once the device has sent it; 0 or the platform error
    // (ECANCELED after an output purge request).
    virtual int WriteRun(const std::uint8_t* Buffer, std::uint32_t Count);
    // The open device; empty once closed.
    std::shared_ptr<platform::TSerialDevice> Device() const;
    // The priority a thread of this role gets now; takes no lock.
    int PriorityFor(TThreadRole Role);

private:
    template <typename TThread> void LaunchThread(std::atomic<TOxDispatcherThread*>& Slot);
    // Drops thread counts taken for threads that never ran.
    void DropThreadShares(std::int32_t Count);
    // Waits (handling the main thread's messages when called there) until the slot is empty;
    // TimeoutMs < 0: no limit. False on time-out.
    bool WaitThreadLeft(const std::atomic<TOxDispatcherThread*>& Slot, int TimeoutMs);
    void ApplyPriorities();
    // The driver's own RS-485 switching; true when it took the request.
    bool SetDriverRs485(bool On);

    mutable std::mutex DeviceRefLock;
    std::shared_ptr<platform::TSerialDevice> FDevice;
    std::atomic<std::uint32_t> CommMask{0};
    // ThreadBoost, readable by a starting thread without the state lock.
    std::atomic<std::uint8_t> BoostInForce{0};
    // Bytes came in during the current dispatch pass.
    std::atomic<bool> InputArrived{false};
    // Bytes read since MoreInputFollows last looked, and when the stream it follows began
    // (the clock's epoch: none). Dispatch thread only.
    using TStreamClock = std::chrono::steady_clock;
    std::uint32_t FilledSinceCheck = 0;
    TStreamClock::time_point StreamSince{};
    // Serialises StartThreads; never held while waiting for a thread to leave.
    std::mutex StartLock;
    // Guards the three thread slots against a thread leaving while its priority is changed.
    std::mutex ThreadSlotLock;
    std::condition_variable ThreadLeft;
};

} // namespace vaultix::serial
