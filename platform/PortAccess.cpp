#include "platform/PortAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace vaultix::platform {

namespace {

// Large enough for any group's member list; the lookups fall back to the number otherwise.
constexpr std::size_t LookupBufferSize = 16384;

std::string UserName(uid_t Id) {
    std::vector<char> Buffer(LookupBufferSize);
    struct passwd User {};
    struct passwd* Found = nullptr;
    if (::getpwuid_r(Id, &User, Buffer.data(), Buffer.size(), &Found) == 0 && Found != nullptr &&
        Found->pw_name != nullptr)
        return Found->pw_name;
    return std::to_string(Id);
}

std::string GroupName(gid_t Id) {
    std::vector<char> Buffer(LookupBufferSize);
    struct group Group {};
    struct group* Found = nullptr;
    if (::getgrgid_r(Id, &Group, Buffer.data(), Buffer.size(), &Found) == 0 && Found != nullptr &&
        Found->gr_name != nullptr)
        return Found->gr_name;
    return std::to_string(Id);
}

// Joining the group gives access only when the group may read and write. Root's own group is
// never one to join for a port: its members are administrators.
bool JoiningTheGroupHelps(const TDeviceAccess& Access) {
    constexpr unsigned GroupReadWrite = S_IRGRP | S_IWGRP;
    return Access.GroupId != 0 && (Access.Mode & GroupReadWrite) == GroupReadWrite;
}

} // namespace

std::optional<TDeviceAccess> DeviceAccess(const std::string& DevicePath) {
    if (DevicePath.empty()) return std::nullopt;
    struct stat Info {};
    if (::stat(DevicePath.c_str(), &Info) != 0) return std::nullopt;
    return TDeviceAccess{UserName(Info.st_uid), static_cast<unsigned>(Info.st_gid),
                         GroupName(Info.st_gid), static_cast<unsigned>(Info.st_mode & 07777)};
}

std::optional<TDeviceAccess> DeniedDeviceAccess(const std::string& DevicePath) {
    if (DevicePath.empty() || ::access(DevicePath.c_str(), F_OK) != 0) return std::nullopt;
    if (::access(DevicePath.c_str(), R_OK | W_OK) == 0) return std::nullopt;
    return DeviceAccess(DevicePath);
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

} // namespace vaultix::platform
