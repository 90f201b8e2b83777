// Flow control: the hardware and software flow options, the input-queue thresholds they use,
// the flow characters, the DTR and RTS lines and the RS-485 mode.

#include "serial/ComPort.h"

#include "serial/Dispatcher.h"

namespace vaultix::serial {

namespace {

// The threshold arithmetic truncates toward zero a product taken in extended precision (a
// 64-bit mantissa), which is what stored configurations were computed with.
std::uint16_t TruncatedProduct(std::uint32_t Value, long double Factor) {
    return static_cast<std::uint16_t>(static_cast<long double>(Value) * Factor);
}

std::uint32_t SoftwareFlowCode(TSWFlowOptions Options) {
    switch (Options) {
    case swfReceive:
        return sfoReceive;
    case swfTransmit:
        return sfoTransmit;
    case swfBoth:
        return sfoReceive | sfoTransmit;
    case swfNone:
        break;
    }
    return 0;
}

} // namespace

void TOxCustomComPort::AdjustThresholds(long double Full, long double Resume) {
    if (FBufferFull == 0 || FBufferFull > FInSize) FBufferFull = TruncatedProduct(FInSize, Full);
    if (FBufferResume == 0 || FBufferResume > FBufferFull)
        FBufferResume = TruncatedProduct(FInSize, Resume);
}

void TOxCustomComPort::SetHWFlowOptions(THWFlowOptionSet Value) {
    if (Value == FHWFlowOptions && !FReapplyAll) return;
    // The set's bits are the dispatcher's option bits.
    const std::uint32_t mask = Value.Bits();
    static_assert(THWFlowOptionSet{hwfUseDTR}.Bits() == hfoUseDtr &&
                  THWFlowOptionSet{hwfUseRTS}.Bits() == hfoUseRts &&
                  THWFlowOptionSet{hwfRequireDSR}.Bits() == hfoRequireDsr &&
                  THWFlowOptionSet{hwfRequireCTS}.Bits() == hfoRequireCts);
    if (mask != 0) AdjustThresholds(0.9L, 0.1L);
    if (PortIsOpen()) Check(FDispatcher->ConfigureHardwareFlow(FBufferFull, FBufferResume, mask));
    FHWFlowOptions = Value;
    // RTS cannot both pace the input and switch an RS-485 transmitter.
    if (Value.Contains(hwfUseRTS) || Value.Contains(hwfRequireCTS)) SetRS485Mode(false);
}

void TOxCustomComPort::SetSWFlowOptions(TSWFlowOptions Value) {
    if (Value == FSWFlowOptions && !FReapplyAll) return;
    const std::uint32_t code = SoftwareFlowCode(Value);
    if (code != 0) AdjustThresholds(0.75L, 0.25L);
    if (PortIsOpen()) {
        if (code != 0)
            Check(FDispatcher->ConfigureSoftwareFlow(FBufferFull, FBufferResume, code));
        else
            Check(FDispatcher->DisableSoftwareFlow());
    }
    FSWFlowOptions = Value;
}

void TOxCustomComPort::ReapplyFlowOptions() {
    const bool saved = FReapplyAll;
    FReapplyAll = true;
    try {
        SetHWFlowOptions(FHWFlowOptions);
        SetSWFlowOptions(FSWFlowOptions);
    } catch (...) {
        FReapplyAll = saved;
        throw;
    }
    FReapplyAll = saved;
}

void TOxCustomComPort::SetBufferFull(std::uint16_t Value) {
    if (Value == FBufferFull && !FReapplyAll) return;
    // Ninety per cent of the requested value, not of InSize: the flow setters below bring a
    // value still too large down further when flow control is on.
    FBufferFull = Value > FInSize ? TruncatedProduct(Value, 0.9L) : Value;
    ReapplyFlowOptions();
}

void TOxCustomComPort::SetBufferResume(std::uint16_t Value) {
    if (Value == FBufferResume && !FReapplyAll) return;
    FBufferResume = Value > FBufferFull ? TruncatedProduct(FBufferFull, 0.1L) : Value;
    ReapplyFlowOptions();
}

void TOxCustomComPort::SetXOnChar(char Value) {
    if (Value == FXOnChar && !FReapplyAll) return;
    FXOnChar = Value;
    if (PortIsOpen()) Check(FDispatcher->SetFlowChars(FXOnChar, FXOffChar));
}

void TOxCustomComPort::SetXOffChar(char Value) {
    if (Value == FXOffChar && !FReapplyAll) return;
    FXOffChar = Value;
    if (PortIsOpen()) Check(FDispatcher->SetFlowChars(FXOnChar, FXOffChar));
}

// A positive result means the line is under flow control and was left alone: the property
// keeps telling what the application asked for last that took effect.
void TOxCustomComPort::SetDTR(bool Value) {
    if (Value == FDTR && !FReapplyAll) return;
    if (!PortIsOpen()) {
        FDTR = Value;
        return;
    }
    if (Check(FDispatcher->SetDtrState(Value)) == 0) FDTR = Value;
}

void TOxCustomComPort::SetRTS(bool Value) {
    if (Value == FRTS && !FReapplyAll) return;
    if (!PortIsOpen()) {
        FRTS = Value;
        return;
    }
    if (Check(FDispatcher->SetRtsState(Value)) == 0) FRTS = Value;
}

void TOxCustomComPort::SetRS485Mode(bool Value) {
    if (Value == FRS485Mode && !FReapplyAll) return;
    FRS485Mode = Value;
    if (!Value) {
        if (PortIsOpen()) FDispatcher->SetRs485Mode(false);
        return;
    }
    // RTS is taken from flow control and lowered while it still answers to the application;
    // only then does the transmitter switching take it over, and the flow settings are
    // applied once more so that the driver's transmit toggle is part of them.
    THWFlowOptionSet options = FHWFlowOptions;
    options.Exclude(hwfUseRTS).Exclude(hwfRequireCTS);
    SetHWFlowOptions(options);
    SetRTS(false);
    if (!PortIsOpen()) return;
    FDispatcher->SetRs485Mode(true);
    const bool saved = FReapplyAll;
    FReapplyAll = true;
    try {
        SetHWFlowOptions(FHWFlowOptions);
    } catch (...) {
        FReapplyAll = saved;
        throw;
    }
    FReapplyAll = saved;
}

} // namespace vaultix::serial
