#include "platform/PortDiagnosis.h"

#include "platform/ComPortMap.h"
#include "platform/PortInfo.h"
#include "platform/ShownText.h"

#include <cstdio>
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

// Joining the group gives access only when the group may read and write. Root's own group is
// never one to join for a port: its members are administrators.
bool JoiningTheGroupHelps(const TDeviceAccess& Access) {
    constexpr unsigned GroupReadWrite = S_IRGRP | S_IWGRP;
    return Access.GroupId != 0 && (Access.Mode & GroupReadWrite) == GroupReadWrite;
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
    // A path may come from a settings file or the command line.
    if (ParseComPortName(Name) < 0 || Device.empty()) return ShownText(Name);
    return Name + " (" + ShownText(Device) + ")";
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
        return "No serial device is plugged in for " + Title + ".";
    case ppNotPresent:
        return Title + " is not present: plug the adapter in.";
    case ppNotSerial:
        return Title + " is not a serial device.";
    case ppNoLine:
        return Title + " has no serial line behind it: plug the adapter in.";
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
    if (Diagnosis.Detail.empty()) return Title + " cannot be opened.";
    return Title + " cannot be opened: " + Diagnosis.Detail;
}

std::string HoldersPhrase(const THolderSearch& Search) {
    if (Search.Holders.empty()) return "in use by another program";
    std::string Text = "in use by ";
    for (std::size_t I = 0; I < Search.Holders.size(); ++I) {
        if (I > 0) Text += I + 1 == Search.Holders.size() ? " and " : ", ";
        const TPortHolder& Holder = Search.Holders[I];
        // Whatever a process calls itself comes from outside.
        Text += (Holder.Program.empty() ? std::string("a program") : ShownText(Holder.Program)) +
                " (process " + std::to_string(Holder.Pid) + ")";
    }
    return Text;
}

std::string HoldersText(const std::string& DevicePath, const THolderSearch& Search) {
    return ShownText(DevicePath) + " is " + HoldersPhrase(Search) + ".";
}

std::string PortAccessHint(const TDeviceAccess& Access) {
    if (JoiningTheGroupHelps(Access))
        return "On Linux, only members of the group \"" + Access.Group +
               "\" may use this port: run \"sudo usermod -aG " + Access.Group +
               " $USER\" and log in again.";
    char Mode[8];
    std::snprintf(Mode, sizeof Mode, "%04o", Access.Mode & 07777u);
    return "On Linux, only the administrator can give you access to this port (owner " +
           Access.Owner + ", group " + Access.Group + ", mode " + Mode +
           "): please ask the administrator of this computer.";
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
