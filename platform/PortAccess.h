#pragma once
// Who owns a serial device and whether this user may open it: serial devices belong to a group
// (usually "dialout"), and the members of that group may open them. The words that tell the
// user what to do about it are the port diagnosis's (PortDiagnosis.h).

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

} // namespace vaultix::platform
