// Line settings, DTR and RTS, flow control, modem status and line errors.

#include "serial/Dispatcher.h"

#include "serial/ResultCodes.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace vaultix::serial {

using namespace vaultix::platform;

namespace {
// Values of the settings' baud field from 0xFF10 on; 0 means the field value is the rate.
constexpr std::array<std::uint32_t, 24> IndexedRates = {
    110, 300, 600, 1200,  2400, 4800, 9600, 14400,  19200, 0, 0, 38400,
    0,   0,   0,   56000, 0,    0,    0,    128000, 0,     0, 0, 256000};

constexpr int KeepParity = 5;
constexpr int KeepDataBits = 9;
constexpr int KeepStopBits = 3;

// The driver sends the stop signal when only XoffLim bytes of its queue are left free, and
// the resume signal once no more than XonLim bytes wait.
void SetFlowLimits(TDeviceSettings& Settings, std::uint32_t DriverInSize, std::uint32_t BufferFull,
                   std::uint32_t BufferResume) {
    Settings.XoffLim = static_cast<std::uint16_t>(DriverInSize - BufferFull);
    Settings.XonLim = static_cast<std::uint16_t>(BufferResume);
}
} // namespace

std::uint32_t TOxBaseDispatcher::DecodeBaud(std::uint32_t Value) {
    if (Value == 0xFEFF) return 115200;
    if (Value >= 0xFF10 && Value < 0xFF10 + IndexedRates.size()) {
        const std::uint32_t rate = IndexedRates[Value - 0xFF10];
        return rate != 0 ? rate : Value;
    }
    return Value;
}

std::int32_t TOxBaseDispatcher::ApplyLineSettings(std::uint32_t Baud, int Parity, int DataBits,
                                                  int StopBits) {
    std::uint32_t baud;
    std::uint8_t parity;
    std::uint8_t byteSize;
    std::uint8_t stopCode;
    {
        std::lock_guard state(StateLock);
        ReadDeviceSettings(DeviceSettings);
        const TDeviceSettings& current = DeviceSettings;
        baud = Baud == 0 ? current.BaudRate : Baud;
        parity = Parity == KeepParity ? current.Parity : static_cast<std::uint8_t>(Parity);
        byteSize =
            DataBits == KeepDataBits ? current.ByteSize : static_cast<std::uint8_t>(DataBits);
        if (StopBits == KeepStopBits)
            stopCode = current.StopBits;
        else
            stopCode = std::clamp(StopBits, 1, 2) == 1 ? 0 : 2;
        // Five data bits go with one and a half stop bits whatever was asked for.
        if (byteSize == 5) stopCode = 1;
        if (baud == current.BaudRate && parity == current.Parity && byteSize == current.ByteSize &&
            stopCode == current.StopBits)
            return ecOK;
    }
    // Changing the line under bytes still being sent would garble them.
    WaitOutputDrained();
    std::lock_guard state(StateLock);
    ReadDeviceSettings(DeviceSettings);
    DeviceSettings.BaudRate = baud;
    DeviceSettings.Parity = parity;
    DeviceSettings.ByteSize = byteSize;
    DeviceSettings.StopBits = stopCode;
    return ApplyDeviceSettings(DeviceSettings);
}

void TOxBaseDispatcher::WaitOutputDrained() {
    for (int round = 0; round < 5000 && OutputUsed() > 0; ++round)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    TDeviceSettings settings;
    {
        std::lock_guard state(StateLock);
        ReadDeviceSettings(DeviceSettings);
        settings = DeviceSettings;
    }
    // The ring is empty; now about 18 character times for the device's own transmitter.
    const std::uint32_t bits = settings.ByteSize + 2u + (settings.Parity != 0 ? 1u : 0u) +
                               (settings.StopBits != 0 ? 1u : 0u);
    const std::uint32_t rate = DecodeBaud(CurrentBaud.load());
    if (rate == 0) return;
    std::uint32_t d = (10000000u / rate) * bits * 18u;
    if (d < 10000) d *= 2;
    std::this_thread::sleep_for(std::chrono::milliseconds((d + 9999u) / 10000u));
}

