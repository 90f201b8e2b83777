#include "platform/PortDiagnosis.h"

#include "platform/ComPortMap.h"
#include "platform/PortInfo.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>

namespace vaultix::platform {

namespace {

// Whether Path is a terminal device (a serial line is one), as sysfs files its device number;
// without sysfs every character device passes.
bool IsTerminalDevice(const std::string& Path) {
    struct stat Info {};
    if (::stat(Path.c_str(), &Info) != 0 || !S_ISCHR(Info.st_mode)) return false;
    std::error_code Error;
    const std::filesystem::path Class =
        std::filesystem::read_symlink("/sys/dev/char/" + std::to_string(major(Info.st_rdev)) + ":" +
                                          std::to_string(minor(Info.st_rdev)) + "/subsystem",
                                      Error);
    return Error || Class.filename() == "tty";
}

TPortProblem ProblemOf(const TPortDiagnosis& Found, TOpenError Error) {
    if (Error == oeNotChosen) return ppNotChosen;
    if (Found.Device.empty()) return ppNoDevice;
    if (!DescribeDevice(Found.Device).Present) return ppNotPresent;
    if (Error == oeMissing) return IsTerminalDevice(Found.Device) ? ppNoLine : ppNotSerial;
    if (Error == oeInUse) return ppInUse;
    return ppOther;
}

} // namespace

std::string PortTitle(const std::string& Name, const std::string& Device) {
    if (ParseComPortName(Name) < 0 || Device.empty()) return Name;
    return Name + " (" + Device + ")";
}

TPortDiagnosis DiagnoseOpenFailure(const std::string& Name, const std::string& Device,
                                   TOpenError Error, const std::string& Detail) {
    TPortDiagnosis Found;
    Found.Name = Name;
    Found.Device = Device;
    Found.Detail = Detail;
    Found.Problem = ProblemOf(Found, Error);
    if (Found.Problem == ppInUse) Found.Holders = FindPortHolders(Device);
    if (Found.Problem == ppOther) {
        Found.Access = DeniedDeviceAccess(Device);
        if (!Found.Access && Error == oeDenied) Found.Access = DeviceAccess(Device);
        if (Found.Access) Found.Problem = ppNoPermission;
    }
    return Found;
}

TPortDiagnosis PortVanished(const std::string& Name, const std::string& Device) {
    TPortDiagnosis Found;
    Found.Name = Name;
    Found.Device = Device;
    Found.Problem = ppVanished;
    return Found;
}

std::string ProblemText(const TPortDiagnosis& Diagnosis) {
    const std::string Title = PortTitle(Diagnosis.Name, Diagnosis.Device);
    switch (Diagnosis.Problem) {
    case ppNotChosen:
        return {};
    case ppNoDevice:
        return Title + " does not exist: no serial device stands behind it. Plug in the adapter.";
    case ppNotPresent:
        return Title + " is not present: plug in the adapter.";
    case ppNotSerial:
        return Title + " is not a serial device.";
    case ppNoLine:
        return Title + " has no serial line behind it: plug in the adapter.";
    case ppInUse:
        return HoldersText(Diagnosis.Device, Diagnosis.Holders) +
               " Close that program, then try again.";
    case ppNoPermission:
        return "You may not open " + Title + ". " + PortAccessHint(*Diagnosis.Access);
    case ppVanished:
        return Title + " has gone away: its cable was pulled or its adapter unplugged.";
    case ppOther:
        break;
    }
    return Title + " cannot be opened: " + Diagnosis.Detail;
}

bool PortMissing(const TPortDiagnosis& Diagnosis) {
    switch (Diagnosis.Problem) {
    case ppNoDevice:
    case ppNotPresent:
    case ppNotSerial:
    case ppNoLine:
        return true;
    default:
        return false;
    }
}

} // namespace vaultix::platform
