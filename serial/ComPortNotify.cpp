// The hidden notification window and the events it raises: the dispatcher's threads send
// their notifications to the window, so every event of the component runs on the main thread.
// The window also receives the component's own deferred-close message.

#include "serial/ComPort.h"

#include "platform/NotifyWindows.h"
#include "serial/Dispatcher.h"
#include "serial/DispatcherRegistry.h"
#include "serial/ThreadExceptionHook.h"

#include <mutex>

namespace vaultix::serial {

namespace {

bool IsComWindowMessage(std::uint32_t Msg) {
    return Msg == MsgTriggerAvail || Msg == MsgTriggerData || Msg == MsgTriggerTimer ||
           Msg == MsgTriggerStatus || Msg == MsgDeferredClose;
}

std::uint16_t LowWord(std::uintptr_t Value) {
    return static_cast<std::uint16_t>(Value & 0xFFFF);
}

std::uint16_t HighWord(std::intptr_t Value) {
    return static_cast<std::uint16_t>((static_cast<std::uintptr_t>(Value) >> 16) & 0xFFFF);
}

} // namespace

void TOxCustomComPort::ManageNotifyWindow(bool Create) {
    if (Create) {
        FNotifyWindow = platform::NotifyWindowFactory().CreateNotifyWindow(&ComWindowProc);
        // Without a window nothing reaches the events; the status queries still work.
        if (FNotifyWindow != 0 && FDispatcher) FDispatcher->RegisterNotifyWindow(FNotifyWindow);
        return;
    }
    if (FNotifyWindow == 0) return;
    if (FDispatcher) FDispatcher->UnregisterNotifyWindow(FNotifyWindow);
    platform::NotifyWindowFactory().DestroyNotifyWindow(FNotifyWindow);
    FNotifyWindow = 0;
}

bool TOxCustomComPort::AnyTriggerHandler() const {
    return FOnTrigger || FOnTriggerAvail || FOnTriggerData || FOnTriggerStatus || FOnTriggerTimer ||
           FOnTriggerLineError || FOnTriggerModemStatus || FOnTriggerOutbuffFree ||
           FOnTriggerOutbuffUsed || FOnTriggerOutSent;
}

void TOxCustomComPort::UpdateNotifyState() {
    if (!PortIsOpen()) return;
    FDispatcher->UpdateHandlerState(AnyTriggerHandler() ? 1 : 2);
}

std::intptr_t TOxCustomComPort::ComWindowProc(std::uint32_t Msg, std::uintptr_t WParam,
                                              std::intptr_t LParam) {
    if (!IsComWindowMessage(Msg)) return 0;
    // Held throughout: the dispatcher found here cannot be destroyed by another thread while
    // its component handles the message (the lock is re-entrant for this thread's own closes
    // and reopens).
    std::lock_guard registry(DispatcherRegistry());
    try {
        TOxBaseDispatcher* dispatcher = DispatcherRegistry().At(HighWord(LParam));
        if (dispatcher == nullptr) return 0;
        TOxCustomComPort* port = dispatcher->GetOwner();
        if (port == nullptr) return 0;
        port->HandleNotifyMessage(*dispatcher, Msg, WParam, LParam);
    } catch (...) {
        // Never back into the sender: a dispatcher thread waiting for this message.
        if (platform::NotifyServices().IsMainThread())
            ShowThreadException(std::current_exception());
    }
    return 0;
}

void TOxCustomComPort::HandleNotifyMessage(TOxBaseDispatcher& Dispatcher, std::uint32_t Msg,
                                           std::uintptr_t WParam, std::intptr_t LParam) {
    // A slot reused by another dispatcher of ours, or one that has gone.
    if (&Dispatcher != FDispatcher.get()) return;
    const std::uint16_t first = LowWord(WParam);
    switch (Msg) {
    case MsgTriggerAvail:
        DoTrigger(static_cast<std::uint16_t>(Msg), first, first);
        DoTriggerAvail(first);
        break;
    case MsgTriggerData:
        DoTrigger(static_cast<std::uint16_t>(Msg), first, LowWord(LParam));
        DoTriggerData(first);
        break;
    case MsgTriggerTimer:
        DoTrigger(static_cast<std::uint16_t>(Msg), first, LowWord(LParam));
        DoTriggerTimer(first);
        break;
    case MsgTriggerStatus:
        DoTrigger(static_cast<std::uint16_t>(Msg), first, LowWord(LParam));
        DoTriggerStatus(first);
        switch (TOxBaseDispatcher::StatusTriggerKind(first)) {
        case stkModem:
            DoTriggerModemStatus();
            break;
        case stkLineError: {
            const bool lineBreak = LineBreak();
            DoTriggerLineError(LineError(), lineBreak);
            break;
        }
        case stkOutFree:
            DoTriggerOutbuffFree();
            break;
        case stkOutUsed:
            DoTriggerOutbuffUsed();
            break;
        case stkOutSent:
            DoTriggerOutSent();
            break;
        default:
            break;
        }
        break;
    case MsgDeferredClose:
        // Not while its threads run, nor while a delivery further up this thread's stack
        // still uses it.
        if (Dispatcher.AreThreadsRunning() || Dispatcher.IsDelivering()) {
            platform::NotifyServices().PostMessage(FNotifyWindow, MsgDeferredClose, 0, LParam);
            break;
        }
        FinishClose();
        if (FReopenPending) {
            FReopenPending = false;
            OpenPort();
        }
        break;
    default:
        break;
    }
}

// ---- Raising the events ---------------------------------------------------------------------

void TOxCustomComPort::DoTrigger(std::uint16_t Msg, std::uint16_t TriggerHandle,
                                 std::uint16_t Data) {
    if (FOnTrigger) FOnTrigger(*this, Msg, TriggerHandle, Data);
}

void TOxCustomComPort::DoTriggerAvail(std::uint16_t Count) {
    if (FOnTriggerAvail) FOnTriggerAvail(*this, Count);
}

void TOxCustomComPort::DoTriggerData(std::uint16_t TriggerHandle) {
    if (FOnTriggerData) FOnTriggerData(*this, TriggerHandle);
}

void TOxCustomComPort::DoTriggerStatus(std::uint16_t TriggerHandle) {
    if (FOnTriggerStatus) FOnTriggerStatus(*this, TriggerHandle);
}

void TOxCustomComPort::DoTriggerTimer(std::uint16_t TriggerHandle) {
    if (FOnTriggerTimer) FOnTriggerTimer(*this, TriggerHandle);
}

void TOxCustomComPort::DoTriggerLineError(std::uint16_t Error, bool LineBreak) {
    if (FOnTriggerLineError) FOnTriggerLineError(*this, Error, LineBreak);
}

void TOxCustomComPort::DoTriggerModemStatus() {
    if (FOnTriggerModemStatus) FOnTriggerModemStatus(*this);
}

void TOxCustomComPort::DoTriggerOutbuffFree() {
    if (FOnTriggerOutbuffFree) FOnTriggerOutbuffFree(*this);
}

void TOxCustomComPort::DoTriggerOutbuffUsed() {
    if (FOnTriggerOutbuffUsed) FOnTriggerOutbuffUsed(*this);
}

void TOxCustomComPort::DoTriggerOutSent() {
    if (FOnTriggerOutSent) FOnTriggerOutSent(*this);
}

void TOxCustomComPort::DoWaitChar(char C) {
    if (FOnWaitChar) FOnWaitChar(*this, C);
}

// ---- Event setters --------------------------------------------------------------------------

void TOxCustomComPort::SetOnTrigger(TTriggerEvent Handler) {
    FOnTrigger = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent Handler) {
    FOnTriggerAvail = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerData(TTriggerDataEvent Handler) {
    FOnTriggerData = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent Handler) {
    FOnTriggerStatus = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent Handler) {
    FOnTriggerTimer = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent Handler) {
    FOnTriggerLineError = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerModemStatus(TPortNotifyEvent Handler) {
    FOnTriggerModemStatus = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerOutbuffFree(TPortNotifyEvent Handler) {
    FOnTriggerOutbuffFree = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerOutbuffUsed(TPortNotifyEvent Handler) {
    FOnTriggerOutbuffUsed = std::move(Handler);
    UpdateNotifyState();
}

void TOxCustomComPort::SetOnTriggerOutSent(TPortNotifyEvent Handler) {
    FOnTriggerOutSent = std::move(Handler);
    UpdateNotifyState();
}

} // namespace vaultix::serial
