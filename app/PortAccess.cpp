#include "app/PortAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace vaultix::app {

std::optional<std::string> DeviceGroup(const std::string& DevicePath) {
    if (DevicePath.empty()) return std::nullopt;
    struct stat Info {};
    if (::stat(DevicePath.c_str(), &Info) != 0) return std::nullopt;
    std::vector<char> Buffer(16384);
    struct group Group {};
    struct group* Found = nullptr;
    if (::getgrgid_r(Info.st_gid, &Group, Buffer.data(), Buffer.size(), &Found) == 0 &&
        Found != nullptr && Found->gr_name != nullptr)
        return std::string(Found->gr_name);
    return std::to_string(Info.st_gid);
}

std::optional<std::string> DeniedDeviceGroup(const std::string& DevicePath) {
    if (DevicePath.empty() || ::access(DevicePath.c_str(), F_OK) != 0) return std::nullopt;
    if (::access(DevicePath.c_str(), R_OK | W_OK) == 0) return std::nullopt;
    return DeviceGroup(DevicePath);
}

std::string PortAccessHint(const std::string& Group) {
    return "On Linux, only members of the group \"" + Group +
           "\" may use this port: run \"sudo usermod -aG " + Group + " $USER\" and log in again.";
}

} // namespace vaultix::app
