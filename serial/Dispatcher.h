#pragma once
// The serial dispatcher: the engine under the port component. It keeps the input ring a
// background thread fills from the device and the output ring another thread drains into it,
// the line and flow-control settings, the modem-status and line-error state, and the
// notifications that tell registered handlers about data and status events. It is written
// against a device layer of virtual operations that a platform subclass supplies.
//
// Locks. State lock: line settings, modem bits, handler and trigger lists, delivery flags,
// trace and log. Output lock: output ring. Input lock: input ring and the bookkeeping of a data
// delivery. Where two are held at once the order is input, then state, then output; the lock
// guarding DeviceCounts is taken last of all and never held across a call. No lock is held
// while a notification handler runs, so a handler may call anything, CloseDevice included.

#include "platform/NotifyServices.h"
#include "platform/SerialTypes.h"
#include "platform/SyncEvent.h"
#include "serial/DispatchLog.h"
#include "serial/DispatchTypes.h"
#include "serial/TraceRing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vaultix::serial {

class TOxCustomComPort;
class TOxDispatcherThread;
class TComThread;
class TDispThread;
class TOutThread;

// Size of the input ring, independent of the driver's own input queue.
inline constexpr std::uint32_t InRingSize = 8192;

// OpenOptions of OpenDevice.
inline constexpr std::uint32_t ooDtrOn = 0x01;
inline constexpr std::uint32_t ooRtsOn = 0x02;
inline constexpr std::uint32_t ooDtrFlow = 0x10; // DTR is under hardware flow control
inline constexpr std::uint32_t ooRtsFlow = 0x20; // RTS is under hardware flow control

// HwOptions of ConfigureHardwareFlow / ReadFlowSettings.
inline constexpr std::uint32_t hfoUseDtr = 0x01;
inline constexpr std::uint32_t hfoUseRts = 0x02;
inline constexpr std::uint32_t hfoRequireDsr = 0x04;
inline constexpr std::uint32_t hfoRequireCts = 0x08;

// SwOptions of ConfigureSoftwareFlow / ReadFlowSettings.
inline constexpr std::uint32_t sfoTransmit = 0x01; // our output obeys XON/XOFF from the far end
inline constexpr std::uint32_t sfoReceive = 0x02;  // we send XOFF/XON as the input queue fills

class TOxBaseDispatcher {
    friend class TOxDispatcherThread;
    friend class TComThread;
    friend class TDispThread;
    friend class TOutThread;

public:
    // Takes a slot in the dispatcher registry; the slot index is Handle.
    explicit TOxBaseDispatcher(TOxCustomComPort* AOwner);
    // Waits until every thread has left, then frees the registry slot. The device layer's
    // destructor must call Shutdown first, while the device operations still exist.
    virtual ~TOxBaseDispatcher();
    TOxBaseDispatcher(const TOxBaseDispatcher&) = delete;
    TOxBaseDispatcher& operator=(const TOxBaseDispatcher&) = delete;

    // Closes the device if open and waits, handling pending messages, until no dispatcher
    // thread runs any more.
    void Shutdown();

    // ---- Opening and closing ----------------------------------------------------------------
    // 0, or a negative code; a failed open leaves the dispatcher closed with nothing allocated.
    std::int32_t OpenDevice(const std::string& Name, std::uint32_t Baud, int Parity, int DataBits,
                            int StopBits, std::uint32_t InSize, std::uint32_t OutSize,
                            std::uint32_t OpenOptions);
    // Called from inside a notification handler, the release is left to the dispatch thread
    // as it leaves.
    void CloseDevice();
    // The driver's queue sizes; the rings keep theirs.
    std::int32_t SetDriverQueueSizes(std::uint32_t InSize, std::uint32_t OutSize);

