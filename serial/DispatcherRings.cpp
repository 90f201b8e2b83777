// The input and output rings: block reads and writes, counts, purges, and the dispatch
// thread's fill of the input ring from the device.

#include "serial/Dispatcher.h"

#include "platform/ActivitySignal.h"

#include "serial/ResultCodes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vaultix::serial {

using namespace vaultix::platform;

std::uint32_t TOxBaseDispatcher::InputRingCount() const {
    return RingCount(InHead, InTail, InFull, InRingSize);
}

void TOxBaseDispatcher::StoreCounts(const TDeviceCounts& Counts) {
    std::lock_guard counts(CountsLock);
    DeviceCounts = Counts;
}

TDeviceCounts TOxBaseDispatcher::LastDeviceCounts() {
    std::lock_guard counts(CountsLock);
    return DeviceCounts;
}

std::int32_t TOxBaseDispatcher::ReadBlock(std::uint8_t* Buffer, std::uint32_t Count) {
    {
        std::lock_guard input(InputLock);
        // Inside a data delivery each handler reads from the tail plus what it took already,
        // and only what is left after that is there for it.
        const std::uint32_t taken = AvailDelivery ? HandlerTaken : 0;
        const std::uint32_t waiting = InputRingCount();
        if (waiting < taken || waiting - taken < Count) return ecBufferIsEmpty;
        if (Count == 0) return 0;
        const std::uint32_t start = (InTail + taken) % InRingSize;
        const std::uint32_t first = std::min(Count, InRingSize - start);
        std::memcpy(Buffer, InRing.data() + start, first);
        std::memcpy(Buffer + first, InRing.data(), Count - first);
        if (AvailDelivery) {
            HandlerTaken += Count; // the delivery moves the tail when all handlers have run
        } else {
            InTail = (start + Count) % InRingSize;
            if (InFull && InputRoomMade) InputRoomMade->Set();
            InFull = false;
        }
    }
    {
        std::lock_guard state(StateLock);
        if (Trace.TracingOn())
            for (std::uint32_t i = 0; i < Count; ++i)
                Trace.AddTraceEntry('R', Buffer[i]);
    }
    return static_cast<std::int32_t>(Count);
}

std::int32_t TOxBaseDispatcher::WriteBlock(const std::uint8_t* Buffer, std::uint32_t Count) {
    if (Count == 0) return ecOK;
    std::int32_t result = ecOK;
    std::uint32_t queued = 0;
    {
        std::lock_guard output(OutputLock);
        const TDeviceCounts counts = RefreshLineErrors();
        const std::int64_t room =
            static_cast<std::int64_t>(OutRingSize) - static_cast<std::int64_t>(counts.OutQue);
        if (room < static_cast<std::int64_t>(Count)) return ecOutputBufferTooSmall;
        if (Rs485Active.load() && !HasRtsToggle) {
            // Without the driver's RTS toggle the transmitter is switched on here and off by
            // the output thread once the UART is empty.
            if (UartBase.load() == 0) return ecBaseAddressNotSet;
            SetRtsState(true);
        }
        std::int32_t n = QueueOutput(Buffer, Count);
        if (n <= 0) {
            n = -n;
            result = ecPutBlockFail;
            RefreshLineErrors();
        } else if (room == static_cast<std::int64_t>(Count)) {
            OutFull = true;
        }
        queued = static_cast<std::uint32_t>(n);
        OutputSent = true;
    }
    {
        std::lock_guard state(StateLock);
        if (Log.LoggingOn()) Log.AddLogEntry(ltDispatch, lsWriteCom, queued, Buffer, queued);
        if (Trace.TracingOn())
            for (std::uint32_t i = 0; i < queued; ++i)
                Trace.AddTraceEntry('T', Buffer[i]);
    }
    return result;
}

std::uint32_t TOxBaseDispatcher::InputCount() {
    std::lock_guard input(InputLock);
    const std::uint32_t waiting = InputRingCount();
    if (!AvailDelivery) return waiting;
    return waiting - std::min(waiting, HandlerTaken);
}

void TOxBaseDispatcher::SetInputWakeLevel(std::uint32_t Level) {
    const std::uint32_t Waiting = InputCount();
    // Input already at the level wakes the loop at once, unless it is exactly the input the
    // loop was last told of at this level: the step could not act on it then, and waking it
    // again would only spin.
    const bool Told = Level == InputWakeLevel.load() && Waiting == LevelCheckedAt;
    InputWakeLevel.store(Level);
    LevelCheckedAt = Waiting;
    if (!Told && Level != 0 && Waiting >= Level) platform::SignalActivity();
}

bool TOxBaseDispatcher::InputWakeDue() {
    const std::uint32_t Level = InputWakeLevel.load();
    return Level != 0 && InputCount() >= Level;
}

