#pragma once
// Why a serial device may not open for this user, in words a Linux user can act on: serial
// devices belong to a group (usually "dialout"), and only its members may open them.

#include <optional>
#include <string>

namespace vaultix::app {

// The group owning the device at DevicePath (its number when it has no name); nothing when
// there is no such device.
std::optional<std::string> DeviceGroup(const std::string& DevicePath);

// DeviceGroup when the device exists and this process may not read and write it; nothing
// otherwise (no such device, access granted, or root).
std::optional<std::string> DeniedDeviceGroup(const std::string& DevicePath);

// The line that tells the user how to get access to the devices of Group.
std::string PortAccessHint(const std::string& Group);

} // namespace vaultix::app
