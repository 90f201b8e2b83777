// Reaching the dispatcher, the line-status queries and byte input and output.

#include "serial/ComPort.h"

#include "serial/Dispatcher.h"
#include "serial/ResultCodes.h"

namespace vaultix::serial {

TOxBaseDispatcher* TOxCustomComPort::CurrentDispatcher() {
    if (!FDispatcher && FState != stOpen && !IsLoading() && FAutoOpen) SetOpen(true);
    return FDispatcher.get();
}

TOxBaseDispatcher* TOxCustomComPort::RequireDispatcher() {
    TOxBaseDispatcher* dispatcher = CurrentDispatcher();
    if (dispatcher == nullptr) Check(ecCommNotOpen);
    return dispatcher;
}

// ---- Status queries -------------------------------------------------------------------------

bool TOxCustomComPort::CtsOn() {
    return PortIsOpen() && FDispatcher->IsCtsOn();
}

void TOxCustomComPort::SetInputWakeLevel(std::uint32_t Level) {
    // Also an unchanged level is handed on: input that reaches it already wakes the loop again.
    FInputWakeLevel = Level;
    if (PortIsOpen()) FDispatcher->SetInputWakeLevel(Level);
}

bool TOxCustomComPort::DeviceGone() const {
    return PortIsOpen() && FDispatcher->DeviceGone();
}

std::string TOxCustomComPort::DevicePath() const {
    return PortIsOpen() ? FDispatcher->DevicePath() : std::string();
}

std::uint16_t TOxCustomComPort::LineError() {
    if (!PortIsOpen()) return 0;
    return static_cast<std::uint16_t>(Check(FDispatcher->TakeLineError()));
}

bool TOxCustomComPort::LineBreak() {
    return PortIsOpen() && FDispatcher->TakeBreakReceived();
}

std::uint16_t TOxCustomComPort::InputCount() {
    return PortIsOpen() ? static_cast<std::uint16_t>(FDispatcher->InputCount()) : 0;
}

std::uint16_t TOxCustomComPort::OutputCount() {
    return PortIsOpen() ? static_cast<std::uint16_t>(FDispatcher->OutputUsed()) : 0;
}

// ---- Input and output -----------------------------------------------------------------------

void TOxCustomComPort::ReadBlock(void* Buffer, std::uint16_t Count) {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall())
        Check(dispatcher->ReadBlock(static_cast<std::uint8_t*>(Buffer), Count));
}

void TOxCustomComPort::WriteByte(std::uint8_t Value) {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall()) Check(dispatcher->WriteByte(Value));
}

void TOxCustomComPort::WriteText(const std::string& Text) {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall())
        Check(dispatcher->WriteBlock(reinterpret_cast<const std::uint8_t*>(Text.data()),
                                     static_cast<std::uint32_t>(Text.size())));
}

void TOxCustomComPort::ClearInput() {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall()) Check(dispatcher->PurgeInput());
}

void TOxCustomComPort::ClearOutput() {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall()) Check(dispatcher->PurgeOutput());
}

void TOxCustomComPort::YieldToDispatcher() {
    if (TOxBaseDispatcher* dispatcher = DispatcherForCall()) Check(dispatcher->YieldToDevice());
}

} // namespace vaultix::serial