    // ---- Line settings ------------------------------------------------------------------------
    // Baud 0, Parity 5, DataBits 9 and StopBits 3 keep the current value.
    std::int32_t ApplyLineSettings(std::uint32_t Baud, int Parity, int DataBits, int StopBits);
    std::int32_t ReadLineSettings(std::uint32_t& Baud, int& Parity, int& DataBits, int& StopBits);
    // 1 when the line is under flow control (nothing done), 0, or -1002.
    std::int32_t SetDtrState(bool On);
    std::int32_t SetRtsState(bool On);
    bool IsCtsOn();
    // Whether the device went away while open (a USB adapter pulled, the far end of a
    // pseudo-terminal closed): nothing more will come from it or reach it.
    virtual bool DeviceGone() const { return false; }
    // The path of the open device; empty while none is open.
    virtual std::string DevicePath() const { return {}; }
    // 1 input overflow, 2 overrun, 3 parity, 4 framing, 9 break, 0 none; a reported code clears
    // the errors but leaves a break pending.
    std::int32_t TakeLineError();
    bool TakeBreakReceived();
    // The settings' baud field may hold an index into the classic rate table.
    static std::uint32_t DecodeBaud(std::uint32_t Value);

    // ---- Byte input and output ----------------------------------------------------------------
    // Count, or -3007 when fewer bytes wait (nothing is taken).
    std::int32_t ReadBlock(std::uint8_t* Buffer, std::uint32_t Count);
    std::int32_t WriteByte(std::uint8_t Byte) { return WriteBlock(&Byte, 1); }
    // 0; -3006 when the output ring has too little room (nothing queued); -3010, -3004.
    std::int32_t WriteBlock(const std::uint8_t* Buffer, std::uint32_t Count);
    std::uint32_t InputCount();
    // How many bytes must wait in the input ring before their arrival wakes the application's
    // idle loop: 1 (the default) for every arrival, 0 for none. An idle handler that can act only
    // on a whole unit or header sets what it waits for, and sleeps through the bytes before it.
    // Wakes the loop at once when that much input already waits.
    void SetInputWakeLevel(std::uint32_t Level);
    std::uint32_t OutputUsed();
    std::uint32_t OutputFree();
    std::int32_t PurgeOutput();
    std::int32_t PurgeInput();

    // ---- Flow control -------------------------------------------------------------------------
    // -1002 when BufferFull < BufferResume or BufferFull exceeds the driver's input queue.
    std::int32_t ConfigureHardwareFlow(std::uint32_t BufferFull, std::uint32_t BufferResume,
                                       std::uint32_t HwOptions);
    std::int32_t ConfigureSoftwareFlow(std::uint32_t BufferFull, std::uint32_t BufferResume,
                                       std::uint32_t SwOptions);
    std::int32_t DisableSoftwareFlow();
    std::int32_t SetFlowChars(char XOn, char XOff);
    std::int32_t ReadFlowSettings(std::uint32_t& HwOptions, std::uint32_t& SwOptions, char& XOn,
                                  char& XOff);

    // ---- Notifications ------------------------------------------------------------------------
    void RegisterNotifyWindow(platform::TWindowHandle Window);
    void UnregisterNotifyWindow(platform::TWindowHandle Window);
    void RegisterNotifyProc(TNotifyProc Proc);
    void UnregisterNotifyProc(TNotifyProc Proc);
    // Synchronize: the handler runs on the main thread while the dispatch thread waits.
    void RegisterNotifyEvent(TNotifyMethod Method, bool Synchronize);
    void UnregisterNotifyEvent(TNotifyMethod Method);
    // 0: no data-available notifications.
    void SetAvailThreshold(std::uint32_t Count);
    void SnapshotTriggers(TTriggerSnapshot& Snapshot);
    void LoadTriggerSnapshot(const TTriggerSnapshot& Snapshot);
    static void FreeTriggerSnapshot(TTriggerSnapshot& Snapshot);
    void SetOptionFlags(std::uint32_t Bits);
    void ClearOptionFlags(std::uint32_t Bits);
    std::uint32_t OptionFlags();
    static std::uint32_t StatusTriggerKind(std::uint32_t TriggerHandle) {
        return TriggerHandle & 7u;
    }
    // The device layer extends this with its thread priorities and UART access.
    virtual void SetRs485Mode(bool On);

    // ---- Trace and dispatch log ---------------------------------------------------------------
    std::int32_t StartTrace(std::uint32_t EntryCount);
    void ResetTrace();
    void DiscardTrace();
    void PauseTrace();
    void ResumeTrace();
    bool TracingOn();
    std::int32_t SaveTraceToFile(const std::string& FileName, bool InHex, bool AllHex);
    std::int32_t AppendTraceToFile(const std::string& FileName, bool InHex, bool AllHex);
    void StartLog(std::uint32_t ByteSize);
    void ResetLog();
    void DiscardLog();
    void PauseLog();
    void ResumeLog();
    bool LoggingOn();
    std::int32_t SaveLogToFile(const std::string& FileName, bool InHex, bool AllHex);
    std::int32_t AppendLogToFile(const std::string& FileName, bool InHex, bool AllHex);

