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
    const struct termios2 before = settings;
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
    // A line without a speed of its own (the gadget's end of a USB serial gadget) keeps what it
    // had and ignores the rest; the simulator paces its bytes itself, so that is no fault.
    constexpr tcflag_t Hardware = ~static_cast<tcflag_t>(HUPCL | CREAD | CLOCAL);
    const bool lineIgnoresSettings = (check.c_cflag & Hardware) == (before.c_cflag & Hardware) &&
                                     check.c_ospeed == before.c_ospeed &&
                                     check.c_ispeed == before.c_ispeed;
    if ((check.c_ospeed != Baud || check.c_ispeed != Baud) && !lineIgnoresSettings) return EINVAL;
    if (ioctl(Fd, TCFLSH, TCIFLUSH) != 0) return errno;
    return 0;
}

} // namespace vaultix::simulator
