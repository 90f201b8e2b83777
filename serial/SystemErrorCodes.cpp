#include "serial/SystemErrorCodes.h"

#include <cerrno>

#include "platform/SystemErrorText.h"
#include "serial/ResultCodes.h"

namespace vaultix::serial {

namespace {

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
    return platform::FileErrorMessage(Number);
}

platform::TOpenError OpenErrorKind(std::int32_t Code) {
    if (Code == ecNoPortSelected) return platform::oeNotChosen;
    if (Code == ecBadId) return platform::oeMissing;
    if (Code == ecAlreadyOpen) return platform::oeInUse;
    if (IsAccessDenied(Code)) return platform::oeDenied;
    return platform::oeOther;
}

} // namespace vaultix::serial