    // ---- What the component reads -------------------------------------------------------------
    TOxCustomComPort* GetOwner() const { return Owner; }
    std::int32_t GetHandle() const { return Handle; }
    bool IsOpen() const { return DeviceHandle.load() >= 0; }
    bool IsDelivering() const { return Delivering.load(); }
    bool AreThreadsRunning() const { return ThreadsRunning.load(); }
    std::int32_t ThreadCount() const { return ActiveThreads.load(); }
    // Shown in the dispatch log header ("COM1").
    void SetDeviceName(const std::string& Name);
    std::string GetDeviceName();

protected:
    // ---- Device operations, in slot order -----------------------------------------------------
    // 0. Raises or lowers DTR / RTS (esc… codes); 0, negative on failure.
    virtual std::int32_t EscapeFunction(int Code) = 0;
    // 1. Discards the driver's input, or the output ring and the driver's output.
    virtual std::int32_t PurgeDevice(bool Input) = 0;
    // 2. Reads and clears the device's error word (ce… bits) and fills Counts, its output count
    //    being the output ring's fill (OutputRingFill). 0 when the query fails.
    virtual std::uint32_t ReadDeviceStatus(platform::TDeviceCounts& Counts) = 0;
    // 3.
    virtual std::int32_t ReportDeviceError(std::int32_t Code) = 0;
    // 4. 0 or -1.
    virtual std::int32_t ReadDeviceSettings(platform::TDeviceSettings& Settings) = 0;
    // 5. Copies what the device has waiting, at most Count bytes, without waiting for more.
    virtual std::uint32_t ReadDevice(std::uint8_t* Buffer, std::uint32_t Count) = 0;
    // 6. 0 or the line error's result code (LineErrorCode).
    virtual std::int32_t WriteDeviceSettings(const platform::TDeviceSettings& Settings) = 0;
    // 7. Copies the bytes into the output ring (room was checked) and wakes the output thread.
    //    Count; a result n <= 0 means only -n bytes went in.
    virtual std::int32_t QueueOutput(const std::uint8_t* Buffer, std::uint32_t Count) = 0;
    // 8. Waits for line events; Overlapped is the calling thread's own wait record.
    virtual bool WaitDeviceEvent(std::uint32_t& Mask, void* Overlapped) = 0;
    // 9. The driver's queue sizes; false with errno set on failure.
    virtual bool SetupDeviceQueues(std::uint32_t InSize, std::uint32_t OutSize) = 0;
    // 10. Stops the threads if they run and frees both rings.
    virtual void ReleaseBuffers();
    // 11, 12.
    virtual void StartThreads() = 0;
    virtual void StopThreads() = 0;
    // 13. The device handle, -1 (errno set to the Linux error number) or -8.
    virtual std::int32_t OpenDeviceHandle(const std::string& Name, std::uint32_t InSize,
                                          std::uint32_t OutSize) = 0;
    // 14. Tells running threads to stop and closes the device; sets DeviceHandle to -1. 0 or -1.
    virtual std::int32_t CloseDeviceHandle() = 0;

public:
    // 15. Gives up the calling thread's time slice; 0.
    virtual std::int32_t YieldToDevice() = 0;
    // 16.
    virtual void SetThreadBoost(std::uint8_t Boost) = 0;
    // 17. Mode 0: recompute whether deliveries are needed; 1: the component wants
    //     notifications; 2: it no longer does.
    virtual void UpdateHandlerState(int Mode);

protected:
    // Levels of the modem input lines in the ms… layout (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80).
    virtual std::uint32_t ReadModemLevels() = 0;

