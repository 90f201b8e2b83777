// The dispatch thread's passes: the data, status and timer triggers and the data-available
// notification, checked after every device event and on the dispatch thread's time-out.

#include "serial/Dispatcher.h"

#include <algorithm>
#include <vector>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
constexpr std::uint32_t ModemEvents = evCts | evDsr | evRlsd | evRing | evRingTrailing;

std::uint8_t Folded(std::uint8_t Byte, bool IgnoreCase) {
    return IgnoreCase && Byte >= 'a' && Byte <= 'z' ? static_cast<std::uint8_t>(Byte - 0x20) : Byte;
}

// Feeds one byte to a data trigger; true when it completes the pattern. Counter 0 holds the
// longest prefix of the pattern that the input ends with, so overlapping starts ("aab" in
// "aaab") are not lost.
bool AdvanceDataTrigger(TDataTrigger& Trigger, std::uint8_t Byte) {
    const auto length =
        static_cast<std::int32_t>(std::min<std::uint32_t>(Trigger.Length, DataPatternSize));
    const bool fold = Trigger.IgnoreCase != 0;
    const std::uint8_t byte = Folded(Byte, fold);
    auto pattern = [&](std::int32_t i) {
        return Folded(Trigger.Pattern[static_cast<std::size_t>(i)], fold);
    };
    const std::int32_t matched = std::clamp(Trigger.Match[0], 0, length - 1);
    std::int32_t next = 0;
    // The new prefix is k bytes long when its last byte is this one and its first k - 1 bytes
    // end the prefix matched so far.
    for (std::int32_t k = matched + 1; k > 0 && next == 0; --k) {
        if (pattern(k - 1) != byte) continue;
        bool same = true;
        for (std::int32_t i = 0; same && i < k - 1; ++i)
            same = pattern(i) == pattern(matched - (k - 1) + i);
        if (same) next = k;
    }
    if (next == length) {
        Trigger.Match[0] = 0;
        return true;
    }
    Trigger.Match[0] = next;
    return false;
}
} // namespace

bool TOxBaseDispatcher::CheckInputTriggers() {
    struct TFired {
        std::uint32_t Handle;
        std::uint32_t Length;
    };
    std::vector<TFired> fired; // allocates only when a pattern matched
    bool availDue = false;
    std::uint32_t availCount = 0;
    {
        std::lock_guard input(InputLock);
        std::lock_guard state(StateLock);
        if (InRing.empty()) return false;
        const std::uint32_t threshold =
            static_cast<std::uint32_t>(std::max(0, AvailThreshold.load()));
        const std::uint32_t waiting = InputRingCount();
        // The application may have read past bytes not yet examined; those are gone.
        if (Unscanned > waiting) {
            ScanPos = static_cast<std::int32_t>(InTail);
            Unscanned = waiting;
        }
        // With no pattern to look for, the bytes need not be looked at one by one.
        const bool anyPattern = std::any_of(DataTable.begin(), DataTable.end(),
                                            [](const TDataTrigger& t) { return t.Length != 0; });
        if (!anyPattern) {
            ScannedSinceAvail = std::min(ScannedSinceAvail + Unscanned, InRingSize);
            Unscanned = 0;
        }
        std::uint32_t pos = static_cast<std::uint32_t>(ScanPos);
        std::uint32_t longest = 0;
        while (Unscanned > 0 && fired.empty()) {
            const std::uint8_t byte = InRing[pos];
            --Unscanned;
            ScannedSinceAvail = std::min(ScannedSinceAvail + 1, InRingSize);
            for (TDataTrigger& trigger : DataTable) {
                if (trigger.Length == 0 || trigger.Matched != 0) continue;
                if (AdvanceDataTrigger(trigger, byte)) {
                    trigger.Matched = 1;
                    longest = std::max(longest, trigger.Length);
                }
            }
            if (longest == 0) {
                pos = (pos + 1) % InRingSize;
                continue;
            }
            // A pattern ends at pos: first announce the bytes before it, then the triggers,
            // the last entry first.
            const std::uint32_t upToPattern = (pos + InRingSize - InTail) % InRingSize + 1;
            const std::uint32_t taken = AvailDelivery ? HandlerTaken : 0;
            const bool unannounced = static_cast<std::int32_t>(pos) != AvailNotifiedAt ||
                                     ScannedSinceAvail >= InRingSize;
            if (threshold > 0 && unannounced && upToPattern >= longest &&
                upToPattern - longest >= threshold) {
                availDue = true;
                availCount = upToPattern - longest - std::min(taken, upToPattern - longest);
                AvailNotifiedAt = static_cast<std::int32_t>(pos);
                ScannedSinceAvail = 0;
            }
            ScanPos = static_cast<std::int32_t>((pos + 1) % InRingSize);
            for (auto trigger = DataTable.rbegin(); trigger != DataTable.rend(); ++trigger) {
                if (trigger->Matched == 0) continue;
                trigger->Matched = 0;
                fired.push_back({trigger->Handle, trigger->Length});
            }
        }
        if (fired.empty()) {
            ScanPos = static_cast<std::int32_t>(InHead);
            const std::uint32_t count = InputCount();
            const bool unannounced = ScanPos != AvailNotifiedAt || ScannedSinceAvail >= InRingSize;
            if (threshold == 0 || !unannounced || count < threshold) return false;
            availDue = true;
            availCount = count;
            AvailNotifiedAt = ScanPos;
            ScannedSinceAvail = 0;
        }
    }

    bool result = false;
    if (availDue) {
        LogEvent(ltTrigger, lsAvail, availCount);
        result = DeliverEvent(MsgTriggerAvail, availCount, 0);
    }
    if (!fired.empty()) {
        for (const TFired& trigger : fired) {
            if (CloseRequested.load()) break;
            LogEvent(ltTrigger, lsData, trigger.Handle);
            result = DeliverEvent(MsgTriggerData, trigger.Handle, trigger.Length);
        }
    }
    return result;
}

