#include "tools/cli/CliPort.h"

#include "platform/ComPortMap.h"
#include "platform/PortAccess.h"
#include "platform/PortHolders.h"
#include "platform/PortInfo.h"
#include "platform/PortOverrides.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramPlaces.h"
#include "serial/ResultCodes.h"
#include "serial/SystemErrorCodes.h"
#include "tools/cli/CliOutput.h"
#include "transfer/TxTypes.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>

namespace vaultix::cli {

namespace {

// A device path given by the user goes through the port map like any port, pinned to a number
// the user never sees.
constexpr int PathPort = platform::MaxComPort;

const char* const SeePorts = "see \"vaultix-cli ports\"";

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

} // namespace

void ApplyPortSettings() {
    platform::ReadPortOverrides(platform::TProfileFile(platform::OwnProgramPlaces().SettingsFile));
}

void ConfigurePort(serial::TOxComPort& Port, int TxRow, std::optional<std::uint32_t> Baud) {
    const transfer::TTxInfo& Row = transfer::TxTypeAt(TxRow);
    Port.BeginLoading();
    Port.SetBaud(static_cast<std::int32_t>(Baud.value_or(Row.BaudRate)));
    Port.SetParity(serial::pEven);
    Port.SetDataBits(8);
    Port.SetStopBits(2);
    Port.SetInSize(51200);
    Port.SetOutSize(10240);
    Port.SetBufferFull(51000);
    Port.SetBufferResume(409);
    Port.SetTapiMode(serial::tmOff);
    Port.SetPromptForPort(false);
    Port.Loaded();
}

void OpenPort(serial::TOxComPort& Port, const std::string& Name) {
    int Number = platform::ParseComPortName(Name);
    std::string Device;
    std::string Title;
    if (Number >= 0) {
        Title = "COM" + std::to_string(Number);
        Device = platform::ComPortPath(Number);
        if (Device.empty())
            throw ECliFailure(cePortOpen, Title +
                                              " does not exist: no serial device stands behind "
                                              "it. Plug in the adapter, or " +
                                              SeePorts + ".");
        Title += " (" + Device + ")";
    } else {
        Number = PathPort;
        Device = Name;
        Title = Name;
        platform::SetPortOverride(Number, Device);
    }
    try {
        Port.SetComNumber(static_cast<std::uint16_t>(Number));
        Port.SetOpen(true);
        return;
    } catch (const std::exception& Error) {
        const std::int32_t Code = Port.LastOpenError();
        if (!platform::DescribeDevice(Device).Present)
            throw ECliFailure(cePortOpen,
                              Title + " does not exist: plug in the adapter, or " + SeePorts + ".");
        if (Code == serial::ecBadId) {
            if (!IsTerminalDevice(Device))
                throw ECliFailure(cePortOpen, Title + " is not a serial device: " + SeePorts + ".");
            throw ECliFailure(cePortOpen, Title +
                                              " has no serial line behind it: plug in the "
                                              "adapter, or " +
                                              SeePorts + ".");
        }
        if (Code == serial::ecAlreadyOpen)
            throw ECliFailure(cePortOpen,
                              platform::HoldersText(Device, platform::FindPortHolders(Device)) +
                                  " Close that program, then try again.");
        std::optional<platform::TDeviceAccess> Access = platform::DeniedDeviceAccess(Device);
        if (!Access && serial::IsAccessDenied(Code)) Access = platform::DeviceAccess(Device);
        if (Access)
            throw ECliFailure(cePortOpen, "You may not open " + Title + ". " +
                                              platform::PortAccessHint(*Access));
        throw ECliFailure(cePortOpen, Title + " cannot be opened: " + OneLine(Error.what()));
    }
}

std::string PortTitle(const serial::TOxComPort& Port, const std::string& Name) {
    if (platform::ParseComPortName(Name) < 0) return Name;
    return "COM" + std::to_string(Port.ComNumber()) + " (" + Port.DevicePath() + ")";
}

} // namespace vaultix::cli
