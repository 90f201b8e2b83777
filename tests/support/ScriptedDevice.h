#pragma once
// An in-memory device under the real dispatcher, for the dispatcher's tests and, owned by a port
// component, for the component's: the test scripts the bytes waiting, the error word, the modem
// lines and the settings record, and reads back what was written, purged and escaped. Only the
// device operations are supplied here; the threads do nothing, so tests drive the dispatch
// passes themselves.

#include "serial/Dispatcher.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vaultix::serial::testing {

class TScriptedDevice : public TOxBaseDispatcher {
public:
    // Owner: the port component whose notification window finds it through this device.
    explicit TScriptedDevice(TOxCustomComPort* Owner = nullptr);
    ~TScriptedDevice() override;

    // Opens with this system's line (4800 8E2), queue sizes 51200 / OutSize and DTR, RTS on.
    std::int32_t OpenStandard(std::uint32_t OutSize = 10240, std::uint32_t Options = 0x03);

    // ---- Script -------------------------------------------------------------------------
    void Feed(const std::vector<std::uint8_t>& Bytes);
    void Feed(const std::string& Text);
    // Or-ed into the error word the next status read reports (and clears).
    void RaiseErrors(std::uint32_t Bits);
    void SetModemLevels(std::uint32_t Levels);
    // The device's own settings record, as a settings read returns it.
    platform::TDeviceSettings DeviceSide();
    void SetDeviceSide(const platform::TDeviceSettings& Settings);
    // Plays the output thread: takes every byte from the output ring.
    std::vector<std::uint8_t> TakeSent();
    // One dispatch pass after a device event with this mask.
    void Pass(std::uint32_t Mask = platform::evRxChar);

    // ---- Failures to inject -------------------------------------------------------------
    std::int32_t OpenResult = 3; // a handle, or -1 / -8
    int OpenErrno = 0;           // given to the dispatcher; alone, it fails the open with -1
    bool SetupQueuesOk = true;
    std::int32_t EscapeResult = 0;
    // When non-zero, QueueOutput takes only this many bytes and reports a failure.
    std::uint32_t QueueLimit = 0;

    // ---- What happened ------------------------------------------------------------------
    struct TCalls {
        int SettingsReads = 0;
        int SettingsWrites = 0;
        int StatusReads = 0;
        int StartThreads = 0;
        int StopThreads = 0;
        int CloseHandle = 0;
        std::vector<int> Escapes;
        std::vector<bool> Purges; // true: input
    };
    TCalls Calls();
    void ClearCalls();
    // The device name the last open was given.
    std::string OpenedName() const;

    // ---- Dispatcher internals the tests look at -----------------------------------------
    using TOxBaseDispatcher::CheckInputTriggers;
    using TOxBaseDispatcher::CheckStatusTriggers;
    using TOxBaseDispatcher::CheckTimerTriggers;
    using TOxBaseDispatcher::DeliverEvent;
    using TOxBaseDispatcher::FillInputRing;
    using TOxBaseDispatcher::InputGatherMs;
    using TOxBaseDispatcher::MergeModemDeltas;
    using TOxBaseDispatcher::ProcessDeviceEvent;
    using TOxBaseDispatcher::ProcessTimersAndStatus;
    using TOxBaseDispatcher::RefreshLineErrors;
    using TOxBaseDispatcher::RefreshModemStatus;
    using TOxBaseDispatcher::ReleaseBuffers;
    using TOxBaseDispatcher::WaitOutputDrained;

    using TOxBaseDispatcher::CommEventDone;
    using TOxBaseDispatcher::CommEventReady;
    using TOxBaseDispatcher::DeliveryNeeded;
    using TOxBaseDispatcher::DeviceSettings;
    using TOxBaseDispatcher::HasRtsToggle;
    using TOxBaseDispatcher::InFull;
    using TOxBaseDispatcher::InHead;
    using TOxBaseDispatcher::InRing;
    using TOxBaseDispatcher::InTail;
    using TOxBaseDispatcher::LastEventMask;
    using TOxBaseDispatcher::Log;
    using TOxBaseDispatcher::ModemBits;
    using TOxBaseDispatcher::NotifyWindows;
    using TOxBaseDispatcher::OutFull;
    using TOxBaseDispatcher::OutHead;
    using TOxBaseDispatcher::OutRing;
    using TOxBaseDispatcher::OutTail;
    using TOxBaseDispatcher::PortHandlerActive;
    using TOxBaseDispatcher::RingSeen;
    using TOxBaseDispatcher::Trace;
    using TOxBaseDispatcher::UartBase;

protected:
    std::int32_t EscapeFunction(int Code) override;
    std::int32_t PurgeDevice(bool Input) override;
    std::uint32_t ReadDeviceStatus(platform::TDeviceCounts& Counts) override;
    std::int32_t ReportDeviceError(std::int32_t Code) override;
    std::int32_t ReadDeviceSettings(platform::TDeviceSettings& Settings) override;
    std::uint32_t ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) override;
    std::int32_t WriteDeviceSettings(const platform::TDeviceSettings& Settings) override;
    std::int32_t QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) override;
    bool WaitDeviceEvent(std::uint32_t& Mask, void* Overlapped) override;
    bool SetupDeviceQueues(std::uint32_t InSize, std::uint32_t OutSize) override;
    void StartThreads() override;
    void StopThreads() override;
    std::int32_t OpenDeviceHandle(const std::string& Name, std::uint32_t InSize,
                                  std::uint32_t OutSize) override;
    std::int32_t CloseDeviceHandle() override;

public:
    std::int32_t YieldToDevice() override { return 0; }
    void SetThreadBoost(std::uint8_t) override {}

protected:
    std::uint32_t ReadModemLevels() override;

private:
    // Guards everything below; taken last, never across a dispatcher call.
    mutable std::mutex DeviceLock;
    std::string Name;
    std::deque<std::uint8_t> Waiting;
    std::uint32_t ErrorWord = 0;
    std::uint32_t ModemLevels = 0;
    platform::TDeviceSettings Side;
    TCalls Record;
};

} // namespace vaultix::serial::testing
