#pragma once
// This file isolates the kernel's termios2 interface. Its declarations (<asm/termbits.h>) clash
// with the C library's <termios.h>, and only termios2 with BOTHER can set a speed that is not one
// of the fixed POSIX rates (4000 baud, for one). Everything else sees a plain copy of the record.

#include <array>
#include <cstdint>

namespace vaultix::platform {

// A copy of the kernel's struct termios2. The flag words use the same bit values as the C
// library's <termios.h>, so callers may test them with its macros.
struct TKernelTermios {
    std::uint32_t Iflag = 0;
    std::uint32_t Oflag = 0;
    std::uint32_t Cflag = 0;
    std::uint32_t Lflag = 0;
    std::uint8_t Line = 0;
    std::array<std::uint8_t, 19> Cc{};
    std::uint32_t Ispeed = 0;
    std::uint32_t Ospeed = 0;
};

// Indices into TKernelTermios::Cc that the serial layer sets.
extern const int ktVmin;
extern const int ktVtime;
extern const int ktVstart;
extern const int ktVstop;

// TCGETS2 / TCSETS2. Return 0 or the errno of the failed ioctl.
int ReadKernelTermios(int Fd, TKernelTermios& Termios);
int WriteKernelTermios(int Fd, const TKernelTermios& Termios);

// Puts Baud into the record as a custom speed for both directions.
void SetKernelSpeed(TKernelTermios& Termios, std::uint32_t Baud);

} // namespace vaultix::platform
