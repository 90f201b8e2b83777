#pragma once
// The value types of the serial port component's configuration and the signatures of its
// events.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace vaultix::serial {

class TOxCustomComPort;

enum TParity : std::uint8_t { pNone = 0, pOdd = 1, pEven = 2, pMark = 3, pSpace = 4 };

enum TDeviceLayer : std::uint8_t { dlWin32 = 0, dlWinsock = 1 };

enum TTapiMode : std::uint8_t { tmNone = 0, tmAuto = 1, tmOn = 2, tmOff = 3 };

enum THWFlowOptions : std::uint8_t {
    hwfUseDTR = 0,
    hwfUseRTS = 1,
    hwfRequireDSR = 2,
    hwfRequireCTS = 3
};

// A set of hardware flow options; bit n stands for the option of ordinal n, which is also the
// layout the dispatcher expects.
class THWFlowOptionSet {
public:
    constexpr THWFlowOptionSet() = default;
    constexpr THWFlowOptionSet(std::initializer_list<THWFlowOptions> Options) {
        for (THWFlowOptions option : Options)
            Include(option);
    }

    constexpr bool Contains(THWFlowOptions Option) const { return (FBits & BitOf(Option)) != 0; }
    constexpr THWFlowOptionSet& Include(THWFlowOptions Option) {
        FBits = static_cast<std::uint8_t>(FBits | BitOf(Option));
        return *this;
    }
    constexpr THWFlowOptionSet& Exclude(THWFlowOptions Option) {
        FBits = static_cast<std::uint8_t>(FBits & ~BitOf(Option));
        return *this;
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr std::uint8_t Bits() const { return FBits; }
    constexpr bool operator==(const THWFlowOptionSet&) const = default;

private:
    static constexpr std::uint8_t BitOf(THWFlowOptions Option) {
        return static_cast<std::uint8_t>(1u << Option);
    }
    std::uint8_t FBits = 0;
};

enum TSWFlowOptions : std::uint8_t { swfNone = 0, swfReceive = 1, swfTransmit = 2, swfBoth = 3 };

enum TTraceLogState : std::uint8_t {
    tlOff = 0,
    tlOn = 1,
    tlDump = 2,
    tlAppend = 3,
    tlClear = 4,
    tlPause = 5
};

enum TPortState : std::uint8_t { stClosed, stClosing, stOpen };

// A file name of at most PassStringMax characters; longer values are cut there when stored.
using TPassString = std::string;
inline constexpr std::size_t PassStringMax = 255;

// ---- Events -------------------------------------------------------------------------------
using TPortNotifyEvent = std::function<void(TOxCustomComPort& Sender)>;
using TTriggerEvent = std::function<void(TOxCustomComPort& CP, std::uint16_t Msg,
                                         std::uint16_t TriggerHandle, std::uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TOxCustomComPort& CP, std::uint16_t Count)>;
using TTriggerHandleEvent = std::function<void(TOxCustomComPort& CP, std::uint16_t TriggerHandle)>;
using TTriggerDataEvent = TTriggerHandleEvent;
using TTriggerStatusEvent = TTriggerHandleEvent;
using TTriggerTimerEvent = TTriggerHandleEvent;
using TTriggerLineErrorEvent =
    std::function<void(TOxCustomComPort& CP, std::uint16_t Error, bool LineBreak)>;
using TWaitCharEvent = std::function<void(TOxCustomComPort& CP, char C)>;

} // namespace vaultix::serial
