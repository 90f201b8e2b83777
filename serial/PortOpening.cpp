#include "serial/PortOpening.h"

#include "platform/ComPortMap.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"

#include <exception>

namespace vaultix::serial {

namespace {

platform::TOpenError OpenErrorOf(const TOxComPort& Port) {
    if (Port.ComNumber() == 0) return platform::oeNotChosen;
    const std::int32_t Code = Port.LastOpenError();
    if (Code == ecBadId) return platform::oeMissing;
    if (Code == ecAlreadyOpen) return platform::oeInUse;
    if (IsAccessDenied(Code)) return platform::oeDenied;
    return platform::oeOther;
}

platform::TPortDiagnosis Diagnose(const TOxComPort& Port, const std::string& Name,
                                  const std::string& Detail) {
    const int Number = Port.ComNumber();
    return platform::DiagnoseOpenFailure(
        Name.empty() ? "COM" + std::to_string(Number) : Name,
        Number == 0 ? std::string() : platform::ComPortPath(Number), OpenErrorOf(Port), Detail);
}

} // namespace

std::optional<platform::TPortDiagnosis> OpenComPort(TOxComPort& Port, std::uint16_t Number,
                                                    const std::string& Name) {
    try {
        Port.SetComNumber(Number);
        Port.SetOpen(true);
        return std::nullopt;
    } catch (const std::exception& Error) {
        return Diagnose(Port, Name, Error.what());
    } catch (...) {
        return Diagnose(Port, Name, {});
    }
}

} // namespace vaultix::serial