std::uint32_t TOxBaseDispatcher::InputGatherMs() {
    // Long enough that a pass takes several bytes at once instead of one, short enough that a
    // change of the modem lines still shows within the dispatch pass's own pace.
    constexpr std::uint32_t GatherMaxMs = 20;
    // The shortest frame a line can have (five data bits, start and stop): the time is never
    // longer than the bytes take, whatever the settings, so the byte that completes what the
    // application waits for is never the one held back.
    constexpr std::uint64_t ShortestFrameBits = 7;
    const std::uint32_t Level = InputWakeLevel.load();
    const std::uint32_t Rate = DecodeBaud(CurrentBaud.load());
    if (Level <= 2 || Rate == 0) return 0;
    std::uint32_t Waiting;
    {
        std::lock_guard input(InputLock);
        if (InFull) return 0;
        Waiting = InputRingCount();
    }
    if (Waiting + 2 >= Level) return 0;
    const std::uint64_t Ms = (Level - Waiting - 1) * ShortestFrameBits * 1000 / Rate;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(Ms, GatherMaxMs));
}

std::uint32_t TOxBaseDispatcher::OutputUsed() {
    std::lock_guard output(OutputLock);
    return RefreshLineErrors().OutQue;
}

std::uint32_t TOxBaseDispatcher::OutputFree() {
    std::lock_guard output(OutputLock);
    return OutRingSize - std::min(OutRingSize, OutputUsed());
}

std::int32_t TOxBaseDispatcher::PurgeOutput() {
    return PurgeDevice(false);
}

std::int32_t TOxBaseDispatcher::PurgeInput() {
    std::lock_guard input(InputLock);
    const std::int32_t result = PurgeDevice(true);
    if (AvailDelivery) {
        MaxTaken = InputRingCount(); // the delivery then consumes everything
    } else {
        InTail = InHead;
        HandlerTaken = 0;
        ScanPos = static_cast<std::int32_t>(InHead);
        Unscanned = 0;
    }
    if (InFull && InputRoomMade) InputRoomMade->Set();
    InFull = false;
    {
        std::lock_guard state(StateLock);
        for (TDataTrigger& trigger : DataTable)
            trigger.Match.fill(0);
    }
    return result;
}

bool TOxBaseDispatcher::FillInputRing() {
    std::lock_guard input(InputLock);
    if (InRing.empty()) return false;
    if (InFull) return true;
    const std::uint32_t waiting = RefreshLineErrors().InQue;
    if (waiting == 0) return false;

    // room1: contiguous space from the head; free: all space.
    std::uint32_t room1;
    std::uint32_t free;
    if (InTail > InHead) {
        room1 = free = InTail - InHead;
    } else if (InTail < InHead) {
        room1 = InRingSize - InHead;
        free = InTail - InHead + InRingSize;
    } else {
        room1 = InRingSize - InHead;
        free = InRingSize;
    }
    const std::uint32_t want = std::min(free, waiting);
    std::uint32_t second = room1 < want ? want - room1 : 0;

    std::uint32_t n = 0;
    if (room1 > 0) {
        n = std::min(ReadDevice(InRing.data() + InHead, room1), room1);
        LogEvent(ltDispatch, lsReadCom, n, InRing.data() + InHead, n);
        InHead += n;
        Unscanned += n;
        if (n < room1) second = 0;
    }
    if (InHead == InRingSize) InHead = 0;
    if (n > 0) InFull = (InHead == InTail);
    if (second > 0) {
        const std::uint32_t m = std::min(ReadDevice(InRing.data() + InHead, second), second);
        LogEvent(ltDispatch, lsReadCom, m, InRing.data() + InHead, m);
        InHead += m;
        Unscanned += m;
        InFull = (InHead == InTail);
    }
    return true;
}

// ---- Output ring, for the device layer -------------------------------------------------------

std::uint32_t TOxBaseDispatcher::OutputRingFill() {
    std::lock_guard output(OutputLock);
    return RingCount(OutHead, OutTail, OutFull, OutRingSize);
}

void TOxBaseDispatcher::AppendToOutputRing(const std::uint8_t* Buffer, std::uint32_t Count) {
    std::lock_guard output(OutputLock);
    if (OutRing.empty() || Count == 0) return;
    const std::uint32_t room = OutRingSize - OutHead;
    if (room < Count) {
        std::memcpy(OutRing.data() + OutHead, Buffer, room);
        std::memcpy(OutRing.data(), Buffer + room, Count - room);
        OutHead = Count - room;
    } else {
        std::memcpy(OutRing.data() + OutHead, Buffer, Count);
        OutHead = OutHead + Count == OutRingSize ? 0 : OutHead + Count;
    }
}

void TOxBaseDispatcher::AdvanceOutputTail(std::uint32_t Count) {
    std::lock_guard output(OutputLock);
    if (OutRing.empty() || Count == 0) return;
    OutTail = (OutTail + Count) % OutRingSize;
    if (OutTail == OutHead) OutHead = OutTail = 0;
    OutFull = false;
}

void TOxBaseDispatcher::ClearOutputRing() {
    std::lock_guard output(OutputLock);
    OutFull = false;
    OutHead = OutTail = 0;
}

} // namespace vaultix::serial
