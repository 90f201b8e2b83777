#pragma once
// The serial port component: the one object through which the program talks to a serial port.
// It keeps the port's configuration as properties, opens and closes the device through a
// dispatcher it owns while the port is open, moves bytes and answers line-status queries
// through that dispatcher, turns its negative result codes into exceptions, switches its trace
// and dispatch log, and turns its notifications into events on the main thread.
//
// Setters compare first and act on the device only while the port is open; otherwise they only
// store. Everything here runs on the main thread.

#include "platform/NotifyServices.h"
#include "serial/ComPortTypes.h"
#include "serial/DispatchTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vaultix::serial {

class TOxBaseDispatcher;

// Asks the user for a port when none is configured: the chosen COM number, or 0 when the user
// chose none. The program installs the port selection dialog here; until then no port is ever
// chosen. An empty function restores that default.
using TPortPrompt = std::function<std::uint16_t()>;
void SetPortPrompt(TPortPrompt Prompt);

// Base of the serial components; stands in for the framework's component with its Name, Tag
// and loading state.
class TOxBaseComponent {
public:
    static constexpr const char* ComponentVersion = "v4.06";

    TOxBaseComponent() = default;
    virtual ~TOxBaseComponent() = default;
    TOxBaseComponent(const TOxBaseComponent&) = delete;
    TOxBaseComponent& operator=(const TOxBaseComponent&) = delete;

    std::string Version() const { return ComponentVersion; }
    void SetVersion(const std::string&) {}

    std::string Name;
    std::intptr_t Tag = 0;

    virtual void Assign(const TOxBaseComponent& Source);

    // Loading from stored configuration: BeginLoading, the stored properties in declaration
    // order, then Loaded.
    void BeginLoading() { FLoading = true; }
    bool IsLoading() const { return FLoading; }
    virtual void Loaded() { FLoading = false; }

private:
    bool FLoading = false;
};

class TOxCustomComPort : public TOxBaseComponent {
public:
    TOxCustomComPort();
    ~TOxCustomComPort() override;

    void Assign(const TOxBaseComponent& Source) override;
    void Loaded() override;

