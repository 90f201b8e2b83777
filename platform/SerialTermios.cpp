#include "platform/SerialTermios.h"

#include <cerrno>
// Only the flag macros are used from here; the functions would work on the other record layout.
#include <termios.h>

namespace vaultix::platform {

namespace {

constexpr std::uint32_t SizeFlag(std::uint8_t ByteSize) {
    switch (ByteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

int EncodeSettings(const TDeviceSettings& Settings, TKernelTermios& Termios) {
    if (Settings.BaudRate == 0 || Settings.ByteSize < 5 || Settings.ByteSize > 8 ||
        Settings.Parity > 4 || Settings.StopBits > 2)
        return EINVAL;

    // A break is not data, and parity errors are counted by the driver, not marked in the
    // stream: the bytes arrive as the line carried them.
    Termios.Iflag = IGNBRK;
    if (Settings.Flags & dcbOutX) Termios.Iflag |= IXON;
    if (Settings.Flags & dcbInX) Termios.Iflag |= IXOFF;
    Termios.Oflag = 0;
    Termios.Lflag = 0;

    // CLOCAL: the carrier line must neither block the open nor hang the line up when it drops.
    std::uint32_t c = CREAD | CLOCAL | HUPCL | SizeFlag(Settings.ByteSize);
    switch (Settings.Parity) {
    case 1:
        c |= PARENB | PARODD;
        break;
    case 2:
        c |= PARENB;
        break;
    case 3:
        c |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        c |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // One and a half stop bits exist only with 5 data bits, where CSTOPB means exactly that.
    if (Settings.StopBits != 0) c |= CSTOPB;
    if (Settings.Flags & dcbOutxCtsFlow) c |= CRTSCTS;
    Termios.Cflag = c;
    SetKernelSpeed(Termios, Settings.BaudRate);

    Termios.Cc.fill(0);
    Termios.Cc[ktVmin] = 0;
    Termios.Cc[ktVtime] = 0;
    Termios.Cc[ktVstart] = static_cast<std::uint8_t>(Settings.XonChar);
    Termios.Cc[ktVstop] = static_cast<std::uint8_t>(Settings.XoffChar);
    return 0;
}

unsigned BitsPerCharacter(const TDeviceSettings& Settings) {
    unsigned bits = 1u + Settings.ByteSize;
    if (Settings.Parity != 0) ++bits;
    bits += Settings.StopBits == 0 ? 1u : 2u;
    return bits;
}

} // namespace vaultix::platform
