// The component's life cycle (construction, destruction, copying, loading) and the setters
// that only store or pass one value to the dispatcher.

#include "serial/ComPort.h"

#include "serial/CheckError.h"
#include "serial/Dispatcher.h"
#include "serial/ThreadExceptionHook.h"

namespace vaultix::serial {

void TOxBaseComponent::Assign(const TOxBaseComponent&) {}

TOxCustomComPort::TOxCustomComPort() = default;

TOxCustomComPort::~TOxCustomComPort() {
    try {
        if (FState == stOpen) ClosePort();
    } catch (...) {
        // A trace or log that cannot be written must not keep the device open past the
        // component's end.
        ShowThreadException(std::current_exception());
    }
    // A close still waiting for its deferred message (or one that failed above) ends here, so
    // that no posted message can find this component any more.
    if (FState != stClosed) FinishClose();
    TOxBaseDispatcher::FreeTriggerSnapshot(FSavedTriggers);
}

std::int32_t TOxCustomComPort::Check(std::int32_t Code) const {
    return CheckError(IsLoading(), Code);
}

void TOxCustomComPort::Assign(const TOxBaseComponent& Source) {
    const auto* source = dynamic_cast<const TOxCustomComPort*>(&Source);
    if (source == nullptr || source == this) return;
    // Closed before anything is copied: the copied configuration must not meet a device that
    // was opened with another one.
    SetOpen(false);
    if (source->FState == stOpen && source->FDispatcher) {
        source->FDispatcher->SnapshotTriggers(FSavedTriggers);
        FTriggersSaved = true;
    }
    FReapplyAll = source->FReapplyAll;
    FDeviceLayer = source->FDeviceLayer;
    FComNumber = source->FComNumber;
    FBaud = source->FBaud;
    FParity = source->FParity;
    FDataBits = source->FDataBits;
    FStopBits = source->FStopBits;
    FInSize = source->FInSize;
    FOutSize = source->FOutSize;
    FAutoOpen = source->FAutoOpen;
    FPromptForPort = source->FPromptForPort;
    FRS485Mode = source->FRS485Mode;
    FPriorityBoost = source->FPriorityBoost;
    FDTR = source->FDTR;
    FRTS = source->FRTS;
    FBufferFull = source->FBufferFull;
    FBufferResume = source->FBufferResume;
    FHWFlowOptions = source->FHWFlowOptions;
    FSWFlowOptions = source->FSWFlowOptions;
    FXOnChar = source->FXOnChar;
    FXOffChar = source->FXOffChar;
    FTracing = source->FTracing;
    FTraceSize = source->FTraceSize;
    FTraceName = source->FTraceName;
    FTraceHex = source->FTraceHex;
    FTraceAllHex = source->FTraceAllHex;
    FLogging = source->FLogging;
    FLogSize = source->FLogSize;
    FLogName = source->FLogName;
    FLogHex = source->FLogHex;
    FLogAllHex = source->FLogAllHex;
    FAvailThreshold = source->FAvailThreshold;
    FTapiMode = source->FTapiMode;
    FOpen = false;
    SetOnTrigger(source->FOnTrigger);
    SetOnTriggerAvail(source->FOnTriggerAvail);
    SetOnTriggerData(source->FOnTriggerData);
    SetOnTriggerStatus(source->FOnTriggerStatus);
    SetOnTriggerTimer(source->FOnTriggerTimer);
    FOnPortOpen = source->FOnPortOpen;
    FOnPortClose = source->FOnPortClose;
}

void TOxCustomComPort::Loaded() {
    TOxBaseComponent::Loaded();
    if (FOpenAfterLoad) FOpen = true;
    if (!FOpen) return;
    FOpenAfterLoad = false;
    try {
        OpenPort();
    } catch (...) {
        FOpen = false;
        ShowThreadException(std::current_exception());
    }
}

// ---- Setters that store, or pass their value on ---------------------------------------------

void TOxCustomComPort::SetDeviceLayer(TDeviceLayer Value) {
    if (Value == FDeviceLayer) return;
    // The only device layer there is: a socket layer is never accepted.
    if (FState != stClosed || Value != dlWin32) return;
    FDeviceLayer = Value;
    DeviceLayerChanged();
}

void TOxCustomComPort::SetComNumber(std::uint16_t Value) {
    if (Value == FComNumber) return;
    if (FState == stOpen)
        ReopenOnNumber(Value);
    else
        FComNumber = Value;
}

void TOxCustomComPort::SetBaud(std::int32_t Value) {
    if (Value == FBaud) return;
    FBaud = Value;
    if (PortIsOpen())
        Check(FDispatcher->ApplyLineSettings(static_cast<std::uint32_t>(FBaud), FParity, FDataBits,
                                             FStopBits));
}

void TOxCustomComPort::SetParity(TParity Value) {
    if (Value == FParity) return;
    FParity = Value;
    if (PortIsOpen())
        Check(FDispatcher->ApplyLineSettings(static_cast<std::uint32_t>(FBaud), FParity, FDataBits,
                                             FStopBits));
}

void TOxCustomComPort::SetDataBits(std::uint16_t Value) {
    if (Value == FDataBits) return;
    FDataBits = Value;
    if (PortIsOpen())
        Check(FDispatcher->ApplyLineSettings(static_cast<std::uint32_t>(FBaud), FParity, FDataBits,
                                             FStopBits));
}

void TOxCustomComPort::SetStopBits(std::uint16_t Value) {
    if (Value == FStopBits) return;
    FStopBits = Value;
    if (PortIsOpen())
        Check(FDispatcher->ApplyLineSettings(static_cast<std::uint32_t>(FBaud), FParity, FDataBits,
                                             FStopBits));
}

// The driver's queue sizes are a hint; a driver that keeps its own is no failure.
void TOxCustomComPort::SetInSize(std::uint16_t Value) {
    if (Value == FInSize) return;
    FInSize = Value;
    if (PortIsOpen()) FDispatcher->SetDriverQueueSizes(FInSize, FOutSize);
}

void TOxCustomComPort::SetOutSize(std::uint16_t Value) {
    if (Value == FOutSize) return;
    FOutSize = Value;
    if (PortIsOpen()) FDispatcher->SetDriverQueueSizes(FInSize, FOutSize);
}

void TOxCustomComPort::SetTraceName(const TPassString& Value) {
    FTraceName = Value.substr(0, PassStringMax);
}

void TOxCustomComPort::SetLogName(const TPassString& Value) {
    FLogName = Value.substr(0, PassStringMax);
}

void TOxCustomComPort::SetUseMSRShadow(bool) {}

void TOxCustomComPort::SetUseEventWord(bool Value) {
    if (Value == FUseEventWord && !FReapplyAll) return;
    FUseEventWord = Value;
    if (!PortIsOpen()) return;
    constexpr std::uint32_t EventWordFlag = 4;
    if (Value)
        FDispatcher->SetOptionFlags(EventWordFlag);
    else
        FDispatcher->ClearOptionFlags(EventWordFlag);
}

void TOxCustomComPort::SetCommNotificationLevel(std::uint16_t Value) {
    if (Value == FCommNotificationLevel && !FReapplyAll) return;
    FCommNotificationLevel = Value;
}

void TOxCustomComPort::SetAvailThreshold(std::uint16_t Value) {
    if (Value == FAvailThreshold && !FReapplyAll) return;
    FAvailThreshold = Value;
    if (PortIsOpen()) FDispatcher->SetAvailThreshold(Value);
}

void TOxCustomComPort::SetPriorityBoost(std::uint8_t Value) {
    if (Value == FPriorityBoost && !FReapplyAll) return;
    FPriorityBoost = Value;
    if (PortIsOpen()) FDispatcher->SetThreadBoost(Value);
}

} // namespace vaultix::serial
