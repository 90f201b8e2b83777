#pragma once
// The records and constants the dispatcher and the device layer exchange. They keep the field
// and flag layout the dispatcher's logic is written against; the POSIX backend maps them onto
// termios.

#include <cstdint>

namespace vaultix::platform {

// Line settings of a device.
struct TDeviceSettings {
    std::uint32_t BaudRate = 115200;
    std::uint32_t Flags = 0x0001; // see the dcb… constants below
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0x11;
    char XoffChar = 0x13;

    bool operator==(const TDeviceSettings&) const = default;
};

// Flag word of TDeviceSettings.
inline constexpr std::uint32_t dcbBinary = 0x0001;
inline constexpr std::uint32_t dcbParity = 0x0002;
inline constexpr std::uint32_t dcbOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t dcbOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t dcbDtrControlMask = 0x0030;
inline constexpr std::uint32_t dcbDtrControlEnable = 0x0010;
inline constexpr std::uint32_t dcbDtrControlHandshake = 0x0020;
inline constexpr std::uint32_t dcbOutX = 0x0100;
inline constexpr std::uint32_t dcbInX = 0x0200;
inline constexpr std::uint32_t dcbRtsControlMask = 0x3000;
inline constexpr std::uint32_t dcbRtsControlEnable = 0x1000;
inline constexpr std::uint32_t dcbRtsControlHandshake = 0x2000;
inline constexpr std::uint32_t dcbRtsControlToggle = 0x3000;

// Device status: flag word, bytes waiting in the driver's input queue and output queue.
struct TDeviceCounts {
    std::uint32_t Flags = 0;
    std::uint32_t InQue = 0;
    std::uint32_t OutQue = 0;
};

// Line error bits of the error word.
inline constexpr std::uint32_t ceRxOver = 0x01;
inline constexpr std::uint32_t ceOverrun = 0x02;
inline constexpr std::uint32_t ceRxParity = 0x04;
inline constexpr std::uint32_t ceFrame = 0x08;
inline constexpr std::uint32_t ceBreak = 0x10;

// Modem status bits (8250 MSR layout): change flags in the low nibble, levels in the high.
inline constexpr std::uint32_t msDeltaCts = 0x01;
inline constexpr std::uint32_t msDeltaDsr = 0x02;
inline constexpr std::uint32_t msTrailingRi = 0x04;
inline constexpr std::uint32_t msDeltaDcd = 0x08;
inline constexpr std::uint32_t msCtsOn = 0x10;
inline constexpr std::uint32_t msDsrOn = 0x20;
inline constexpr std::uint32_t msRingOn = 0x40;
inline constexpr std::uint32_t msDcdOn = 0x80;

// Device event mask bits.
inline constexpr std::uint32_t evRxChar = 0x0001;
inline constexpr std::uint32_t evCts = 0x0008;
inline constexpr std::uint32_t evDsr = 0x0010;
inline constexpr std::uint32_t evRlsd = 0x0020;
inline constexpr std::uint32_t evBreak = 0x0040;
inline constexpr std::uint32_t evErr = 0x0080;
inline constexpr std::uint32_t evRing = 0x0100;
inline constexpr std::uint32_t evRingTrailing = 0x2000;
inline constexpr std::uint32_t evDefaultMask = 0x01F9;
inline constexpr std::uint32_t evFullMask = 0x21F9;

// Escape functions.
inline constexpr int escSetRts = 3;
inline constexpr int escClrRts = 4;
inline constexpr int escSetDtr = 5;
inline constexpr int escClrDtr = 6;
inline constexpr int escSetBreak = 8;
inline constexpr int escClrBreak = 9;
inline constexpr int escGetBaseAddress = 10;

// Purge requests: abort and clear the input side, or the output side.
inline constexpr int purgeInput = 10;
inline constexpr int purgeOutput = 5;

} // namespace vaultix::platform
