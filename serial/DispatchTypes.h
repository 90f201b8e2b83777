#pragma once
// Records of the dispatcher's notification machinery: the handlers it tells about data and
// status events, the trigger tables it checks, and the snapshot that carries the triggers
// across a close and the next open.

#include "platform/NotifyServices.h"
#include "platform/TimeBase.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vaultix::serial {

// Notification messages. The second parameter carries the dispatcher's Handle in its high
// 16 bits and a value in its low 16 bits.
inline constexpr std::uint32_t MsgTriggerAvail = 0x7E01;  // first: byte count
inline constexpr std::uint32_t MsgTriggerData = 0x7E02;   // first: trigger, low word: length
inline constexpr std::uint32_t MsgTriggerTimer = 0x7E03;  // first: trigger
inline constexpr std::uint32_t MsgTriggerStatus = 0x7E04; // first: trigger, low word: count
inline constexpr std::uint32_t MsgDeferredClose = 0x7E0A; // the component's own deferred close

// A handler called directly with (message, first parameter, second parameter).
using TNotifyProc = void (*)(std::uint32_t Msg, std::uint32_t First, std::uint32_t Second);

// A method: code and the object it runs on. Two references are the same handler when both
// parts match.
struct TNotifyMethod {
    void (*Code)(void* Object, std::uint32_t Msg, std::uint32_t First,
                 std::uint32_t Second) = nullptr;
    void* Object = nullptr;
    bool operator==(const TNotifyMethod&) const = default;
};

struct TWindowHandler {
    platform::TWindowHandle Window = 0;
    bool Deleted = false;
};

struct TProcHandler {
    TNotifyProc Proc = nullptr;
    bool Deleted = false;
};

struct TEventHandler {
    TNotifyMethod Method;
    bool Deleted = false;
    bool Synchronize = false; // run on the main thread, the dispatch thread waiting
};

struct TTimerTrigger {
    std::uint32_t Handle = 0;
    platform::TickTimer Timer;
    std::int32_t Active = 0;
};

inline constexpr std::size_t DataPatternSize = 24;
inline constexpr std::size_t DataMatchCounters = 22;

struct TDataTrigger {
    std::uint32_t Handle = 0;
    std::uint32_t Length = 0; // 0: free slot
    // Counter 0 holds how many pattern bytes the recent input matches; the rest are spare.
    std::array<std::int32_t, DataMatchCounters> Match{};
    std::int32_t Matched = 0;
    std::int32_t IgnoreCase = 0;
    std::array<std::uint8_t, DataPatternSize> Pattern{};
};

// Status trigger kinds; a trigger handle carries its kind in its low three bits.
inline constexpr std::uint32_t stkModem = 1;
inline constexpr std::uint32_t stkLineError = 2;
inline constexpr std::uint32_t stkOutFree = 3;
inline constexpr std::uint32_t stkOutUsed = 4;
inline constexpr std::uint32_t stkOutSent = 5;

struct TStatusTrigger {
    std::uint32_t Handle = 0;
    std::uint32_t Kind = 0;
    // Modem: high byte the watched ModemBits bits, low byte their last seen state. Line error:
    // the watched error bits. Output free / used: a byte count.
    std::uint16_t Value = 0;
    std::uint8_t Active = 0;
    std::uint8_t Fired = 0;
};

struct TTriggerSnapshot {
    std::uint32_t AvailThreshold = 0;
    std::vector<TTimerTrigger> Timers;
    std::vector<TDataTrigger> Data;
    std::vector<TStatusTrigger> Status;
};

} // namespace vaultix::serial
