// This file isolates the kernel's termios2 declarations, which clash with the C library's
// <termios.h>; termios2 is the only way to set a speed such as 4000 baud.

#include "simulator/DeviceLineSetup.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace vaultix::simulator {

int ConfigureDeviceLine(int Fd, std::uint32_t Baud) {
    struct termios2 settings {};
    if (ioctl(Fd, TCGETS2, &settings) != 0) return errno;
    settings.c_iflag = 0;
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cflag = CS8 | PARENB | CSTOPB | CREAD | CLOCAL | BOTHER;
    settings.c_ispeed = Baud;
    settings.c_ospeed = Baud;
    for (auto& c : settings.c_cc)
        c = 0;
    if (ioctl(Fd, TCSETS2, &settings) != 0) return errno;
    struct termios2 check {};
    if (ioctl(Fd, TCGETS2, &check) != 0) return errno;
    if (check.c_ospeed != Baud || check.c_ispeed != Baud) return EINVAL;
    if (ioctl(Fd, TCFLSH, TCIFLUSH) != 0) return errno;
    return 0;
}

} // namespace vaultix::simulator