bool TOxBaseDispatcher::CheckStatusTriggers() {
    std::uint32_t handle = 0;
    std::uint32_t data = 0;
    {
        std::lock_guard state(StateLock);
        auto firing = StatusTable.end();
        for (auto trigger = StatusTable.begin(); trigger != StatusTable.end(); ++trigger) {
            if (trigger->Active == 0) continue;
            bool fires = false;
            switch (trigger->Kind) {
            case stkModem:
                fires = (((trigger->Value & 0xFFu) ^ ModemBits) & (trigger->Value >> 8)) != 0;
                break;
            case stkLineError: {
                const std::uint32_t errors = LineErrorBits.load();
                fires = (trigger->Value & errors) != 0;
                if (fires) trigger->Value = static_cast<std::uint16_t>(errors);
                break;
            }
            case stkOutFree: {
                const std::uint32_t free = OutputFree();
                fires = free >= trigger->Value;
                data = free;
                break;
            }
            case stkOutUsed: {
                const std::uint32_t used = OutputUsed();
                fires = used <= trigger->Value;
                data = used;
                break;
            }
            case stkOutSent:
                fires = OutputSent.exchange(false);
                break;
            default:
                break;
            }
            if (fires) {
                firing = trigger;
                break;
            }
            data = 0;
        }
        if (firing == StatusTable.end()) return false;
        firing->Active = 0;
        firing->Fired = 1;
        StatusFired = true;
        handle = firing->Handle;
        LogEvent(ltTrigger, lsStatus, handle);
    }
    return DeliverEvent(MsgTriggerStatus, handle, data);
}

bool TOxBaseDispatcher::CheckTimerTriggers() {
    std::uint32_t handle = 0;
    {
        std::lock_guard state(StateLock);
        const auto expired = std::find_if(TimerTable.begin(), TimerTable.end(), [](auto& t) {
            return t.Active != 0 && TickTimerExpired(t.Timer);
        });
        if (expired == TimerTable.end()) return false;
        expired->Active = 0;
        handle = expired->Handle;
        LogEvent(ltTrigger, lsTimer, handle);
    }
    return DeliverEvent(MsgTriggerTimer, handle, 0);
}

void TOxBaseDispatcher::ReArmStatusTriggers() {
    std::lock_guard state(StateLock);
    for (TStatusTrigger& trigger : StatusTable)
        trigger.Fired = 0;
    StatusFired = false;
}

bool TOxBaseDispatcher::RunStatusTriggers() {
    if (!Delivering.load()) {
        bool delivered;
        do {
            delivered = CheckStatusTriggers();
            if (CloseRequested.load()) return false;
        } while (delivered);
    }
    std::lock_guard state(StateLock);
    if (StatusFired) ReArmStatusTriggers();
    return true;
}

void TOxBaseDispatcher::SignalCommEventDone() {
    if (CommEventDone) CommEventDone->Set();
}

void TOxBaseDispatcher::ProcessDeviceEvent() {
    const std::uint32_t mask = LastEventMask.load();
    if (mask & ModemEvents) {
        MergeModemDeltas();
        if (!RunStatusTriggers()) return SignalCommEventDone();
    }
    if ((mask & 0xFFu) >= evBreak) {
        RefreshLineErrors();
        if (!RunStatusTriggers()) return SignalCommEventDone();
    }
    do {
        FillInputRing();
        if (Delivering.load()) continue;
        {
            std::lock_guard state(StateLock);
            // The levels are refreshed; the change flags stay until a status trigger sees them.
            ModemBits = RefreshModemStatus(0xF0);
        }
        bool delivered;
        do {
            delivered = CheckStatusTriggers();
            if (CloseRequested.load()) return SignalCommEventDone();
        } while (delivered);
        do {
            delivered = CheckInputTriggers();
            if (CloseRequested.load()) return SignalCommEventDone();
        } while (delivered);
    } while (MoreInputFollows());
    {
        std::lock_guard state(StateLock);
        if (StatusFired) ReArmStatusTriggers();
    }
    SignalCommEventDone();
}

void TOxBaseDispatcher::ProcessTimersAndStatus() {
    if (CloseRequested.load() || Delivering.load()) return;
    {
        std::lock_guard state(StateLock);
        StatusFired = false;
    }
    while ((CheckStatusTriggers() || CheckTimerTriggers()) && !CloseRequested.load()) {
    }
    std::lock_guard state(StateLock);
    if (StatusFired) ReArmStatusTriggers();
}

} // namespace vaultix::serial
