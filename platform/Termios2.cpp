// Must not include <termios.h> (see Termios2.h).
#include "platform/Termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>

extern "C" int ioctl(int, unsigned long, ...) noexcept;

namespace vaultix::platform {

static_assert(sizeof(TKernelTermios::Cc) == NCCS);

const int ktVmin = VMIN;
const int ktVtime = VTIME;
const int ktVstart = VSTART;
const int ktVstop = VSTOP;

int ReadKernelTermios(int Fd, TKernelTermios& Termios) {
    termios2 t{};
    if (ioctl(Fd, TCGETS2, &t) != 0) return errno;
    Termios.Iflag = t.c_iflag;
    Termios.Oflag = t.c_oflag;
    Termios.Cflag = t.c_cflag;
    Termios.Lflag = t.c_lflag;
    Termios.Line = t.c_line;
    std::memcpy(Termios.Cc.data(), t.c_cc, NCCS);
    Termios.Ispeed = t.c_ispeed;
    Termios.Ospeed = t.c_ospeed;
    return 0;
}

int WriteKernelTermios(int Fd, const TKernelTermios& Termios) {
    termios2 t{};
    t.c_iflag = Termios.Iflag;
    t.c_oflag = Termios.Oflag;
    t.c_cflag = Termios.Cflag;
    t.c_lflag = Termios.Lflag;
    t.c_line = Termios.Line;
    std::memcpy(t.c_cc, Termios.Cc.data(), NCCS);
    t.c_ispeed = Termios.Ispeed;
    t.c_ospeed = Termios.Ospeed;
    return ioctl(Fd, TCSETS2, &t) == 0 ? 0 : errno;
}

void SetKernelSpeed(TKernelTermios& Termios, std::uint32_t Baud) {
    // Both directions are named explicitly, so that the record read back states the input speed
    // instead of leaving it to be inferred from the output speed.
    Termios.Cflag &= ~static_cast<std::uint32_t>(CBAUD | (CBAUD << IBSHIFT));
    Termios.Cflag |= BOTHER | (BOTHER << IBSHIFT);
    Termios.Ispeed = Baud;
    Termios.Ospeed = Baud;
}

} // namespace vaultix::platform
