// Life cycle of the dispatcher: creation, open, close, release, and the operations that only
// forward to the trace and the dispatch log.

#include "serial/Dispatcher.h"

#include "platform/TimeBase.h"
#include "serial/DispatcherRegistry.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
constexpr std::int32_t ecOutOfMemory = -8;

// The result code for the error a failed open left behind.
std::int32_t LastOpenError(int SavedErrno) {
    return SavedErrno > 0 ? OpenErrorCode(SavedErrno) : ecInternal;
}

// The result code for the error a failed call on the open line left behind.
std::int32_t LastLineError(int SavedErrno) {
    return SavedErrno > 0 ? LineErrorCode(SavedErrno) : ecInternal;
}
} // namespace

TOxBaseDispatcher::TOxBaseDispatcher(TOxCustomComPort* AOwner)
    : Owner(AOwner), Handle(DispatcherRegistry().Add(this)) {}

TOxBaseDispatcher::~TOxBaseDispatcher() {
    WaitForThreads();
    DispatcherRegistry().Remove(Handle);
}

void TOxBaseDispatcher::Shutdown() {
    CloseDevice();
    WaitForThreads();
}

void TOxBaseDispatcher::WaitForThreads() {
    // The threads may need the main thread to handle a message (a synchronised handler, a
    // notification) before they can leave, so pending messages are handled while waiting.
    while (ActiveThreads.load() > 0) {
        NotifyServices().ProcessPendingMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::int32_t TOxBaseDispatcher::CreateEvents() {
    try {
        CommEventReady = std::make_unique<TSyncEvent>(false);
        CommEventDone = std::make_unique<TSyncEvent>(false);
        ThreadAck = std::make_unique<TSyncEvent>(false);
        OutputQueued = std::make_unique<TSyncEvent>(false);
        WriteDone = std::make_unique<TSyncEvent>(true);
        OutputFlushRequest = std::make_unique<TSyncEvent>(false);
        InputRoomMade = std::make_unique<TSyncEvent>(false);
    } catch (const std::bad_alloc&) {
        CloseEvents();
        return ecOutOfMemory;
    }
    OutputWaitArray = {OutputQueued.get(), OutputFlushRequest.get()};
    WriteWaitArray = {WriteDone.get(), OutputFlushRequest.get()};
    return ecOK;
}

void TOxBaseDispatcher::CloseEvents() {
    OutputWaitArray = {};
    WriteWaitArray = {};
    CommEventReady.reset();
    CommEventDone.reset();
    ThreadAck.reset();
    OutputQueued.reset();
    WriteDone.reset();
    OutputFlushRequest.reset();
    InputRoomMade.reset();
}

std::int32_t TOxBaseDispatcher::OpenDevice(const std::string& Name, std::uint32_t Baud, int Parity,
                                           int DataBits, int StopBits, std::uint32_t InSize,
                                           std::uint32_t OutSize, std::uint32_t OpenOptions) {
    RingSeen = false;
    Delivering = false;
    {
        std::lock_guard state(StateLock);
        HandlersChanged = false;
    }
    std::int32_t code = CreateEvents();
    if (code == ecOK)
        code = OpenSteps(Name, Baud, Parity, DataBits, StopBits, InSize, OutSize, OpenOptions);
    if (code != ecOK) CloseDevice();
    return code;
}

std::int32_t TOxBaseDispatcher::OpenSteps(const std::string& Name, std::uint32_t Baud, int Parity,
                                          int DataBits, int StopBits, std::uint32_t InSize,
                                          std::uint32_t OutSize, std::uint32_t OpenOptions) {
    // The device is opened with the line it is asked for, so that it never receives at another
    // speed or framing first; ApplyLineSettings below then finds nothing to change.
    OpeningSettings = {};
    if (Baud != 0) OpeningSettings.BaudRate = Baud;
    if (Parity >= 0 && Parity <= 4) OpeningSettings.Parity = static_cast<std::uint8_t>(Parity);
    if (DataBits >= 5 && DataBits <= 8)
        OpeningSettings.ByteSize = static_cast<std::uint8_t>(DataBits);
    if (StopBits >= 0 && StopBits != 3)
        OpeningSettings.StopBits = std::clamp(StopBits, 1, 2) == 1 ? 0 : 2;
    if (OpeningSettings.ByteSize == 5) OpeningSettings.StopBits = 1;

    errno = 0;
    const std::int32_t handle = OpenDeviceHandle(Name, InSize, OutSize);
    if (handle < 0) return handle == ecOutOfMemory ? ecOutOfMemory : LastOpenError(errno);
    DeviceHandle = handle;

    errno = 0;
    if (!SetupDeviceQueues(InSize, OutSize)) return LastLineError(errno);

    try {
        std::lock_guard input(InputLock);
        std::lock_guard output(OutputLock);
        InRing.assign(InRingSize, 0);
        OutRing.assign(OutSize, 0);
        OutHead = OutTail = 0;
        OutFull = false;
        OutRingSize = OutSize;
        InFull = false;
        HandlerTaken = 0;
    } catch (const std::bad_alloc&) {
        return ecOutOfMemory;
    }
    DriverInSize = InSize;
    LineErrorBits = 0;
    OutputSent = false;
    CloseRequested = false;
    Rs485Active = false;
    UartBase = 0;

    {
        std::lock_guard state(StateLock);
        ReadDeviceSettings(DeviceSettings);
    }
    DtrFlow = (OpenOptions & ooDtrFlow) != 0;
    if (!DtrFlow) SetDtrState((OpenOptions & ooDtrOn) != 0);
    RtsFlow = (OpenOptions & ooRtsFlow) != 0;
    if (!RtsFlow) SetRtsState((OpenOptions & ooRtsOn) != 0);

    {
        std::lock_guard input(InputLock);
        std::lock_guard state(StateLock);
        ScanPos = 0;
        Unscanned = 0;
        ScannedSinceAvail = 0;
        TimerTable.clear();
        DataTable.clear();
        StatusTable.clear();
        AvailThreshold = 0;
        InHead = InTail = 0;
        AvailNotifiedAt = 0;
        ReArmStatusTriggers();
        AvailDelivery = false;
        ModemBits = 0;
        RefreshModemStatus(0xF0);
    }
    {
        std::lock_guard state(StateLock);
        CurrentBaud = DeviceSettings.BaudRate;
    }

    const std::int32_t applied = ApplyLineSettings(Baud, Parity, DataBits, StopBits);
    if (applied < 0) return applied;
    RefreshLineErrors();
    {
        std::lock_guard state(StateLock);
        Trace.DiscardTrace();
        Log.DiscardLog();
        Log.SetStartTime(NowMs());
        Log.SetScratchSize(std::max(InSize, OutSize));
    }
    try {
        StartThreads();
    } catch (...) {
        CloseDevice();
        throw;
    }
    return ecOK;
}

void TOxBaseDispatcher::CloseDevice() {
    if (DeviceHandle.load() >= 0) {
        PurgeOutput();
        PurgeInput();
        CloseDeviceHandle();
    }
    if (Delivering.load()) {
        // Called from inside a handler: the dispatch thread releases the rings as it leaves.
        CloseRequested = true;
        return;
    }
    ReleaseBuffers();
}

void TOxBaseDispatcher::ReleaseBuffers() {
    // The dispatch thread releases as it leaves while the main thread may be releasing and
    // waiting for it; the one that came second leaves the work to the first.
    if (Releasing.exchange(true)) return;
    ReleaseOnDispatchExit = false;
    // The threads are stopped without holding the state lock: they take it on their way out.
    if (ThreadsRunning.load()) StopThreads();
    {
        std::lock_guard input(InputLock);
        std::vector<std::uint8_t>().swap(InRing);
        InHead = InTail = 0;
        InFull = false;
        ScanPos = 0;
        Unscanned = 0;
        HandlerTaken = 0;
        AvailDelivery = false;
    }
    {
        std::lock_guard output(OutputLock);
        std::vector<std::uint8_t>().swap(OutRing);
        OutHead = OutTail = 0;
        OutFull = false;
        OutRingSize = 0;
    }
    if (!ThreadsRunning.load()) CloseEvents();
    Releasing = false;
}

std::int32_t TOxBaseDispatcher::SetDriverQueueSizes(std::uint32_t InSize, std::uint32_t OutSize) {
    errno = 0;
    return SetupDeviceQueues(InSize, OutSize) ? ecOK : LastLineError(errno);
}

void TOxBaseDispatcher::SetOptionFlags(std::uint32_t Bits) {
    std::lock_guard state(StateLock);
    OptionWord |= Bits;
}

void TOxBaseDispatcher::ClearOptionFlags(std::uint32_t Bits) {
    std::lock_guard state(StateLock);
    OptionWord &= ~Bits;
}

std::uint32_t TOxBaseDispatcher::OptionFlags() {
    std::lock_guard state(StateLock);
    return OptionWord;
}

void TOxBaseDispatcher::SnapshotTriggers(TTriggerSnapshot& Snapshot) {
    FreeTriggerSnapshot(Snapshot);
    std::lock_guard state(StateLock);
    Snapshot.AvailThreshold = static_cast<std::uint32_t>(AvailThreshold.load());
    Snapshot.Timers = TimerTable;
    Snapshot.Data = DataTable;
    Snapshot.Status = StatusTable;
}

void TOxBaseDispatcher::LoadTriggerSnapshot(const TTriggerSnapshot& Snapshot) {
    std::lock_guard state(StateLock);
    TimerTable = Snapshot.Timers;
    DataTable = Snapshot.Data;
    StatusTable = Snapshot.Status;
    AvailThreshold = static_cast<std::int32_t>(Snapshot.AvailThreshold);
}

void TOxBaseDispatcher::FreeTriggerSnapshot(TTriggerSnapshot& Snapshot) {
    Snapshot = TTriggerSnapshot{};
}

void TOxBaseDispatcher::SetRs485Mode(bool On) {
    std::lock_guard state(StateLock);
    Rs485Active = On;
}

void TOxBaseDispatcher::SetDeviceName(const std::string& Name) {
    std::lock_guard state(StateLock);
    DeviceName = Name;
}

std::string TOxBaseDispatcher::GetDeviceName() {
    std::lock_guard state(StateLock);
    return DeviceName;
}

void TOxBaseDispatcher::LogEvent(std::uint8_t Type, std::uint8_t SubType, std::uint32_t Data,
                                 const std::uint8_t* Bytes, std::uint32_t Count) {
    std::lock_guard state(StateLock);
    if (Log.LoggingOn()) Log.AddLogEntry(Type, SubType, Data, Bytes, Count);
}

// ---- Trace and log: the rings take no lock of their own ------------------------------------

std::int32_t TOxBaseDispatcher::StartTrace(std::uint32_t EntryCount) {
    std::lock_guard state(StateLock);
    return Trace.StartTrace(EntryCount);
}

void TOxBaseDispatcher::ResetTrace() {
    std::lock_guard state(StateLock);
    Trace.ResetTrace();
}

void TOxBaseDispatcher::DiscardTrace() {
    std::lock_guard state(StateLock);
    Trace.DiscardTrace();
}

void TOxBaseDispatcher::PauseTrace() {
    std::lock_guard state(StateLock);
    Trace.PauseTrace();
}

void TOxBaseDispatcher::ResumeTrace() {
    std::lock_guard state(StateLock);
    Trace.ResumeTrace();
}

bool TOxBaseDispatcher::TracingOn() {
    std::lock_guard state(StateLock);
    return Trace.TracingOn();
}

std::int32_t TOxBaseDispatcher::SaveTraceToFile(const std::string& FileName, bool InHex,
                                                bool AllHex) {
    std::lock_guard state(StateLock);
    return Trace.SaveTraceToFile(FileName, InHex, AllHex);
}

std::int32_t TOxBaseDispatcher::AppendTraceToFile(const std::string& FileName, bool InHex,
                                                  bool AllHex) {
    std::lock_guard state(StateLock);
    return Trace.AppendTraceToFile(FileName, InHex, AllHex);
}

void TOxBaseDispatcher::StartLog(std::uint32_t ByteSize) {
    std::lock_guard state(StateLock);
    Log.StartLog(ByteSize);
}

void TOxBaseDispatcher::ResetLog() {
    std::lock_guard state(StateLock);
    Log.ResetLog();
}

void TOxBaseDispatcher::DiscardLog() {
    std::lock_guard state(StateLock);
    Log.DiscardLog();
}

void TOxBaseDispatcher::PauseLog() {
    std::lock_guard state(StateLock);
    Log.PauseLog();
}

void TOxBaseDispatcher::ResumeLog() {
    std::lock_guard state(StateLock);
    Log.ResumeLog();
}

bool TOxBaseDispatcher::LoggingOn() {
    std::lock_guard state(StateLock);
    return Log.LoggingOn();
}

std::int32_t TOxBaseDispatcher::SaveLogToFile(const std::string& FileName, bool InHex,
                                              bool AllHex) {
    std::lock_guard state(StateLock);
    return Log.SaveLogToFile(FileName, DeviceName, InHex, AllHex);
}

std::int32_t TOxBaseDispatcher::AppendLogToFile(const std::string& FileName, bool InHex,
                                                bool AllHex) {
    std::lock_guard state(StateLock);
    return Log.AppendLogToFile(FileName, DeviceName, InHex, AllHex);
}

} // namespace vaultix::serial
