// Opening and closing the port: the Open switch, the open and close sequences, the deferred
// close from inside an event handler, and moving an open port to another number.

#include "serial/ComPort.h"

#include "serial/CheckError.h"
#include "serial/DispatchTypes.h"
#include "serial/Dispatcher.h"
#include "serial/OxException.h"
#include "serial/ResultCodes.h"

#include <mutex>
#include <string>

namespace vaultix::serial {

namespace {

std::mutex PromptLock;

TPortPrompt& InstalledPrompt() {
    static TPortPrompt prompt;
    return prompt;
}

TPortPrompt CurrentPrompt() {
    std::lock_guard lock(PromptLock);
    return InstalledPrompt();
}

// The classic system codes of a failed open (file not found, path not found, access denied),
// negated. The dispatcher here already reports a failed open as ecBadId, ecAlreadyOpen or a
// line error code, so these only serve a device layer that still gives the classic codes.
constexpr std::int32_t SysFileNotFound = -2;
constexpr std::int32_t SysPathNotFound = -3;
constexpr std::int32_t SysAccessDenied = -5;

std::intptr_t DeferredCloseParam(const TOxBaseDispatcher& Dispatcher) {
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>(Dispatcher.GetHandle() & 0xFFFF)
                                      << 16);
}

} // namespace

void SetPortPrompt(TPortPrompt Prompt) {
    std::lock_guard lock(PromptLock);
    InstalledPrompt() = std::move(Prompt);
}

void TOxCustomComPort::SetOpen(bool Value) {
    if (IsLoading()) {
        FOpen = Value;
        if (Value) FOpenAfterLoad = true;
        return;
    }
    if (FState == stClosing) {
        // The close completes first; what was asked for last decides whether it reopens.
        FReopenPending = Value;
        return;
    }
    if (Value == FOpen) return;
    if (!Value)
        ClosePort();
    else if (FState == stClosed)
        OpenPort();
    else
        FReopenPending = true;
}

void TOxCustomComPort::EnsurePortNumber() {
    if (FComNumber != 0) return;
    if (!FPromptForPort) {
        Check(ecNoPortSelected);
        return;
    }
    const TPortPrompt prompt = CurrentPrompt();
    const std::uint16_t chosen = prompt ? prompt() : 0;
    if (chosen == 0) {
        Check(ecNoPortSelected);
        return;
    }
    FComNumber = chosen;
}

std::int32_t TOxCustomComPort::OpenPortDevice() {
    std::uint32_t options = 0;
    if (FDTR) options |= ooDtrOn;
    if (FRTS) options |= ooRtsOn;
    if (FHWFlowOptions.Contains(hwfUseDTR)) options |= ooDtrFlow;
    if (FHWFlowOptions.Contains(hwfUseRTS)) options |= ooRtsFlow;
    const std::string name = "\\\\.\\COM" + std::to_string(FComNumber);
    return FDispatcher->OpenDevice(name, static_cast<std::uint32_t>(FBaud), FParity, FDataBits,
                                   FStopBits, FInSize, FOutSize, options);
}

void TOxCustomComPort::OpenPort() {
    // No telephony line is provided: such a port is never opened by telephony.
    if (FTapiMode == tmOn) {
        Check(ecNotOpenedByTapi);
        return;
    }
    EnsurePortNumber();
    if (FComNumber == 0) return; // only while loading, when nothing raises
    FDispatcher = CreateDispatcher();
    if (!FDispatcher) return;
    FDispatcher->SetDeviceName("COM" + std::to_string(FComNumber));
    FDispatcher->SetInputWakeLevel(FInputWakeLevel);
    try {
        std::int32_t result = OpenPortDevice();
        if (result == SysAccessDenied)
            result = ecAlreadyOpen;
        else if (result == SysFileNotFound || result == SysPathNotFound)
            result = ecBadId;
        FLastOpenError = result;
        if (result != 0) {
            Check(result);
            throw EOxException::CreateText("Orvex exception"); // only reached while loading
        }
        FState = stOpen;
        UpdateNotifyState();
        FReapplyAll = true;
        SetTracing(FTracing);
        SetLogging(FLogging);
        SetHWFlowOptions(FHWFlowOptions);
        SetSWFlowOptions(FSWFlowOptions);
        SetXOnChar(FXOnChar);
        SetXOffChar(FXOffChar);
        SetAvailThreshold(FAvailThreshold);
        SetDTR(FDTR);
        SetRTS(FRTS);
        SetUseEventWord(FUseEventWord);
        SetRS485Mode(FRS485Mode);
        SetPriorityBoost(FPriorityBoost);
        FReapplyAll = false;
        FOpen = true;
        ManageNotifyWindow(true);
        if (FTriggersSaved) {
            FTriggersSaved = false;
            FDispatcher->LoadTriggerSnapshot(FSavedTriggers);
        }
        NotifyPortOpen();
    } catch (...) {
        FReapplyAll = false;
        FOpen = false;
        FState = stClosed;
        if (FNotifyWindow != 0) ManageNotifyWindow(false);
        FDispatcher.reset();
        throw;
    }
}

void TOxCustomComPort::ClosePort() {
    if (FState != stOpen) return;
    // A recording is written before anything is torn down; if its file cannot be written the
    // failure propagates and the port stays open.
    SetTracing(tlDump);
    SetLogging(tlDump);
    FState = stClosing;
    NotifyPortClosing();
    FDispatcher->SnapshotTriggers(FSavedTriggers);
    FTriggersSaved = true;
    FDispatcher->CloseDevice();
    if (FDispatcher->IsDelivering()) {
        // Called from inside one of our event handlers: the dispatcher is still in use further
        // up the stack, so the rest of the close waits for the message posted here.
        platform::NotifyServices().PostMessage(FNotifyWindow, MsgDeferredClose, 0,
                                               DeferredCloseParam(*FDispatcher));
        platform::NotifyServices().ProcessPendingMessages();
    } else {
        FinishClose();
    }
    NotifyPortClose();
}

void TOxCustomComPort::FinishClose() {
    ManageNotifyWindow(false);
    // Forgotten before it is destroyed: messages handled while its threads are waited for
    // must not find it through the component.
    std::unique_ptr<TOxBaseDispatcher> dispatcher = std::move(FDispatcher);
    FState = stClosed;
    FOpen = false;
    dispatcher.reset();
}

void TOxCustomComPort::ReopenOnNumber(std::uint16_t Value) {
    FDispatcher->SnapshotTriggers(FSavedTriggers);
    const TTraceLogState tracing = FTracing;
    const TTraceLogState logging = FLogging;
    SetOpen(false);
    FComNumber = Value;
    // The port is closed now: a recording becomes a wish to record again after the open.
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
    if (PortIsOpen()) FDispatcher->LoadTriggerSnapshot(FSavedTriggers);
}

void TOxCustomComPort::NotifyPortOpen() {
    if (FOnPortOpen) FOnPortOpen(*this);
}

void TOxCustomComPort::NotifyPortClose() {
    if (FOnPortClose) FOnPortClose(*this);
}

} // namespace vaultix::serial
