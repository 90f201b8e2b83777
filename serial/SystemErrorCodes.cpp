#include "serial/SystemErrorCodes.h"

#include <cerrno>

#include "platform/SystemErrorText.h"
#include "serial/MessageTable.h"
#include "serial/ResultCodes.h"

namespace vaultix::serial {

namespace {

// Rows of the message table whose words are exactly what these error numbers mean.
struct TTableWords {
    int ErrorNumber;
    std::int32_t TableCode;
};

constexpr TTableWords TableWords[] = {
    {EPERM, -5},    // "File access denied"
    {EACCES, -5},   // "File access denied"
    {EBADF, -6},    // "Invalid file handle"
    {ENOSPC, -101}, // "Disk is full"
    {EROFS, -150},  // "Disk is write-protected"
};

constexpr char LineGoneText[] =
    "The serial device was disconnected or is no longer there. Plug the cable in again.";

bool InRange(int ErrorNumber) {
    return ErrorNumber > 0 && ErrorNumber <= MaxSystemErrorNumber;
}

std::int32_t CodeIn(std::int32_t Base, int ErrorNumber) {
    if (ErrorNumber == 0) return ecOK;
    return InRange(ErrorNumber) ? Base - ErrorNumber : ecInternal;
}

bool LineGone(int ErrorNumber) {
    return ErrorNumber == EIO || ErrorNumber == ENXIO || ErrorNumber == ENODEV;
}

} // namespace

std::int32_t SystemErrorCode(int ErrorNumber) {
    return CodeIn(ecSystemErrorBase, ErrorNumber);
}

std::int32_t LineErrorCode(int ErrorNumber) {
    return CodeIn(ecLineErrorBase, ErrorNumber);
}

std::int32_t OpenErrorCode(int ErrorNumber) {
    switch (ErrorNumber) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case EIO:
        return ecBadId;
    case EBUSY:
    case EAGAIN:
        return ecAlreadyOpen;
    default:
        return LineErrorCode(ErrorNumber);
    }
}

bool IsAccessDenied(std::int32_t Code) {
    const int Number = SystemErrorNumber(Code);
    return Number == EACCES || Number == EPERM;
}

std::string SystemErrorMessage(std::int32_t Code) {
    const int Number = SystemErrorNumber(Code);
    if (Number == 0) return {};
    if (Code == LineErrorCode(Number) && LineGone(Number)) return LineGoneText;
    for (const TTableWords& Words : TableWords)
        if (Words.ErrorNumber == Number) return MessageFor(Words.TableCode);
    std::string Text = NormaliseSystemText(platform::SystemErrorText(Number));
    return Text.empty() ? "System error " + std::to_string(Number) : Text;
}

} // namespace vaultix::serial