std::int32_t TOxBaseDispatcher::ApplyDeviceSettings(TDeviceSettings& Settings) {
    std::lock_guard state(StateLock);
    if (!DtrFlow.load()) {
        Settings.Flags &= ~dcbDtrControlMask;
        if (DtrOn.load()) Settings.Flags |= dcbDtrControlEnable;
    }
    if (!RtsFlow.load()) {
        Settings.Flags &= ~dcbRtsControlMask;
        if (RtsOn.load()) Settings.Flags |= dcbRtsControlEnable;
    }
    const std::int32_t result = WriteDeviceSettings(Settings);
    CurrentBaud = Settings.BaudRate;
    SetDtrState(DtrOn.load());
    if (!Rs485Active.load()) SetRtsState(RtsOn.load());
    return result;
}

std::int32_t TOxBaseDispatcher::ReadLineSettings(std::uint32_t& Baud, int& Parity, int& DataBits,
                                                 int& StopBits) {
    std::lock_guard state(StateLock);
    const std::int32_t result = ReadDeviceSettings(DeviceSettings);
    Baud = DecodeBaud(DeviceSettings.BaudRate);
    Parity = DeviceSettings.Parity;
    DataBits = DeviceSettings.ByteSize;
    StopBits = DeviceSettings.StopBits == 0 ? 1 : 2;
    return result;
}

std::int32_t TOxBaseDispatcher::SetDtrState(bool On) {
    if (DtrFlow.load()) return 1;
    const std::int32_t escaped = EscapeFunction(On ? escSetDtr : escClrDtr);
    DtrOn = On;
    return escaped < 0 ? ecBadArgument : ecOK;
}

std::int32_t TOxBaseDispatcher::SetRtsState(bool On) {
    if (RtsFlow.load()) return 1;
    const std::int32_t escaped = EscapeFunction(On ? escSetRts : escClrRts);
    RtsOn = On;
    return escaped < 0 ? ecBadArgument : ecOK;
}

// ---- Flow control ---------------------------------------------------------------------------

std::int32_t TOxBaseDispatcher::ConfigureHardwareFlow(std::uint32_t BufferFull,
                                                      std::uint32_t BufferResume,
                                                      std::uint32_t HwOptions) {
    if (BufferFull < BufferResume || BufferFull > DriverInSize) return ecBadArgument;
    std::lock_guard state(StateLock);
    ReadDeviceSettings(DeviceSettings);
    TDeviceSettings& s = DeviceSettings;
    s.Flags &= ~(dcbOutxCtsFlow | dcbOutxDsrFlow | dcbDtrControlMask | dcbRtsControlMask);
    DtrFlow = false;
    RtsFlow = false;
    if (HwOptions & hfoUseDtr) {
        s.Flags |= dcbDtrControlHandshake;
        DtrFlow = true;
    } else if (DtrOn.load()) {
        s.Flags |= dcbDtrControlEnable;
    }
    if (HwOptions & hfoUseRts) {
        s.Flags |= dcbRtsControlHandshake;
        RtsFlow = true;
    } else if (RtsOn.load()) {
        s.Flags |= dcbRtsControlEnable;
    }
    if (Rs485Active.load() && HasRtsToggle) {
        s.Flags = (s.Flags & ~dcbRtsControlMask) | dcbRtsControlToggle;
        RtsFlow = true;
    }
    SetFlowLimits(s, DriverInSize, BufferFull, BufferResume);
    if (HwOptions & hfoRequireDsr) s.Flags |= dcbOutxDsrFlow;
    if (HwOptions & hfoRequireCts) s.Flags |= dcbOutxCtsFlow;
    return ApplyDeviceSettings(s);
}

std::int32_t TOxBaseDispatcher::ConfigureSoftwareFlow(std::uint32_t BufferFull,
                                                      std::uint32_t BufferResume,
                                                      std::uint32_t SwOptions) {
    if (BufferFull < BufferResume || BufferFull > DriverInSize) return ecBadArgument;
    std::lock_guard state(StateLock);
    ReadDeviceSettings(DeviceSettings);
    TDeviceSettings& s = DeviceSettings;
    if (SwOptions & sfoReceive) {
        s.Flags |= dcbInX;
        SetFlowLimits(s, DriverInSize, BufferFull, BufferResume);
        s.XonChar = 17;
        s.XoffChar = 19;
    }
    if (SwOptions & sfoTransmit) {
        s.Flags |= dcbOutX;
        s.XonChar = 17;
        s.XoffChar = 19;
    }
    return ApplyDeviceSettings(s);
}