    // ---- Properties -------------------------------------------------------------------------
    TDeviceLayer DeviceLayer() const { return FDeviceLayer; }
    void SetDeviceLayer(TDeviceLayer Value);
    std::uint16_t ComNumber() const { return FComNumber; }
    void SetComNumber(std::uint16_t Value);
    std::int32_t Baud() const { return FBaud; }
    void SetBaud(std::int32_t Value);
    bool PromptForPort() const { return FPromptForPort; }
    void SetPromptForPort(bool Value) { FPromptForPort = Value; }
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value);
    std::uint16_t DataBits() const { return FDataBits; }
    void SetDataBits(std::uint16_t Value);
    std::uint16_t StopBits() const { return FStopBits; }
    void SetStopBits(std::uint16_t Value);
    std::uint16_t InSize() const { return FInSize; }
    void SetInSize(std::uint16_t Value);
    std::uint16_t OutSize() const { return FOutSize; }
    void SetOutSize(std::uint16_t Value);
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    bool Open() const { return FOpen; }
    void SetOpen(bool Value);
    bool DTR() const { return FDTR; }
    void SetDTR(bool Value);
    bool RTS() const { return FRTS; }
    void SetRTS(bool Value);
    THWFlowOptionSet HWFlowOptions() const { return FHWFlowOptions; }
    void SetHWFlowOptions(THWFlowOptionSet Value);
    TSWFlowOptions SWFlowOptions() const { return FSWFlowOptions; }
    void SetSWFlowOptions(TSWFlowOptions Value);
    char XOnChar() const { return FXOnChar; }
    void SetXOnChar(char Value);
    char XOffChar() const { return FXOffChar; }
    void SetXOffChar(char Value);
    std::uint16_t BufferFull() const { return FBufferFull; }
    void SetBufferFull(std::uint16_t Value);
    std::uint16_t BufferResume() const { return FBufferResume; }
    void SetBufferResume(std::uint16_t Value);
    TTraceLogState Tracing() const { return FTracing; }
    void SetTracing(TTraceLogState Value);
    std::uint32_t TraceSize() const { return FTraceSize; }
    void SetTraceSize(std::uint32_t Value);
    const TPassString& TraceName() const { return FTraceName; }
    void SetTraceName(const TPassString& Value);
    bool TraceHex() const { return FTraceHex; }
    void SetTraceHex(bool Value) { FTraceHex = Value; }
    bool TraceAllHex() const { return FTraceAllHex; }
    void SetTraceAllHex(bool Value) { FTraceAllHex = Value; }
    TTraceLogState Logging() const { return FLogging; }
    void SetLogging(TTraceLogState Value);
    std::uint32_t LogSize() const { return FLogSize; }
    void SetLogSize(std::uint32_t Value);
    const TPassString& LogName() const { return FLogName; }
    void SetLogName(const TPassString& Value);
    bool LogHex() const { return FLogHex; }
    void SetLogHex(bool Value) { FLogHex = Value; }
    bool LogAllHex() const { return FLogAllHex; }
    void SetLogAllHex(bool Value) { FLogAllHex = Value; }
    bool UseMSRShadow() const { return true; }
    virtual void SetUseMSRShadow(bool Value);
    bool UseEventWord() const { return FUseEventWord; }
    void SetUseEventWord(bool Value);
    std::uint16_t CommNotificationLevel() const { return FCommNotificationLevel; }
    void SetCommNotificationLevel(std::uint16_t Value);
    TTapiMode TapiMode() const { return FTapiMode; }
    void SetTapiMode(TTapiMode Value) { FTapiMode = Value; }
    bool RS485Mode() const { return FRS485Mode; }
    void SetRS485Mode(bool Value);

    // ---- Events -----------------------------------------------------------------------------
    // The ten trigger events tell the dispatcher through UpdateNotifyState whether the
    // component wants notifications at all.
    const TPortNotifyEvent& OnPortClose() const { return FOnPortClose; }
    void SetOnPortClose(TPortNotifyEvent Handler) { FOnPortClose = std::move(Handler); }
    const TPortNotifyEvent& OnPortOpen() const { return FOnPortOpen; }
    void SetOnPortOpen(TPortNotifyEvent Handler) { FOnPortOpen = std::move(Handler); }
    const TTriggerEvent& OnTrigger() const { return FOnTrigger; }
    void SetOnTrigger(TTriggerEvent Handler);
    const TTriggerAvailEvent& OnTriggerAvail() const { return FOnTriggerAvail; }
    void SetOnTriggerAvail(TTriggerAvailEvent Handler);
    const TTriggerDataEvent& OnTriggerData() const { return FOnTriggerData; }
    void SetOnTriggerData(TTriggerDataEvent Handler);
    const TTriggerStatusEvent& OnTriggerStatus() const { return FOnTriggerStatus; }
    void SetOnTriggerStatus(TTriggerStatusEvent Handler);
    const TTriggerTimerEvent& OnTriggerTimer() const { return FOnTriggerTimer; }
    void SetOnTriggerTimer(TTriggerTimerEvent Handler);
    const TTriggerLineErrorEvent& OnTriggerLineError() const { return FOnTriggerLineError; }
    void SetOnTriggerLineError(TTriggerLineErrorEvent Handler);
    const TPortNotifyEvent& OnTriggerModemStatus() const { return FOnTriggerModemStatus; }
    void SetOnTriggerModemStatus(TPortNotifyEvent Handler);
    const TPortNotifyEvent& OnTriggerOutbuffFree() const { return FOnTriggerOutbuffFree; }
    void SetOnTriggerOutbuffFree(TPortNotifyEvent Handler);
    const TPortNotifyEvent& OnTriggerOutbuffUsed() const { return FOnTriggerOutbuffUsed; }
    void SetOnTriggerOutbuffUsed(TPortNotifyEvent Handler);
    const TPortNotifyEvent& OnTriggerOutSent() const { return FOnTriggerOutSent; }
    void SetOnTriggerOutSent(TPortNotifyEvent Handler);
    // Nothing in this system raises it.
    void SetOnWaitChar(TWaitCharEvent Handler) { FOnWaitChar = std::move(Handler); }

    // ---- State ------------------------------------------------------------------------------
    TPortState State() const { return FState; }
    platform::TWindowHandle NotifyWindow() const { return FNotifyWindow; }
    // The code the last open attempt ended with before it was raised: 0 after a successful
    // open, -13 when the user lacks the permission to open the device.
    std::int32_t LastOpenError() const { return FLastOpenError; }

    // ---- Dispatcher access ------------------------------------------------------------------
    // Opens a closed port first when AutoOpen is set (not while loading); nullptr while closed.
    TOxBaseDispatcher* CurrentDispatcher();
    // As CurrentDispatcher, but a port still closed raises -2007.
    TOxBaseDispatcher* RequireDispatcher();

    // ---- Status queries: never open the port; 0 / false while it is not open ---------------
    bool CtsOn();
    // The pending line error code, cleared by reading.
    std::uint16_t LineError();
    // Whether a break arrived since the last query; cleared by reading.
    bool LineBreak();
    std::uint16_t InputCount();
    std::uint16_t OutputCount();
    // How many waiting bytes wake the application's idle loop when they arrive: 1 (the
    // default) for every arrival, 0 for none; kept across opens.
    void SetInputWakeLevel(std::uint32_t Level);
    // Whether the open port's device went away (cable or adapter pulled); such a port stays
    // open, and useless, until it is closed.
    bool DeviceGone() const;
    // The path of the device behind the open port; empty while not open.
    std::string DevicePath() const;

    // ---- Input and output: nothing at all while closing ------------------------------------
    // Exactly Count bytes, or none and -3007 raised.
    void ReadBlock(void* Buffer, std::uint16_t Count);
    void WriteByte(std::uint8_t Value);
    // All bytes as one block, or none and the failure raised.
    void WriteText(const std::string& Text);
    void ClearInput();
    void ClearOutput();
    virtual void YieldToDispatcher();

    // ---- Trace and dispatch log -------------------------------------------------------------
    void TraceStart(std::uint32_t Size);
    void TraceSave(const TPassString& FileName, bool InHex);
    void TraceAppend(const TPassString& FileName, bool InHex);
    void TraceReset();
    void TraceDiscard();
    void TraceResume();
    void TracePause();
    void LogStart(std::uint32_t Size);
    void LogSave(const TPassString& FileName, bool InHex);
    void LogAppend(const TPassString& FileName, bool InHex);
    void LogReset();
    void LogDiscard();
    void LogResume();
    void LogPause();

    // Upper bounds of TraceSize and LogSize.
    static constexpr std::uint32_t MaxTraceSize = 4000000;
    static constexpr std::uint32_t MaxLogSize = 16000000;

    // The notification window's message handler; finds the component through the dispatcher
    // registry by the Handle a message carries.
    static std::intptr_t ComWindowProc(std::uint32_t Msg, std::uintptr_t WParam,
                                       std::intptr_t LParam);

