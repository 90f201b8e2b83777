#pragma once
// Linux error numbers as result codes. The message table's low codes (-2 to -162) are an older
// runtime's I/O error numbers and mean other things there (5 reads "File access denied", where
// Linux means EIO), so an error number never travels as its plain negation. It travels in a range
// of its own, one for each kind of call, because the same number tells a different story on a
// serial line than on a file: EIO on a line means the device went away.

#include "platform/PortDiagnosis.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace vaultix::serial {

// Error number N (1 to MaxSystemErrorNumber) of a file or other system call travels as
// ecSystemErrorBase - N, one of a call on an open serial line as ecLineErrorBase - N. Both ranges
// lie within 16 bits, in which codes travel in places, and clear of every code the message table
// holds. Such a code raises the runtime's I/O error with N as its error number.
inline constexpr std::int32_t ecSystemErrorBase = -21000;
inline constexpr std::int32_t ecLineErrorBase = -22000;
inline constexpr int MaxSystemErrorNumber = 999;

// The result code for ErrorNumber: 0 stays 0 (no failure); a number outside the range gives
// ecInternal.
std::int32_t SystemErrorCode(int ErrorNumber);
std::int32_t LineErrorCode(int ErrorNumber);

// The result code for the error number a failed open of a serial device left: a device that is
// not there (ENOENT, ENXIO, ENODEV, and EIO from a line going away) gives ecBadId, one that
// another program holds (EBUSY, EAGAIN) ecAlreadyOpen, anything else its LineErrorCode.
std::int32_t OpenErrorCode(int ErrorNumber);

// The error number a code of either range carries; 0 for every other code.
constexpr int SystemErrorNumber(std::int32_t Code) {
    for (const std::int32_t Base : {ecSystemErrorBase, ecLineErrorBase}) {
        const std::int64_t Number = std::int64_t{Base} - Code;
        if (Number > 0 && Number <= MaxSystemErrorNumber) return static_cast<int>(Number);
    }
    return 0;
}

// True for a code saying that the user lacks permission (EACCES or EPERM), so that the window
// can tell how to get it.
bool IsAccessDenied(std::int32_t Code);

// What a failed open's code says about the port, for its diagnosis.
platform::TOpenError OpenErrorKind(std::int32_t Code);

// The user's text for a code of either range: the message table's words where they state the
// failure exactly (EACCES and EPERM "File access denied", ENOSPC "Disk is full", EROFS "Disk is
// write-protected", EBADF "Invalid file handle"), plain words for a serial device that went away,
// else the system's own text for the number. Empty for every other code.
std::string SystemErrorMessage(std::int32_t Code);

} // namespace vaultix::serial
