#pragma once
// COM port numbers and device names mapped onto device paths.
//
// Without overrides, COM1, COM2, ... are the serial devices present, USB adapters first
// (/dev/ttyUSB*, then /dev/ttyACM*, each in natural number order), then the UARTs whose driver
// reports a real UART type (/dev/ttyS*), so that a user with one USB cable finds it as COM1.
// An override pins a COM number to a path; the scanned devices that no override names fill the
// numbers left free, in the same order. The map is consulted afresh on every lookup, so an adapter
// plugged in later appears without a restart. All functions are thread-safe.

#include <string>
#include <string_view>
#include <vector>

namespace vaultix::platform {

// COM numbers above this never exist.
inline constexpr int MaxComPort = 50;

// "\\.\COM7" and "COM7" (any letter case) give 7; any other name gives -1. The number is
// returned as written, also 0 or one above MaxComPort.
int ParseComPortName(std::string_view Name);

// Device path of COM Number; empty when that port does not exist.
std::string ComPortPath(int Number);

// COM names resolved through the map (empty when the port does not exist); any other name is
// taken as a path and returned unchanged.
std::string ResolveDeviceName(std::string_view Name);

// Pins COM Number (1..MaxComPort) to Path; an empty Path removes the override. Numbers out of
// range are ignored.
void SetPortOverride(int Number, std::string Path);
void ClearPortOverrides();

// The directory scanned for devices, "/dev" by default. An empty directory turns scanning off,
// leaving only the overrides: tests use that to map COM ports to pseudo-terminals hermetically.
void SetScanDirectory(std::string Directory);

// The scanned devices in COM order, without overrides.
std::vector<std::string> ScanSerialDevices();

} // namespace vaultix::platform
