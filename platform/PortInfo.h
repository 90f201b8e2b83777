#pragma once
// What stands behind a serial device path, as the kernel describes it in sysfs: for a USB
// adapter its maker, product and serial number. Nothing here opens the device.

#include <string>

namespace vaultix::platform {

struct TDeviceInfo {
    std::string Path;     // as given, e.g. /dev/ttyUSB0
    bool Present = false; // the path names a device (or a link to one) now
    std::string RealPath; // the device a link names; empty when Path is no link
    bool Usb = false;     // a USB adapter; Maker, Product and Serial as far as it tells them
    std::string Maker;
    std::string Product;
    std::string Serial;
};

// Describes DevicePath; SysRoot is the sysfs mount ("/sys"), replaceable for tests.
TDeviceInfo DescribeDevice(const std::string& DevicePath, const std::string& SysRoot = "/sys");

// One line for the user: "/dev/ttyUSB0 — FTDI FT232R USB UART", "/dev/ttyS0",
// "/dev/serial/by-id/usb-… (/dev/ttyUSB0) — …", "/dev/ttyUSB1 — not present".
std::string DeviceSummary(const TDeviceInfo& Info);

} // namespace vaultix::platform