    // ---- Dispatch steps (dispatch thread) -----------------------------------------------------
    // One pass after a device event (and on the dispatch thread's time-out).
    void ProcessDeviceEvent();
    void ProcessTimersAndStatus();
    // Reads what the device has into the input ring; false when there was nothing to read.
    bool FillInputRing();
    // Asked after each filling of the input ring in a pass: true when more input is already
    // waiting and the pass should take it before the comm thread watches the line again.
    // The base has no way to know and says no.
    virtual bool MoreInputFollows() { return false; }
    // Input arrived: whether it reaches the level the application wants to be woken at.
    bool InputWakeDue();
    // How long the comm thread may leave arriving input in the device before it watches the
    // line again, 0 for not at all: while the application waits for more than a few bytes, the
    // line's time for all but the last of them, at most 20 ms.
    std::uint32_t InputGatherMs();
    // Once a pass: lets the device sample what a waiting thread would otherwise wake up to
    // sample (modem lines, line counters). The base has nothing to sample.
    virtual void SampleDeviceLines() {}
    // Each returns the result of the delivery it made, false when it made none.
    bool CheckInputTriggers();
    bool CheckStatusTriggers();
    bool CheckTimerTriggers();
    void ReArmStatusTriggers();
    // True when every handler ran; for data available, when they took all announced bytes.
    bool DeliverEvent(std::uint32_t Message, std::uint32_t First, std::uint32_t Data);
    void MergeModemDeltas();
    // The modem bits including their change flags; afterwards ModemBits keeps only KeepMask.
    std::uint32_t RefreshModemStatus(std::uint32_t KeepMask);
    // Merges the device's error word into LineErrorBits; returns the counts read with it.
    platform::TDeviceCounts RefreshLineErrors();

    // ---- Helpers for the device layer ---------------------------------------------------------
    std::int32_t ApplyDeviceSettings(platform::TDeviceSettings& Settings);
    void WaitOutputDrained();
    // Bytes in the output ring.
    std::uint32_t OutputRingFill();
    // Copies the bytes in at the output head, wrapping; the caller has checked the room.
    void AppendToOutputRing(const std::uint8_t* Buffer, std::uint32_t Count);
    // Marks Count bytes from the output tail as sent.
    void AdvanceOutputTail(std::uint32_t Count);
    void ClearOutputRing();
    // A copy of the last device status record.
    platform::TDeviceCounts LastDeviceCounts();
    void LogEvent(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data,
                  const std::uint8_t* Bytes = nullptr, std::uint32_t Count = 0);
    // Closes the six events (after the threads have left).
    void CloseEvents();
    // The line settings OpenDevice asks for, as the device layer opens the device with them.
    platform::TDeviceSettings OpeningSettings; // main thread, during OpenDevice

