// The trace and dispatch log switches and the operations behind them. Both follow one state
// table; only the dispatcher calls, the size limit and the file name differ.

#include "serial/ComPort.h"

#include "serial/Dispatcher.h"

#include <algorithm>

namespace vaultix::serial {

namespace {

bool Recording(TTraceLogState State) {
    return State == tlOn || State == tlPause;
}

} // namespace

void TOxCustomComPort::SetTracing(TTraceLogState Value) {
    SetTraceLog(true, Value);
}

void TOxCustomComPort::SetLogging(TTraceLogState Value) {
    SetTraceLog(false, Value);
}

void TOxCustomComPort::SetTraceLog(bool IsTrace, TTraceLogState Value) {
    TTraceLogState& stored = IsTrace ? FTracing : FLogging;
    const TTraceLogState current = stored;
    if (Value == current && !FReapplyAll) return;
    if (!PortIsOpen()) {
        // Without a device there is nothing to dump, append or clear: only the wish to record
        // is kept, for the next open.
        stored = Value == tlOn ? tlOn : tlOff;
        return;
    }
    switch (Value) {
    case tlOff:
        if (Recording(current)) IsTrace ? TraceDiscard() : LogDiscard();
        break;
    case tlOn:
        if (current == tlPause)
            IsTrace ? TraceResume() : LogResume();
        else
            IsTrace ? TraceStart(FTraceSize) : LogStart(FLogSize);
        break;
    case tlDump:
        if (!Recording(current)) break;
        if (IsTrace) {
            TraceResume();
            TraceSave(FTraceName, FTraceHex);
        } else {
            LogResume();
            LogSave(FLogName, FLogHex);
        }
        break;
    case tlAppend:
        if (!Recording(current)) break;
        if (IsTrace) {
            TraceResume();
            TraceAppend(FTraceName, FTraceHex);
        } else {
            LogResume();
            LogAppend(FLogName, FLogHex);
        }
        break;
    case tlClear:
        if (Recording(current)) IsTrace ? TraceReset() : LogReset();
        break;
    case tlPause:
        if (current == tlOn) IsTrace ? TracePause() : LogPause();
        break;
    }
}

void TOxCustomComPort::SetTraceSize(std::uint32_t Value) {
    SetTraceLogSize(true, Value);
}

void TOxCustomComPort::SetLogSize(std::uint32_t Value) {
    SetTraceLogSize(false, Value);
}

void TOxCustomComPort::SetTraceLogSize(bool IsTrace, std::uint32_t Value) {
    std::uint32_t& size = IsTrace ? FTraceSize : FLogSize;
    if (Value == size) return;
    size = std::min(Value, IsTrace ? MaxTraceSize : MaxLogSize);
    const TTraceLogState current = IsTrace ? FTracing : FLogging;
    if (!PortIsOpen() || !Recording(current)) return;
    // A running recording restarts empty at the new size; a paused one ends.
    if (IsTrace) {
        TraceDiscard();
        SetTracing(current);
    } else {
        LogDiscard();
        SetLogging(current);
    }
}

TOxBaseDispatcher* TOxCustomComPort::DispatcherForCall() {
    if (FState == stClosing) return nullptr;
    return RequireDispatcher();
}

// ---- Trace ----------------------------------------------------------------------------------

void TOxCustomComPort::TraceStart(std::uint32_t Size) {
    if (FState == stClosing) return;
    if (Size != 0) FTraceSize = Size;
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    Check(dispatcher->StartTrace(FTraceSize));
    FTracing = tlOn;
}

void TOxCustomComPort::TraceSave(const TPassString& FileName, bool InHex) {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    Check(dispatcher->SaveTraceToFile(FileName.substr(0, PassStringMax), InHex, FTraceAllHex));
    FTracing = tlOff;
}

void TOxCustomComPort::TraceAppend(const TPassString& FileName, bool InHex) {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    Check(dispatcher->AppendTraceToFile(FileName.substr(0, PassStringMax), InHex, FTraceAllHex));
    FTracing = tlOff;
}

void TOxCustomComPort::TraceReset() {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall()) dispatcher->ResetTrace();
}

void TOxCustomComPort::TraceDiscard() {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->DiscardTrace();
    FTracing = tlOff;
}

void TOxCustomComPort::TraceResume() {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->ResumeTrace();
    FTracing = tlOn;
}

void TOxCustomComPort::TracePause() {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->PauseTrace();
    FTracing = tlPause;
}

// ---- Dispatch log ---------------------------------------------------------------------------

void TOxCustomComPort::LogStart(std::uint32_t Size) {
    if (FState == stClosing) return;
    if (Size != 0) FLogSize = Size;
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->StartLog(FLogSize);
    FLogging = tlOn;
}

void TOxCustomComPort::LogSave(const TPassString& FileName, bool InHex) {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    Check(dispatcher->SaveLogToFile(FileName.substr(0, PassStringMax), InHex, FLogAllHex));
    FLogging = tlOff;
}

void TOxCustomComPort::LogAppend(const TPassString& FileName, bool InHex) {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    Check(dispatcher->AppendLogToFile(FileName.substr(0, PassStringMax), InHex, FLogAllHex));
    FLogging = tlOff;
}

void TOxCustomComPort::LogReset() {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall()) dispatcher->ResetLog();
}

void TOxCustomComPort::LogDiscard() {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->DiscardLog();
    FLogging = tlOff;
}

void TOxCustomComPort::LogResume() {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->ResumeLog();
    FLogging = tlOn;
}

void TOxCustomComPort::LogPause() {
    TOxBaseDispatcher* dispatcher = DispatcherForCall();
    if (dispatcher == nullptr) return;
    dispatcher->PauseLog();
    FLogging = tlPause;
}

} // namespace vaultix::serial