std::int32_t TOxBaseDispatcher::DisableSoftwareFlow() {
    std::lock_guard state(StateLock);
    DeviceSettings.Flags &= ~(dcbOutX | dcbInX);
    return ApplyDeviceSettings(DeviceSettings);
}

std::int32_t TOxBaseDispatcher::SetFlowChars(char XOn, char XOff) {
    std::lock_guard state(StateLock);
    DeviceSettings.XonChar = XOn;
    DeviceSettings.XoffChar = XOff;
    return ApplyDeviceSettings(DeviceSettings);
}

std::int32_t TOxBaseDispatcher::ReadFlowSettings(std::uint32_t& HwOptions, std::uint32_t& SwOptions,
                                                 char& XOn, char& XOff) {
    std::lock_guard state(StateLock);
    const std::int32_t result = ReadDeviceSettings(DeviceSettings);
    const std::uint32_t flags = DeviceSettings.Flags;
    HwOptions = 0;
    if ((flags & dcbDtrControlMask) == dcbDtrControlHandshake) HwOptions |= hfoUseDtr;
    if ((flags & dcbRtsControlMask) == dcbRtsControlHandshake) HwOptions |= hfoUseRts;
    if (flags & dcbOutxDsrFlow) HwOptions |= hfoRequireDsr;
    if (flags & dcbOutxCtsFlow) HwOptions |= hfoRequireCts;
    SwOptions = 0;
    if (flags & dcbOutX) SwOptions |= sfoTransmit;
    if (flags & dcbInX) SwOptions |= sfoReceive;
    XOn = DeviceSettings.XonChar;
    XOff = DeviceSettings.XoffChar;
    return result;
}

// ---- Modem status and line errors -------------------------------------------------------

std::uint32_t TOxBaseDispatcher::RefreshModemStatus(std::uint32_t KeepMask) {
    std::lock_guard state(StateLock);
    ModemBits = (ReadModemLevels() & 0xF0u) | (ModemBits & 0x0Fu);
    // The comm thread saw the ring indicator go; levels alone would miss a short ring.
    if (RingSeen.exchange(false)) ModemBits |= msTrailingRi;
    const std::uint32_t result = ModemBits & 0xFFu;
    ModemBits &= KeepMask;
    return result;
}

void TOxBaseDispatcher::MergeModemDeltas() {
    std::lock_guard state(StateLock);
    const std::uint32_t old = ModemBits;
    RefreshModemStatus(0xFF);
    ModemBits |= ((old ^ ModemBits) & 0xF0u) >> 4;
}

TDeviceCounts TOxBaseDispatcher::RefreshLineErrors() {
    TDeviceCounts counts;
    const std::uint32_t errors = ReadDeviceStatus(counts);
    LineErrorBits.fetch_or(errors & (ceRxOver | ceOverrun | ceRxParity | ceFrame | ceBreak));
    StoreCounts(counts);
    return counts;
}

std::int32_t TOxBaseDispatcher::TakeLineError() {
    // Taking a code clears every error but a break, which TakeBreakReceived reports. Without a
    // pending error the AND changes nothing, so it can be done in one step.
    const std::uint32_t bits =
        LineErrorBits.fetch_and(~(ceRxOver | ceOverrun | ceRxParity | ceFrame));
    if (bits & ceRxOver) return 1;
    if (bits & ceOverrun) return 2;
    if (bits & ceRxParity) return 3;
    if (bits & ceFrame) return 4;
    if (bits & ceBreak) return 9;
    return 0;
}

bool TOxBaseDispatcher::TakeBreakReceived() {
    return (LineErrorBits.fetch_and(~ceBreak) & ceBreak) != 0;
}

bool TOxBaseDispatcher::IsCtsOn() {
    return (RefreshModemStatus(0xFE) & msCtsOn) != 0;
}

} // namespace vaultix::serial
