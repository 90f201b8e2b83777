#pragma once
// Why a serial device may not open for this user, in words a Linux user can act on: serial
// devices belong to a group (usually "dialout"), and the members of that group may open them.
// Joining the group helps only when the group may read and write the device and is not root's
// own; otherwise only the administrator can grant access.

#include <optional>
#include <string>

namespace vaultix::platform {

// Who owns a device and what its permission bits allow, as the file system states it.
struct TDeviceAccess {
    std::string Owner; // the owning user's name, or the number when it has none
    unsigned GroupId = 0;
    std::string Group; // the owning group's name, or the number when it has none
    unsigned Mode = 0; // the permission bits (07777)
};

// The owner, group and permission bits of the device at DevicePath; nothing when there is no
// such device.
std::optional<TDeviceAccess> DeviceAccess(const std::string& DevicePath);

// DeviceAccess when the device exists and this process may not read and write it; nothing
// otherwise (no such device, access granted, or root).
std::optional<TDeviceAccess> DeniedDeviceAccess(const std::string& DevicePath);

// The line that tells the user how to get access to a device owned as Access says. Depends on
// nothing but Access.
std::string PortAccessHint(const TDeviceAccess& Access);

} // namespace vaultix::platform