    // ---- Fields ---------------------------------------------------------------------------
    TOxCustomComPort* const Owner;
    const std::int32_t Handle;
    std::atomic<std::int32_t> DeviceHandle{-1};
    std::atomic<std::uint32_t> LineErrorBits{0};
    std::uint32_t DriverInSize = 0;           // main thread
    std::uint32_t OutRingSize = 0;            // output lock
    std::uint32_t ModemBits = 0;              // state lock
    platform::TDeviceCounts DeviceCounts;     // CountsLock
    platform::TDeviceSettings DeviceSettings; // state lock
    std::atomic<std::uint32_t> CurrentBaud{115200};
    std::uint32_t OptionWord = 0; // state lock
    std::atomic<bool> DtrOn{false};
    std::atomic<bool> DtrFlow{false};
    std::atomic<bool> RtsOn{false};
    std::atomic<bool> RtsFlow{false};
    std::atomic<bool> Rs485Active{false};
    std::atomic<std::uint16_t> UartBase{0};
    bool PortHandlerActive = false; // state lock
    bool DeliveryNeeded = false;    // state lock
    // Handler lists and trigger tables: state lock.
    std::vector<TWindowHandler> NotifyWindows;
    std::vector<TProcHandler> NotifyProcs;
    std::vector<TEventHandler> NotifyEvents;
    std::vector<TTimerTrigger> TimerTable;
    std::vector<TDataTrigger> DataTable;
    std::vector<TStatusTrigger> StatusTable;
    std::int32_t ScanPos = 0; // input lock
    std::atomic<std::int32_t> AvailThreshold{0};
    bool StatusFired = false;         // state lock
    bool AvailDelivery = false;       // input lock
    std::uint32_t HandlerTaken = 0;   // input lock
    std::uint32_t MaxTaken = 0;       // input lock
    bool InFull = false;              // input lock
    std::int32_t AvailNotifiedAt = 0; // input lock
    std::atomic<bool> StopThreadsFlag{false};
    std::atomic<TOxDispatcherThread*> ComThread{nullptr};
    std::atomic<TOxDispatcherThread*> DispThread{nullptr};
    std::atomic<TOxDispatcherThread*> OutThread{nullptr};
    std::uint8_t ThreadBoost = 0; // state lock
    mutable std::recursive_mutex StateLock;
    mutable std::recursive_mutex OutputLock;
    mutable std::recursive_mutex InputLock;
    // Made at open, before the threads start; closed once they have left.
    std::unique_ptr<platform::TSyncEvent> CommEventReady;
    std::unique_ptr<platform::TSyncEvent> CommEventDone;
    std::unique_ptr<platform::TSyncEvent> ThreadAck;
    std::unique_ptr<platform::TSyncEvent> OutputQueued;
    std::unique_ptr<platform::TSyncEvent> WriteDone; // manual reset
    std::unique_ptr<platform::TSyncEvent> OutputFlushRequest;
    // Set when the application takes input from a full ring, so the dispatch thread refills
    // it at once instead of on its next look.
    std::unique_ptr<platform::TSyncEvent> InputRoomMade;
    std::array<platform::TSyncEvent*, 2> OutputWaitArray{}; // OutputQueued, OutputFlushRequest
    std::array<platform::TSyncEvent*, 2> WriteWaitArray{};  // WriteDone, OutputFlushRequest
    std::atomic<std::uint32_t> LastEventMask{0};
    std::atomic<bool> RingSeen{false};
    // Output ring: output lock.
    std::vector<std::uint8_t> OutRing;
    std::uint32_t OutHead = 0; // next write position
    std::uint32_t OutTail = 0; // next position to send
    bool OutFull = false;
    // Input ring: input lock.
    std::vector<std::uint8_t> InRing;
    std::uint32_t InHead = 0; // next position the device data goes to
    std::uint32_t InTail = 0; // next position the application reads
    std::atomic<bool> Delivering{false};
    bool HandlersChanged = false; // state lock
    std::atomic<bool> CloseRequested{false};
    std::atomic<std::uint32_t> InputWakeLevel{1};
    // Main thread only: the input SetInputWakeLevel last saw.
    std::uint32_t LevelCheckedAt = 0;
    std::atomic<bool> OutputSent{false};
    TTraceRing Trace; // state lock
    TDispatchLog Log; // state lock
    std::atomic<bool> ThreadsRunning{false};
    std::atomic<bool> ReleaseOnDispatchExit{false};
    std::atomic<std::int32_t> ActiveThreads{0};
    std::string DeviceName; // state lock

    // The driver drives RTS around each transmission itself (RS-485 without UART access).
    bool HasRtsToggle = true;

private:
    std::int32_t OpenSteps(const std::string& Name, std::uint32_t Baud, int Parity, int DataBits,
                           int StopBits, std::uint32_t InSize, std::uint32_t OutSize,
                           std::uint32_t OpenOptions);
    std::int32_t CreateEvents();
    void WaitForThreads();
    void StoreCounts(const platform::TDeviceCounts& Counts);
    // RingCount of the input ring; input lock held.
    std::uint32_t InputRingCount() const;
    // Runs the status triggers until none delivers; false once a close was requested.
    bool RunStatusTriggers();
    void SignalCommEventDone();
    std::size_t LiveWindowCount() const;
    bool OtherHandlersPresent() const;
    void RemoveDeletedHandlers();

    mutable std::mutex CountsLock;
    // Input lock: bytes between ScanPos and the input head not yet examined, and bytes
    // examined since the last data-available notification (capped at the ring size). A ring
    // that fills from empty in one pass brings ScanPos back to where it was; these tell that
    // apart from no new bytes.
    std::uint32_t Unscanned = 0;
    std::uint32_t ScannedSinceAvail = 0;
    // Set while one thread releases the buffers; a second caller leaves it to that one.
    std::atomic<bool> Releasing{false};
};

// Bytes held by a ring of Size bytes with these positions.
constexpr std::uint32_t RingCount(std::uint32_t Head, std::uint32_t Tail, bool Full,
                                  std::uint32_t Size) {
    if (Head == Tail) return Full ? Size : 0;
    return Head > Tail ? Head - Tail : Head + Size - Tail;
}

} // namespace vaultix::serial