protected:
    // ---- Overridable steps ------------------------------------------------------------------
    // A new dispatcher for the open; -3001 for a device layer other than dlWin32.
    virtual std::unique_ptr<TOxBaseDispatcher> CreateDispatcher();
    virtual void DeviceLayerChanged() {}
    // 0 or a negative code.
    virtual std::int32_t OpenPortDevice();
    virtual void ManageNotifyWindow(bool Create);
    // Makes sure ComNumber is not 0, asking the user when allowed; -2011 otherwise.
    virtual void EnsurePortNumber();
    virtual void DoTrigger(std::uint16_t Msg, std::uint16_t TriggerHandle, std::uint16_t Data);
    virtual void DoTriggerAvail(std::uint16_t Count);
    virtual void DoTriggerData(std::uint16_t TriggerHandle);
    virtual void DoTriggerStatus(std::uint16_t TriggerHandle);
    virtual void DoTriggerTimer(std::uint16_t TriggerHandle);
    virtual void UpdateNotifyState();
    virtual void DoTriggerLineError(std::uint16_t Error, bool LineBreak);
    virtual void DoTriggerModemStatus();
    virtual void DoTriggerOutbuffFree();
    virtual void DoTriggerOutbuffUsed();
    virtual void DoTriggerOutSent();
    virtual void DoWaitChar(char C);
    virtual void ClosePort();
    virtual void OpenPort();
    virtual void NotifyPortOpen();
    virtual void NotifyPortClose();
    virtual void NotifyPortClosing() {}

    // Settings handed to the dispatcher only.
    void SetAvailThreshold(std::uint16_t Value);
    void SetPriorityBoost(std::uint8_t Value);

