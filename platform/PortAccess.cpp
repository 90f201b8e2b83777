#include "platform/PortAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace vaultix::platform