private:
    // CheckError with the loading flag: negative codes raise unless the component is loading.
    std::int32_t Check(std::int32_t Code) const;
    bool PortIsOpen() const { return FState == stOpen; }
    // The flow thresholds for active flow control: Full and Resume as fractions of InSize,
    // where the stored ones are unset or out of range.
    void AdjustThresholds(long double Full, long double Resume);
    // Re-runs both flow setters with their current values, as after a threshold change.
    void ReapplyFlowOptions();
    void ReopenOnNumber(std::uint16_t Value);
    // Ends the close: no window, no dispatcher, stClosed.
    void FinishClose();
    bool AnyTriggerHandler() const;
    void HandleNotifyMessage(TOxBaseDispatcher& Dispatcher, std::uint32_t Msg,
                             std::uintptr_t WParam, std::intptr_t LParam);
    TOxBaseDispatcher* DispatcherForCall();
    void SetTraceLog(bool IsTrace, TTraceLogState Value);
    void SetTraceLogSize(bool IsTrace, std::uint32_t Value);

    TDeviceLayer FDeviceLayer = dlWin32;
    std::uint16_t FComNumber = 0;
    std::int32_t FBaud = 19200;
    bool FPromptForPort = true;
    TParity FParity = pNone;
    std::uint16_t FDataBits = 8;
    std::uint16_t FStopBits = 1;
    std::uint16_t FInSize = 4096;
    std::uint16_t FOutSize = 4096;
    bool FAutoOpen = true;
    bool FOpen = false;
    bool FDTR = true;
    bool FRTS = true;
    THWFlowOptionSet FHWFlowOptions;
    TSWFlowOptions FSWFlowOptions = swfNone;
    char FXOnChar = 17;
    char FXOffChar = 19;
    std::uint16_t FBufferFull = 0;
    std::uint16_t FBufferResume = 0;
    TTraceLogState FTracing = tlOff;
    std::uint32_t FTraceSize = 10000;
    TPassString FTraceName = "Orvex.TRC";
    bool FTraceHex = true;
    bool FTraceAllHex = false;
    TTraceLogState FLogging = tlOff;
    std::uint32_t FLogSize = 10000;
    TPassString FLogName = "Orvex.LOG";
    bool FLogHex = true;
    bool FLogAllHex = false;
    bool FUseEventWord = true;
    std::uint16_t FCommNotificationLevel = 10;
    TTapiMode FTapiMode = tmAuto;
    bool FRS485Mode = false;

    TPortState FState = stClosed;
    std::unique_ptr<TOxBaseDispatcher> FDispatcher;
    platform::TWindowHandle FNotifyWindow = 0;
    bool FReapplyAll = false;
    bool FOpenAfterLoad = false;
    bool FReopenPending = false;
    TTriggerSnapshot FSavedTriggers;
    bool FTriggersSaved = false;
    std::uint16_t FAvailThreshold = 1;
    std::uint8_t FPriorityBoost = 0;
    std::int32_t FLastOpenError = 0;
    std::uint32_t FInputWakeLevel = 1;

    TPortNotifyEvent FOnPortClose;
    TPortNotifyEvent FOnPortOpen;
    TTriggerEvent FOnTrigger;
    TTriggerAvailEvent FOnTriggerAvail;
    TTriggerDataEvent FOnTriggerData;
    TTriggerStatusEvent FOnTriggerStatus;
    TTriggerTimerEvent FOnTriggerTimer;
    TTriggerLineErrorEvent FOnTriggerLineError;
    TPortNotifyEvent FOnTriggerModemStatus;
    TPortNotifyEvent FOnTriggerOutbuffFree;
    TPortNotifyEvent FOnTriggerOutbuffUsed;
    TPortNotifyEvent FOnTriggerOutSent;
    TWaitCharEvent FOnWaitChar;
};

// The component as the program uses it; the properties and events above are its published
// interface.
class TOxComPort : public TOxCustomComPort {};

} // namespace vaultix::serial
